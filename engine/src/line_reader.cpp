// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/line_reader.h"

#include "quorvel/error.h"

#include "platform.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace quorvel {

namespace {
constexpr std::size_t BufferSize = 1u << 18;
}

LineReader::LineReader(std::string Path)
    : path_(std::move(Path)), file_(std::make_unique<platform::InputFile>())
{
    if (path_.empty())
        throw Error(ErrorKind::FileSystem, "no export file was chosen");
    buffer_.resize(BufferSize);
    if (path_ == StandardInputPath) {
        path_ = "standard input";
        file_->UseStandardInput();
        return;
    }
    if (const platform::ErrorCode error = file_->Open(path_)) {
        ThrowFileError("cannot open the export file", path_, error,
                       error == ENOENT ? ErrorKind::NoExportFile : ErrorKind::FileSystem);
    }
    if (file_->IsFolder())
        throw Error(ErrorKind::FileSystem, "'" + path_ + "' is a folder, not an export file");
}

LineReader::~LineReader() = default;

bool LineReader::IsSameFileAs(const std::string& Path) const { return file_->IsSameFileAs(Path); }

bool LineReader::IsFile(const FileIdentity& Identity) const { return file_->Is(Identity); }

void LineReader::CheckUnchanged() const
{
    if (file_->HasChanged()) {
        throw Error(ErrorKind::FileSystem, "the export file '" + path_ +
                                               "' changed while it was read; convert it again "
                                               "once it is complete");
    }
}

std::string LineReader::Where(long Line) const
{
    return path_ + ", line " + std::to_string(Line);
}

void LineReader::ThrowTooLong(long Line) const
{
    throw Error(ErrorKind::BadInput, Where(Line) + ": the line is longer than " +
                                         std::to_string(MaxLineLength >> 20) +
                                         " MiB; this does not look like a camera tracker export",
                Line);
}

void LineReader::ThrowNul(long Line) const
{
    throw Error(ErrorKind::BadInput, Where(Line) + ": the line holds a NUL byte; this is not a text export",
                Line);
}

bool LineReader::Fill()
{
    if (eof_)
        return false;
    const std::size_t shift = begin_;
    if (shift > 0 && shift < end_)
        std::memmove(buffer_.data(), buffer_.data() + shift, end_ - shift);
    end_ -= shift;
    begin_ = 0;
    nulFreeTo_ -= std::min(nulFreeTo_, shift);
    if (end_ == buffer_.size())
        buffer_.resize(buffer_.size() * 2);
    std::size_t got = 0;
    if (const platform::ErrorCode error = file_->Read(buffer_.data() + end_, buffer_.size() - end_, got))
        ThrowFileError("cannot read the export file", path_, error);
    end_ += got;
    eof_ = got == 0;
    return !eof_;
}

bool LineReader::AtEnd()
{
    for (;;) {
        if (begin_ == end_ && !Fill())
            return true;
        if (!skipLineFeed_)
            return false;
        skipLineFeed_ = false;
        if (buffer_[begin_] == '\n')
            ++begin_;
    }
}

// One pass for CR and LF, 16 bytes at a time where SSE2 (every x86-64) or
// WebAssembly's SIMD is there, so every byte is looked at once whatever the
// line ends are.
std::size_t FindLineEnd(const char* Data, std::size_t From, std::size_t End)
{
    std::size_t at = From;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; at + 16 <= End; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + at));
        const int ends = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
        if (ends != 0)
            return at + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(ends)));
    }
#elif defined(__wasm_simd128__)
    const v128_t cr = wasm_i8x16_splat('\r');
    const v128_t lf = wasm_i8x16_splat('\n');
    for (; at + 16 <= End; at += 16) {
        const v128_t bytes = wasm_v128_load(Data + at);
        const v128_t ends = wasm_v128_or(wasm_i8x16_eq(bytes, cr), wasm_i8x16_eq(bytes, lf));
        if (wasm_v128_any_true(ends))
            return at + static_cast<std::size_t>(std::countr_zero(wasm_i8x16_bitmask(ends)));
    }
