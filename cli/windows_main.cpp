// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// quorvel-convert's entry point on Windows (linked with -municode): the
// arguments arrive as UTF-16 and go on as UTF-8, the text the engine takes
// names in; standard input, output and error carry bytes unchanged, so a
// scene's CR LF stays CR LF; messages reach the console as UTF-8.
#include "run.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>
#include <windows.h>

// Wildcards in unquoted arguments (exports\*.ma) are expanded by the C
// runtime, as the shell does on Linux.
extern "C" {
int _dowildcard = -1;
}

namespace {

std::string Utf8(const wchar_t* Wide)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, Wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Wide, -1, text.data(), size, nullptr, nullptr);
    return text;
}

UINT consoleCodePage = 0;

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(Utf8(argv[i]));
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    // Messages too end in LF alone, as on Linux: the console starts a new
    // line for it, and logs read the same on both systems.
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    // The console shows what the program prints as UTF-8, and its own code
    // page again once the program ends.
    consoleCodePage = ::GetConsoleOutputCP();
    if (consoleCodePage != 0 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit([] { ::SetConsoleOutputCP(consoleCodePage); });
    return quorvel::cli::Main(argc, pointers.data());
}
