// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The interruption handler: it removes the named files being written and
// says how far the scene under way has got.
#include "posix/posix_shared.h"

#include "quorvel/interruption.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string_view>
#include <time.h>
#include <unistd.h>

namespace quorvel::platform {

namespace {

// Named files being written, for the interruption handler to remove: it
// may look at nothing but these fixed slots.
struct NamedFile {
    std::atomic<int> State{0};  // Free, Filling or Ready
    int Folder = AT_FDCWD;      // Path is relative to it
    char Path[PATH_MAX];
};
enum { Free, Filling, Ready };
NamedFile namedFiles[64];  // one per scene of a batch's jobs at most

}  // namespace

int Register(int Folder, const std::string& Path)
{
    if (Path.size() >= PATH_MAX)
        return -1;
    for (int slot = 0; slot < static_cast<int>(std::size(namedFiles)); ++slot) {
        int expected = Free;
        if (namedFiles[slot].State.compare_exchange_strong(expected, Filling)) {
            namedFiles[slot].Folder = Folder;
            std::memcpy(namedFiles[slot].Path, Path.c_str(), Path.size() + 1);
            namedFiles[slot].State.store(Ready);
            return slot;
        }
    }
    return -1;
}

void Unregister(int Slot)
{
    if (Slot >= 0)
        namedFiles[Slot].State.store(Free);
}

// What the interruption handler reads: the lines it may write, how far the
// scene under way has got, and the slot of a file being renamed into place.
std::atomic<int> committingSlot{-1};

namespace {

const InterruptionLines* interruptionLines = nullptr;
std::atomic<int> sceneProgress{static_cast<int>(SceneProgress::NoneWritten)};
std::atomic<const char*> batchLine{nullptr};
std::atomic<const InterruptionReport*> interruptionReport{nullptr};
sigset_t beforeHold;  // the signal mask HoldInterruptions replaced

// Every signal whose default ends the program and that can be caught;
// SIGPIPE and SIGXFSZ are left to fail the write they stop.
sigset_t EndingSignals()
{
    sigset_t signals;
    ::sigemptyset(&signals);
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                             SIGXCPU,
#ifdef SIGPWR
                             SIGPWR,
#endif
         })
        ::sigaddset(&signals, signal);
    return signals;
}

// Signals whose default action also writes a core file: a cleaned-up stop
// has nothing to dump, so the program exits with 128 + the signal instead.
bool DumpsCore(int Signal) { return Signal == SIGQUIT || Signal == SIGXCPU; }

// Milliseconds from now to Deadline (CLOCK_MONOTONIC), 0 once it is past.
int MillisecondsTo(const timespec& Deadline)
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long left = (Deadline.tv_sec - now.tv_sec) * 1000LL + (Deadline.tv_nsec - now.tv_nsec) / 1000000;
    return left > 0 ? static_cast<int>(left) : 0;
}

// The lines of Text to Fd, each whole: before each one waits for room until
// Deadline, and stops there once it is past; a line begun is finished.
// False when not all were written.
bool WriteLines(int Fd, std::string_view Text, const timespec& Deadline)
{
    while (!Text.empty()) {
        pollfd room{Fd, POLLOUT, 0};
        if (::poll(&room, 1, MillisecondsTo(Deadline)) != 1 || !(room.revents & POLLOUT))
            return false;
        const void* end = std::memchr(Text.data(), '\n', Text.size());
        const std::size_t size = end ? static_cast<std::size_t>(static_cast<const char*>(end) - Text.data()) + 1
                                     : Text.size();
        for (std::size_t at = 0; at < size;) {
            const ssize_t wrote = ::write(Fd, Text.data() + at, size - at);
            if (wrote > 0) {
                at += static_cast<std::size_t>(wrote);
            } else if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd more{Fd, POLLOUT, 0};
                ::poll(&more, 1, -1);
            } else if (wrote == 0 || errno != EINTR) {
                return false;
            }
        }
        Text.remove_prefix(size);
    }
    return true;
}