#endif
    for (; at < End; ++at) {
        if (Data[at] == '\r' || Data[at] == '\n')
            return at;
    }
    return End;
}

std::size_t CountLineEnds(const char* Data, std::size_t From, std::size_t End)
{
    // Every CR, and every LF that does not follow a CR; no CR LF straddles
    // From, as it starts a line.
    std::size_t count = 0;
    std::size_t at = From;
#if defined(__SSE2__)
    // Counted in the 16 bytes of a vector, each CR and LF -1 and each CR LF
    // +1, added up across them before a byte could overflow. The byte
    // before each block is read with it, so the first block starts a byte in.
    if (at < End) {
        count += Data[at] == '\r' || Data[at] == '\n' ? 1 : 0;
        ++at;
    }
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (at + 16 <= End) {
        __m128i counts = _mm_setzero_si128();
        for (int blocks = 0; blocks < 127 && at + 16 <= End; ++blocks, at += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + at));
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + at - 1));
            const __m128i lfs = _mm_cmpeq_epi8(bytes, lf);
            counts = _mm_add_epi8(counts, _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), lfs));
            counts = _mm_sub_epi8(counts, _mm_and_si128(lfs, _mm_cmpeq_epi8(before, cr)));
        }
        const __m128i sums = _mm_sad_epu8(_mm_sub_epi8(_mm_setzero_si128(), counts), _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
    }
#endif
    for (; at < End; ++at)
        count += Data[at] == '\r' || (Data[at] == '\n' && (at == From || Data[at - 1] != '\r')) ? 1 : 0;
    return count;
}

#if defined(__wasm_simd128__)
const char* FindByte(const char* Data, std::size_t Size, char Byte)
{
    const v128_t wanted = wasm_i8x16_splat(Byte);
    std::size_t at = 0;
    for (; at + 16 <= Size; at += 16) {
        const v128_t found = wasm_i8x16_eq(wasm_v128_load(Data + at), wanted);
        if (wasm_v128_any_true(found))
            return Data + at + std::countr_zero(wasm_i8x16_bitmask(found));
    }
    for (; at < Size; ++at) {
        if (Data[at] == Byte)
            return Data + at;
    }
    return nullptr;
}

// 16 places at a time: those holding the first byte and, size - 1 on, the
// last one; only they are compared whole. The last 16 places are looked at
// again where they overlap. Short texts are left to find.
std::size_t FindText(std::string_view Text, std::string_view Pattern, std::size_t From)
{
    const std::size_t size = Pattern.size();
    if (size < 2 || From > Text.size() || Text.size() - From < size + 15)
        return Text.find(Pattern, From);
    const char* const data = Text.data();
    const std::size_t last = Text.size() - size;  // the last place it may start
    const v128_t head = wasm_i8x16_splat(Pattern.front());
    const v128_t tail = wasm_i8x16_splat(Pattern.back());
    for (std::size_t at = From;; at += 16) {
        at = std::min(at, last - 15);
        const v128_t found = wasm_v128_and(wasm_i8x16_eq(wasm_v128_load(data + at), head),
                                           wasm_i8x16_eq(wasm_v128_load(data + at + size - 1), tail));
        for (auto places = wasm_i8x16_bitmask(found); places != 0; places &= places - 1) {
            const std::size_t place = at + static_cast<std::size_t>(std::countr_zero(places));
            if (std::memcmp(data + place + 1, Pattern.data() + 1, size - 2) == 0)
                return place;
        }
        if (at == last - 15)
            return std::string_view::npos;
    }
}
#endif

std::size_t LineReader::FindLineEnd(std::size_t From) { return quorvel::FindLineEnd(buffer_.data(), From, end_); }

