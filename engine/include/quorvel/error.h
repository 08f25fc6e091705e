// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The one error type of the conversion engine.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvel {

enum class ErrorKind {
    Overflow,         // a number does not fit where it must go (16-bit fields)
    InvalidArgument,  // a text operation was asked for an impossible cut
    MissingInput,     // the export ends before something the scene needs
    BadInput,         // a line of the export is malformed
    BadFactor,        // the multiplication factor is not a number
    FileSystem,       // a file cannot be opened, read or written
    NoExportFile,     // there is no export file of that name
    FatalWarning,     // a warning the caller made fatal (ConvertOptions::FatalWarnings)
};

// Text as a terminal or a window may show it: every control character and
// every byte that is not part of valid UTF-8 written as an escape ("\x1b",
// "\t"), and every invisible format character too ("\u202e"), so that text
// from a file or a file name can neither drive a terminal nor hide or
// reorder what a message shows.
std::string Printable(std::string_view Text);

// At most the first MaxCharacters characters of Text, Printable, with "..."
// when some were left out: how a message quotes text from an export.
inline constexpr std::size_t ExcerptLength = 40;
std::string Excerpt(std::string_view Text, std::size_t MaxCharacters = ExcerptLength);

// Messages are written for the user: what is wrong and where, kept
// Printable whatever file names and excerpts they quote. An error about one
// line of the export also carries that line's number, for reports that
// programs read.
class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message, long line = 0)
        : std::runtime_error(Printable(message)), kind_(kind), line_(line) {}

    ErrorKind kind() const noexcept { return kind_; }
    // The export line the error is about, from 1; 0 when it is about no one line.
    long line() const noexcept { return line_; }

private:
    ErrorKind kind_;
    long line_;
};

// "<what> '<path>': <system reason>" for a failed file operation; systemError
// is the code the operating system gave (errno on POSIX systems).
[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path, int systemError,
                                 ErrorKind kind = ErrorKind::FileSystem);

}  // namespace quorvel
