#include "run_program.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ScratchFile()
{
    std::string path = "/tmp/quorvel-run-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    ::close(fd);
    return path;
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& Argv, const std::string& StdoutPath)
{
    const std::string outPath = StdoutPath.empty() ? ScratchFile() : StdoutPath;
    const std::string errPath = ScratchFile();
    std::vector<char*> argv;
    for (const std::string& arg : Argv)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_TRUNC);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_TRUNC);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ProgramResult result;
    int status = 0;
    ::waitpid(child, &status, 0);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (StdoutPath.empty()) {
        result.Out = Slurp(outPath);
        ::unlink(outPath.c_str());
    }
    result.Err = Slurp(errPath);
    ::unlink(errPath.c_str());
    return result;
}