bool LineReader::NextLine(std::string_view& Line)
{
    if (AtEnd())
        return false;
    std::size_t scanned = begin_;
    std::size_t stop = 0;
    for (;;) {
        stop = FindLineEnd(scanned);
        if (stop < end_)
            break;
        if (end_ - begin_ > MaxLineLength)
            ThrowTooLong(lineNumber_ + 1);
        const std::size_t before = begin_;
        scanned = end_;
        if (!Fill())
            break;
        scanned -= before;  // Fill moved the unread bytes to the front
    }
    const std::size_t lineStart = begin_;
    if (stop < end_) {
        skipLineFeed_ = buffer_[stop] == '\r';
        begin_ = stop + 1;
    } else {
        stop = begin_ = end_;
    }
    ++lineNumber_;
    if (stop - lineStart > MaxLineLength)
        ThrowTooLong(lineNumber_);
    if (!nulFound_ && nulFreeTo_ < stop) {
        const std::size_t from = std::max(lineStart, nulFreeTo_);
        const char* nul = FindByte(buffer_.data() + from, end_ - from, '\0');
        nulFound_ = nul != nullptr;
        nulFreeTo_ = nul ? static_cast<std::size_t>(nul - buffer_.data())
                         : end_;
    }
    if (nulFound_ && nulFreeTo_ < stop)
        ThrowNul(lineNumber_);
    Line = std::string_view(buffer_.data() + lineStart, stop - lineStart);
    return true;
}

bool LineReader::NextChunk(LineChunk& Chunk, std::size_t Wanted)
{
    auto& bytes = Chunk.Bytes;
    bytes.clear();
    Chunk.LongLineFollows = false;
    if (AtEnd())
        return false;
    bytes.assign(buffer_.data() + begin_, buffer_.data() + end_);
    begin_ = end_ = nulFreeTo_ = 0;
    // The chunk ends after its last LF, or after a CR known not to be the
    // first half of a CR LF; no such end lies before unsearched.
    std::size_t cut = 0;
    std::size_t unsearched = 0;
    for (;;) {
        if (eof_) {
            cut = bytes.size();
            break;
        }
        if (bytes.size() >= Wanted) {
            for (std::size_t at = bytes.size(); at > unsearched && cut == 0; --at) {
                if (bytes[at - 1] == '\n' || (bytes[at - 1] == '\r' && at < bytes.size()))
                    cut = at;
            }
            if (cut > 0)
                break;
            unsearched = bytes.size() - 1;
            if (bytes.size() > MaxLineLength) {
                Chunk.LongLineFollows = true;
                bytes.clear();
                break;
            }
        }
        const std::size_t had = bytes.size();
        bytes.resize(had + std::max(Wanted - std::min(Wanted, had), BufferSize));
        std::size_t got = 0;
        const platform::ErrorCode error = file_->Read(bytes.data() + had, bytes.size() - had, got);
        bytes.resize(had + got);
        if (error)
            ThrowFileError("cannot read the export file", path_, error);
        eof_ = got == 0;
    }
    // What follows the chunk waits in the buffer for the next call.
    const std::size_t rest = bytes.size() - cut;
    if (rest > buffer_.size())
        buffer_.resize(rest);
    std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(cut), bytes.end(), buffer_.begin());
    end_ = rest;
    bytes.resize(cut);
    return true;
}

void LineReader::ReadLine(std::string& Line, std::string_view Wanted)
{
    std::string_view view;
    if (!NextLine(view)) {
        throw Error(ErrorKind::MissingInput, path_ + ": the file ends after line " +
                                                 std::to_string(lineNumber_) + " before " +
                                                 std::string(Wanted));
    }
    Line.assign(view);
}

bool ScanForMarker(LineReader& Reader, std::string& CurrentLine, long& CurrentLineNumber,
                   std::string_view Marker)
{
    while (FindText(CurrentLine, Marker) == std::string::npos) {
        if (Reader.AtEnd())
            return false;
        Reader.ReadLine(CurrentLine);
        CurrentLineNumber = Reader.LineNumber();
    }
    return true;
}

}  // namespace quorvel