// Only async-signal-safe calls: unlinkat, clock_gettime, poll, memchr,
// write, sigaction, sigprocmask, raise, _exit.
extern "C" void OnInterruption(int Signal)
{
    const int saveErrno = errno;
    // A file being renamed into place is gone from its temporary name once
    // the rename is done: the new scene is then in place.
    const int committing = committingSlot.load();
    bool renamed = false;
    for (int slot = 0; slot < static_cast<int>(std::size(namedFiles)); ++slot) {
        NamedFile& file = namedFiles[slot];
        if (file.State.load() == Ready && ::unlinkat(file.Folder, file.Path, 0) != 0 && slot == committing &&
            errno == ENOENT)
            renamed = true;
    }
    const int progress = renamed ? static_cast<int>(SceneProgress::NewSceneInPlace) : sceneProgress.load();
    // Standard error may be a pipe nobody reads for now: the line waits a
    // little for room, and the program ends in any case. So do the report's
    // lines on standard output.
    timespec deadline {};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += 2;
    pollfd error{STDERR_FILENO, POLLOUT, 0};
    if (interruptionLines && ::poll(&error, 1, 2000) == 1 && (error.revents & POLLOUT)) {
        if (const char* batch = batchLine.load()) {
            [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, batch, std::strlen(batch));
        }
        const char* line = (*interruptionLines)[static_cast<std::size_t>(progress)];
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, std::strlen(line));
    }
    if (const InterruptionReport* report = interruptionLines ? interruptionReport.load() : nullptr) {
        if (WriteLines(STDOUT_FILENO, report->UnderWay[static_cast<std::size_t>(progress)], deadline))
            WriteLines(STDOUT_FILENO, report->Rest, deadline);
    }
    errno = saveErrno;
    if (DumpsCore(Signal))
        ::_exit(128 + Signal);
    // Ended by the signal itself, so that the caller sees which one it was.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigaction(Signal, &standard, nullptr);
    sigset_t signals;
    ::sigemptyset(&signals);
    ::sigaddset(&signals, Signal);
    ::sigprocmask(SIG_UNBLOCK, &signals, nullptr);
    ::raise(Signal);
    ::_exit(128 + Signal);
}

}  // namespace

void NoteSceneProgress(SceneProgress Progress) { sceneProgress.store(static_cast<int>(Progress)); }

}  // namespace quorvel::platform

namespace quorvel {

void StopCleanlyOnInterruption(const InterruptionLines& Lines)
{
    platform::interruptionLines = &Lines;
    struct sigaction action {};
    action.sa_handler = platform::OnInterruption;
    action.sa_mask = platform::EndingSignals();
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (int signal = 1; signal < NSIG; ++signal) {
        // A signal the caller ignores (nohup) stays ignored.
        struct sigaction before {};
        if (::sigismember(&action.sa_mask, signal) == 1 && ::sigaction(signal, nullptr, &before) == 0 &&
            before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
    for (const int signal : {SIGPIPE, SIGXFSZ})
        ::sigaction(signal, &ignore, nullptr);
}

void NoteBatchProgress(const char* Line) { platform::batchLine.store(Line); }

void NoteInterruptionReport(const InterruptionReport* Report) { platform::interruptionReport.store(Report); }

void HoldInterruptions()
{
    const sigset_t signals = platform::EndingSignals();
    ::pthread_sigmask(SIG_BLOCK, &signals, &platform::beforeHold);
}

void ReleaseInterruptions() { ::pthread_sigmask(SIG_SETMASK, &platform::beforeHold, nullptr); }

void NoteSceneUnderWay(SceneProgress Progress) { platform::NoteSceneProgress(Progress); }

void KeepInterruptionsFromThisThread()
{
    const sigset_t signals = platform::EndingSignals();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

}  // namespace quorvel
