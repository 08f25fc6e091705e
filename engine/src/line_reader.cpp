#include "quorvel/line_reader.h"

#include "quorvel/error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {
constexpr std::size_t BufferSize = 1u << 18;
}

LineReader::LineReader(std::string Path) : path_(std::move(Path))
{
    if (path_.empty())
        throw Error(ErrorKind::FileSystem, "no export file was chosen");
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        ThrowFileError("cannot open the export file", path_, errno);
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw Error(ErrorKind::FileSystem, "'" + path_ + "' is a folder, not an export file");
    }
    buffer_.resize(BufferSize);
}

LineReader::~LineReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::string LineReader::Where(long Line) const
{
    return path_ + ", line " + std::to_string(Line);
}

bool LineReader::Fill()
{
    if (eof_)
        return false;
    if (begin_ > 0 && begin_ < end_)
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    if (end_ == buffer_.size())
        buffer_.resize(buffer_.size() * 2);
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            return true;
        }
        if (got == 0) {
            eof_ = true;
            return false;
        }
        if (errno != EINTR)
            ThrowFileError("cannot read the export file", path_, errno);
    }
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

void LineReader::ReadLine(std::string& Line, std::string_view Wanted)
{
    if (AtEnd()) {
        throw Error(ErrorKind::MissingInput, path_ + ": the file ends after line " +
                                                 std::to_string(lineNumber_) + " before " +
                                                 std::string(Wanted));
    }
    std::size_t scanned = begin_;
    for (;;) {
        const char* start = buffer_.data() + scanned;
        const std::size_t count = end_ - scanned;
        const void* cr = std::memchr(start, '\r', count);
        const void* lf = std::memchr(start, '\n', cr ? static_cast<const char*>(cr) - start : count);
        const char* stop = static_cast<const char*>(lf ? lf : cr);
        if (stop) {
            const std::size_t lineEnd = static_cast<std::size_t>(stop - buffer_.data());
            Line.assign(buffer_.data() + begin_, lineEnd - begin_);
            begin_ = lineEnd + 1;
            skipLineFeed_ = (*stop == '\r');
            break;
        }
        scanned = end_;
        if (end_ - begin_ > MaxLineLength) {
            throw Error(ErrorKind::BadInput,
                        Where(lineNumber_ + 1) + ": the line is longer than " +
                            std::to_string(MaxLineLength >> 20) +
                            " MB; this does not look like a camera tracker export");
        }
        const std::size_t before = begin_;
        if (!Fill()) {
            Line.assign(buffer_.data() + begin_, end_ - begin_);
            begin_ = end_;
            break;
        }
        scanned -= before;  // Fill moved the unread bytes to the front
    }
    ++lineNumber_;
    if (Line.size() > MaxLineLength) {
        throw Error(ErrorKind::BadInput,
                    Where(lineNumber_) + ": the line is longer than " +
                        std::to_string(MaxLineLength >> 20) +
                        " MB; this does not look like a camera tracker export");
    }
    if (std::memchr(Line.data(), '\0', Line.size())) {
        throw Error(ErrorKind::BadInput,
                    Where(lineNumber_) + ": the line holds a NUL byte; this is not a text export");
    }
}

bool ScanForMarker(LineReader& Reader, std::string& CurrentLine, long& CurrentLineNumber,
                   std::string_view Marker)
{
    while (CurrentLine.find(Marker) == std::string::npos) {
        if (Reader.AtEnd())
            return false;
        Reader.ReadLine(CurrentLine);
        CurrentLineNumber = Reader.LineNumber();
    }
    return true;
}

}  // namespace quorvel
