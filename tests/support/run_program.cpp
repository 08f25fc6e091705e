// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "run_program.h"

#include "temp_folder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(PathOf(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef _WIN32

std::wstring Wide(const std::string& Text)
{
    std::wstring wide(Text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(
        CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

// One argument as the C runtime's parser reads it back: quoted when it
// holds blanks or quotes, with the backslashes before a quote doubled.
void AppendQuoted(std::wstring& CommandLine, const std::wstring& Arg)
{
    if (!CommandLine.empty())
        CommandLine += L' ';
    if (!Arg.empty() && Arg.find_first_of(L" \t\"") == std::wstring::npos) {
        CommandLine += Arg;
        return;
    }
    CommandLine += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : Arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        CommandLine.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        CommandLine += c;
    }
    CommandLine.append(2 * backslashes, L'\\');
    CommandLine += L'"';
}

// A handle the child inherits.
HANDLE Open(const std::string& Path, DWORD Access, DWORD Disposition)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE handle = ::CreateFileW(Wide(Path).c_str(), Access,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        &inherit, Disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + Path);
    return handle;
}

int Run(const std::vector<std::string>& Argv, const std::string& InPath, const std::string& OutPath,
        const std::string& ErrPath)
{
    std::wstring commandLine;
    for (const std::string& arg : Argv)
        AppendQuoted(commandLine, Wide(arg));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Open(InPath.empty() ? "NUL" : InPath, GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = Open(OutPath, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = Open(ErrPath, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    // Under Wine on a busy machine, starting a process now and then fails
    // for a moment; a few tries tell that from a program that cannot start.
    bool started = false;
    DWORD startError = 0;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt > 0)
            ::Sleep(200);
        started = ::CreateProcessW(Wide(Argv.at(0)).c_str(), commandLine.data(), nullptr, nullptr,
                                   TRUE, 0, nullptr, nullptr, &startup, &process);
        if (!started)
            startError = ::GetLastError();
    }
    if (!started) {
        const std::string why = "cannot start " + Argv.at(0) + ": error " + std::to_string(startError) + "\n";
        DWORD written = 0;
        ::WriteFile(startup.hStdError, why.data(), static_cast<DWORD>(why.size()), &written, nullptr);
    }
    for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        ::CloseHandle(handle);
    if (!started)
        return 127;
    DWORD status = 0;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

#else

int Run(const std::vector<std::string>& Argv, const std::string& InPath, const std::string& OutPath,
        const std::string& ErrPath)
{
    std::vector<char*> argv;
    for (const std::string& arg : Argv)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open(InPath.empty() ? "/dev/null" : InPath.c_str(), O_RDONLY);
        const int out = ::open(OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& Argv, const std::string& StdoutPath,
                         const std::string& StdinPath)
{
    // What the program prints is kept in files, not pipes, so that a
    // program printing much cannot block on a full pipe.
    const TempFolder scratch;
    const std::string outPath = StdoutPath.empty() ? scratch / "out" : StdoutPath;
    ProgramResult result;
    result.Status = Run(Argv, StdinPath, outPath, scratch / "err");
    if (StdoutPath.empty())
        result.Out = Slurp(outPath);
    result.Err = Slurp(scratch / "err");
    return result;
}
