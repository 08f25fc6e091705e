// The one error type of the conversion engine.
#pragma once

#include <stdexcept>
#include <string>

namespace quorvel {

enum class ErrorKind {
    Overflow,         // a number does not fit where it must go (16-bit fields)
    InvalidArgument,  // a text operation was asked for an impossible cut
    MissingInput,     // the export ends before something the scene needs
    BadInput,         // a line of the export is malformed
    BadFactor,        // the multiplication factor is not a number
    FileSystem,       // a file cannot be opened, read or written
};

// Messages are written for the user: what is wrong and where. An error
// about one line of the export also carries that line's number, for reports
// that programs read.
class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message, long line = 0)
        : std::runtime_error(message), kind_(kind), line_(line) {}

    ErrorKind kind() const noexcept { return kind_; }
    // The export line the error is about, from 1; 0 when it is about no one line.
    long line() const noexcept { return line_; }

private:
    ErrorKind kind_;
    long line_;
};

// "<what> '<path>': <system reason>" for a failed file operation; systemError
// is the code the operating system gave (errno on POSIX systems).
[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path, int systemError);

}  // namespace quorvel
