// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Reads an export file line by line, never the whole file at once.
#pragma once

#include "quorvel/file_identity.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

namespace platform {
class InputFile;
}

// The export path that stands for the process's standard input; messages
// call it "standard input".
inline constexpr std::string_view StandardInputPath = "-";

// Bytes whose room is not cleared before the file's bytes are read into it.
template <typename T>
struct UnclearedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UnclearedAllocator<U>;
    };
    template <typename U>
    void construct(U* Place) noexcept
    {
        ::new (static_cast<void*>(Place)) U;
    }
    template <typename U, typename... Arguments>
    void construct(U* Place, Arguments&&... Values)
    {
        ::new (static_cast<void*>(Place)) U(std::forward<Arguments>(Values)...);
    }
};

// Whole lines, their ends included, that the tracker section hands to a
// thread of its own.
struct LineChunk {
    std::vector<char, UnclearedAllocator<char>> Bytes;
    bool LongLineFollows = false;  // the line after Bytes is longer than MaxLineLength
};

class LineReader {
public:
    // Lines longer than this are refused: no export holds one, and reading
    // an unbounded line would take unbounded memory.
    static constexpr std::size_t MaxLineLength = 16u << 20;

    // Opens Path for reading, or takes standard input for StandardInputPath;
    // a missing file, a folder or an unreadable file is a file-system error.
    explicit LineReader(std::string Path);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Yes when no characters remain.
    bool AtEnd();

    // The next line into Line, without its terminator. A line ends at CR,
    // LF or CR LF; the last line needs no terminator. Reading at the end is
    // an error whose message names Wanted, the thing still being looked for.
    void ReadLine(std::string& Line, std::string_view Wanted = "another line");

    // The next line as a view into the reader's buffer, valid until the next
    // call on the reader: the tracker loop reads millions of lines and copies
    // none. False when no characters remain.
    bool NextLine(std::string_view& Line);

    // Whole lines from here on, about Wanted bytes of them (more when a line
    // is longer), never split and with every byte as it is in the file. The
    // lines are not counted: LineNumber() stays where it was. False when no
    // characters remain.
    bool NextChunk(LineChunk& Chunk, std::size_t Wanted);

    // The errors NextLine raises about line Line: a line longer than
    // MaxLineLength, a line that holds a NUL byte.
    [[noreturn]] void ThrowTooLong(long Line) const;
    [[noreturn]] void ThrowNul(long Line) const;

    // Number of the line most recently read, from 1.
    long LineNumber() const { return lineNumber_; }
    const std::string& Path() const { return path_; }
    // Yes when Path names the export file being read.
    bool IsSameFileAs(const std::string& Path) const;
    // Yes when the export being read is the file with Identity.
    bool IsFile(const FileIdentity& Identity) const;

    // Raises a file-system error when the export is a regular file whose
    // size or modification time changed since it was opened: what was read
    // may be part of an export still being written, or cut short.
    void CheckUnchanged() const;

    // "<path>, line <n>" for error messages about line n.
    std::string Where(long Line) const;

private:
    bool Fill();
    std::size_t FindLineEnd(std::size_t From);

    std::string path_;
    std::unique_ptr<platform::InputFile> file_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool skipLineFeed_ = false;  // the last line ended at a CR; a LF right after it belongs to it
    // The NUL search resumes where it stopped, so no byte is scanned twice:
    // no NUL lies before nulFreeTo_, which holds one when nulFound_.
    std::size_t nulFreeTo_ = 0;
    bool nulFound_ = false;
    long lineNumber_ = 0;
};

// The first CR or LF in Data at or after From, or End.
std::size_t FindLineEnd(const char* Data, std::size_t From, std::size_t End);

// The line ends (CR, LF or CR LF) in Data from From to End, where From
// starts a line: the lines there when End follows a line end.
std::size_t CountLineEnds(const char* Data, std::size_t From, std::size_t End);

// The first Byte among Data's Size bytes, or null: memchr's answer; and
// where Pattern first starts in Text at or after From, or npos: find's.
// WebAssembly's C library searches a word at a time, so there they look at
// 16 bytes at a time; elsewhere they are the library's.
#if defined(__wasm_simd128__)
const char* FindByte(const char* Data, std::size_t Size, char Byte);
std::size_t FindText(std::string_view Text, std::string_view Pattern, std::size_t From = 0);
#else
inline const char* FindByte(const char* Data, std::size_t Size, char Byte)
{
    return static_cast<const char*>(std::memchr(Data, static_cast<unsigned char>(Byte), Size));
}
inline std::size_t FindText(std::string_view Text, std::string_view Pattern, std::size_t From = 0)
{
    return Text.find(Pattern, From);
}
#endif

// Reads lines into CurrentLine until it contains Marker, keeping
// CurrentLineNumber with it. The line already held is tested first, so a
// marker in it is found without reading. Returns false when the file ends first.
bool ScanForMarker(LineReader& Reader, std::string& CurrentLine, long& CurrentLineNumber,
                   std::string_view Marker);

}  // namespace quorvel
