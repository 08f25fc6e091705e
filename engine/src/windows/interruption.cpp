// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The console's interruption handler: it deletes the named files being
// written and says how far the scene under way has got.
#include "windows/windows_shared.h"

#include "quorvel/interruption.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string_view>

namespace quorvel::platform {

namespace {

// Named files being written, for the console's interruption handler (a
// thread of its own) to delete; how far the scene under way has got, and
// the slot of a file being renamed into place.
std::mutex namedFilesLock;
std::wstring namedFiles[64];  // one per scene of a batch's jobs at most
const InterruptionLines* interruptionLines = nullptr;
std::atomic<int> sceneProgress{static_cast<int>(SceneProgress::NoneWritten)};
std::atomic<const char*> batchLine{nullptr};
// Held by the main thread while it writes a report line and notes what an
// interruption says next; the handler waits for it a little.
std::timed_mutex reportLock;
std::atomic<const InterruptionReport*> interruptionReport{nullptr};

void WriteAll(HANDLE To, std::string_view Text)
{
    DWORD written = 0;
    while (!Text.empty() &&
           ::WriteFile(To, Text.data(), static_cast<DWORD>(std::min<std::size_t>(Text.size(), 1 << 30)), &written,
                       nullptr) &&
           written > 0)
        Text.remove_prefix(written);
}

}  // namespace

// The slot of a file being renamed into place.
std::atomic<int> committingSlot{-1};

int Register(const std::wstring& Path)
{
    const std::lock_guard lock(namedFilesLock);
    for (int slot = 0; slot < static_cast<int>(std::size(namedFiles)); ++slot) {
        if (namedFiles[slot].empty()) {
            namedFiles[slot] = Path;
            return slot;
        }
    }
    return -1;
}

void Unregister(int Slot)
{
    const std::lock_guard lock(namedFilesLock);
    if (Slot >= 0)
        namedFiles[Slot].clear();
}

namespace {

BOOL WINAPI OnInterruption(DWORD Event)
{
    if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT && Event != CTRL_CLOSE_EVENT)
        return FALSE;
    // First, so that the batch goes no further than the report says; not
    // released either. A line that takes longer is left unfinished, and
    // then so is the report.
    const bool reporting = reportLock.try_lock_for(std::chrono::seconds(2));
    bool renamed = false;
    {
        // Not released: the process ends here, before a commit could start.
        namedFilesLock.lock();
        const int committing = committingSlot.load();
        for (int slot = 0; slot < static_cast<int>(std::size(namedFiles)); ++slot) {
            // The file is shared for deleting; once renamed into place it
            // is gone from its temporary name.
            if (!namedFiles[slot].empty() && !::DeleteFileW(namedFiles[slot].c_str()) && slot == committing &&
                ::GetLastError() == ERROR_FILE_NOT_FOUND)
                renamed = true;
        }
    }
    const int progress = renamed ? static_cast<int>(SceneProgress::NewSceneInPlace) : sceneProgress.load();
    DWORD written = 0;
    if (const char* batch = interruptionLines ? batchLine.load() : nullptr) {
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), batch, static_cast<DWORD>(std::strlen(batch)), &written,
                    nullptr);
    }
    if (interruptionLines) {
        const char* line = (*interruptionLines)[static_cast<std::size_t>(progress)];
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(std::strlen(line)), &written,
                    nullptr);
    }
    if (const InterruptionReport* report = reporting && interruptionLines ? interruptionReport.load() : nullptr) {
        WriteAll(::GetStdHandle(STD_OUTPUT_HANDLE), report->UnderWay[static_cast<std::size_t>(progress)]);
        WriteAll(::GetStdHandle(STD_OUTPUT_HANDLE), report->Rest);
    }
    // At once: an orderly exit would wait for locks the main thread holds.
    ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

void NoteSceneProgress(SceneProgress Progress) { sceneProgress.store(static_cast<int>(Progress)); }

}  // namespace quorvel::platform

namespace quorvel {

void StopCleanlyOnInterruption(const InterruptionLines& Lines)
{
    platform::interruptionLines = &Lines;
    ::SetConsoleCtrlHandler(platform::OnInterruption, TRUE);
}

void NoteBatchProgress(const char* Line) { platform::batchLine.store(Line); }

void NoteInterruptionReport(const InterruptionReport* Report) { platform::interruptionReport.store(Report); }

void HoldInterruptions() { platform::reportLock.lock(); }

void ReleaseInterruptions() { platform::reportLock.unlock(); }

void NoteSceneUnderWay(SceneProgress Progress) { platform::NoteSceneProgress(Progress); }

// The console's handler runs on a thread of its own whichever thread works.
void KeepInterruptionsFromThisThread() {}

}  // namespace quorvel
