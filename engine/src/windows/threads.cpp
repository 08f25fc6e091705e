// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The threads the tracker lines are converted on.
#include "windows/windows_shared.h"

#include <algorithm>
#include <bit>

namespace quorvel::platform {

bool ThreadsAvailable() { return true; }

int UsableProcessors()
{
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0)
        return std::popcount(static_cast<unsigned long long>(process));
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// Console events are handled on a thread of their own: nothing to hold back.
std::thread StartThread(std::function<void()> Work) { return std::thread(std::move(Work)); }

}  // namespace quorvel::platform
