// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The threads the tracker lines are converted on.
#include "platform.h"

#include <algorithm>
#include <csignal>
#include <pthread.h>
#include <sched.h>

namespace quorvel::platform {

// WebAssembly without its threads (the page's build) has no second thread;
// the converter then takes the tracker lines one after another.
bool ThreadsAvailable()
{
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    return false;
#else
    return true;
#endif
}

int UsableProcessors()
{
    if (!ThreadsAvailable())
        return 1;
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
#endif
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::thread StartThread(std::function<void()> Work)
{
    // The new thread inherits the signal mask it is started with.
    sigset_t all;
    sigset_t before;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    struct Restore {
        sigset_t* Mask;
        ~Restore() { ::pthread_sigmask(SIG_SETMASK, Mask, nullptr); }
    } restore{&before};
    return std::thread(std::move(Work));
}

}  // namespace quorvel::platform
