// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The tracker lines on several threads. This thread reads whole lines in
// chunks and writes the chunks' blocks in file order; each worker takes the
// next chunk, reads its tracker lines (the costly part: three numbers each),
// and, once the chunks before it have counted their trackers, writes its
// blocks with their numbers. Line numbers are counted from each chunk's
// start and made whole when the chunk is written, so the scene, the
// numbering, the skipped lines and every error are the one-thread loop's.
// At most two chunks per worker are in flight.
#include "tracker_threads.h"

#include "platform.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvel {

namespace {

enum class Stage { Free, Filled, Parsed, Written };

// An error the reader raises about a line, held until the chunk's turn,
// when the line's number is known.
enum class LineFault { None, TooLong, Nul };

struct Chunk {
    Stage At = Stage::Free;
    LineChunk In;
    std::exception_ptr Failure;  // reading or working on it failed
    // Read on a worker; line numbers count from 1 at the chunk's first line.
    long Lines = 0;
    std::vector<std::array<double, 3>> Positions;
    long SkippedCount = 0;
    std::vector<SkippedTracker> Skipped;
    LineFault Fault = LineFault::None;
    long FaultLine = 0;
    // Written on the worker once the trackers before it are counted.
    long FirstNumber = 0;
    std::unique_ptr<char[]> Out;
    std::size_t OutRoom = 0;
    std::size_t OutSize = 0;
};

// Adds one line's outcome to C; Line is its number in the chunk, asked for
// only when the line is skipped.
template <typename LineNumber>
void Record(Chunk& C, TrackerLine Kind, const std::array<double, 3>& Scaled, std::string& Reason,
            const LineNumber& Line)
{
    switch (Kind) {
    case TrackerLine::Other:
        break;
    case TrackerLine::Block:
        C.Positions.push_back(Scaled);
        break;
    case TrackerLine::Skipped:
        ++C.SkippedCount;
        if (C.Skipped.size() < TrackerSummary::MaxSkippedListed)
            C.Skipped.push_back({Line(), std::move(Reason)});
        break;
    }
}

// Line by line, each one's length tested first: for a chunk larger than
// the longest line allowed, which may hold a line too long.
void ReadEveryLine(Chunk& C, double Factor, std::size_t NulAt)
{
    const char* const data = C.In.Bytes.data();
    const std::size_t size = C.In.Bytes.size();
    std::array<double, 3> scaled{};
    std::string reason;
    for (std::size_t at = 0; at < size;) {
        const std::size_t end = FindLineEnd(data, at, size);
        ++C.Lines;
        // As NextLine tests them: the length first, then a NUL byte.
        if (end - at > LineReader::MaxLineLength || NulAt < end) {
            C.Fault = end - at > LineReader::MaxLineLength ? LineFault::TooLong : LineFault::Nul;
            C.FaultLine = C.Lines;
            return;
        }
        Record(C, ExamineTrackerLine(std::string_view(data + at, end - at), Factor, scaled, reason), scaled,
               reason, [&C] { return C.Lines; });
        at = end + (end + 1 < size && data[end] == '\r' && data[end + 1] == '\n' ? 2 : 1);
    }
}

bool IsLineEnd(char C) { return C == '\r' || C == '\n'; }

// The tracker lines are the ones that hold the marker: the chunk is searched
// for it. Lines are counted in one pass at the end, and up to a skipped
// line when it needs its number. Nothing from the line with a NUL byte on
// is read.
void ReadTrackerLines(Chunk& C, double Factor, std::size_t NulAt)
{
    const char* const data = C.In.Bytes.data();
    const std::size_t size = C.In.Bytes.size();
    std::size_t limit = std::min(NulAt, size);
    while (limit > 0 && NulAt < size && !IsLineEnd(data[limit - 1]))
        --limit;
    const std::string_view text(data, limit);
    std::array<double, 3> scaled{};
    std::string reason;
    std::size_t counted = 0;  // the lines before counted are in C.Lines
    std::size_t at = 0;
    while (at < limit) {
        const std::size_t marker = FindText(text, TrackerMarker, at);
        if (marker == std::string_view::npos)
            break;
        std::size_t start = marker;
        while (start > at && !IsLineEnd(data[start - 1]))
            --start;
        const std::size_t rest = marker + TrackerMarker.size();
        const std::size_t end = FindLineEnd(data, rest, size);
        const auto number = [&] {
            C.Lines += static_cast<long>(CountLineEnds(data, counted, start));
            counted = start;
            return C.Lines + 1;
        };
        Record(C, ExamineTrackerNumbers(std::string_view(data + rest, end - rest), Factor, scaled, reason),
               scaled, reason, number);
        at = end + (end + 1 < size && data[end] == '\r' && data[end + 1] == '\n' ? 2 : 1);
    }
    // A last line without its end counts too.
    if (counted < limit)
        C.Lines += static_cast<long>(CountLineEnds(data, counted, limit)) + (IsLineEnd(data[limit - 1]) ? 0 : 1);
    if (NulAt < size) {
        C.Fault = LineFault::Nul;
        C.FaultLine = ++C.Lines;
    }
}

void ReadLines(Chunk& C, double Factor)
{
    const char* const data = C.In.Bytes.data();
    const std::size_t size = C.In.Bytes.size();
    C.Lines = 0;
    C.Positions.clear();
    C.SkippedCount = 0;
    C.Skipped.clear();
    C.Fault = LineFault::None;
    const char* const nul = FindByte(data, size, '\0');
    const std::size_t nulAt = nul ? static_cast<std::size_t>(nul - data) : size;
    if (size > LineReader::MaxLineLength)
        ReadEveryLine(C, Factor, nulAt);
    else
        ReadTrackerLines(C, Factor, nulAt);
    if (C.In.LongLineFollows && C.Fault == LineFault::None) {
        C.Fault = LineFault::TooLong;
        C.FaultLine = C.Lines + 1;
    }
}

void WriteBlocks(Chunk& C)
{
    const std::size_t room = C.Positions.size() * (TrackerBlockMax + 2);
    if (room > C.OutRoom) {
        C.Out.reset(new char[room]);
        C.OutRoom = room;
    }
    char* out = C.Out.get();
    long number = C.FirstNumber;
    for (const auto& position : C.Positions) {
        out = WriteTrackerBlock(out, number++, position);
        *out++ = '\r';
        *out++ = '\n';
    }
    C.OutSize = static_cast<std::size_t>(out - C.Out.get());
}

class Pipeline {
public:
    Pipeline(LineReader& Reader, double Factor, const TrackerThreads& Threads)
        : reader_(Reader), factor_(Factor), chunkBytes_(std::max<std::size_t>(Threads.ChunkBytes, 1)),
          slots_(2 * static_cast<std::size_t>(Threads.Count)), workerCount_(Threads.Count)
    {
    }

    ~Pipeline()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
    }

    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    void Run(SceneWriter& Writer, TrackerSummary& Summary);

private:
    Chunk& Slot(std::size_t Sequence) { return slots_[Sequence % slots_.size()]; }
    // Reads the next chunk into Slot(filled_); false when no lines remain.
    bool Fill(Chunk& C);
    void Number();
    void Work();
    void Merge(Chunk& C, SceneWriter& Writer, TrackerSummary& Summary);

    LineReader& reader_;
    const double factor_;
    const std::size_t chunkBytes_;
    std::vector<Chunk> slots_;
    const int workerCount_;
    std::vector<std::thread> workers_;
    long lineBase_ = 0;  // the lines before the next chunk to be written

    std::mutex mutex_;
    std::condition_variable changed_;
    // Chunks by their place in the file: filled_ read, claimed_ taken by a
    // worker, numbered_ given their first tracker number (nextNumber_ is the
    // next one's).
    std::size_t filled_ = 0;
    std::size_t claimed_ = 0;
    std::size_t numbered_ = 0;
    long nextNumber_ = 0;
    bool stop_ = false;
};

bool Pipeline::Fill(Chunk& C)
{
    C.Failure = nullptr;
    try {
        return reader_.NextChunk(C.In, chunkBytes_);
    } catch (...) {
        // Raised in the chunk's turn, after the lines read before it.
        C.In.Bytes.clear();
        C.In.LongLineFollows = false;
        C.Positions.clear();
        C.Failure = std::current_exception();
        return true;
    }
}

// With mutex_ held: numbers the chunks whose trackers are counted, in order.
void Pipeline::Number()
{
    while (numbered_ < filled_ && Slot(numbered_).At == Stage::Parsed) {
        Chunk& c = Slot(numbered_);
        c.FirstNumber = nextNumber_;
        nextNumber_ += static_cast<long>(c.Positions.size());
        ++numbered_;
    }
}

void Pipeline::Work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || claimed_ < filled_; });
        if (stop_)
            return;
        const std::size_t sequence = claimed_++;
        Chunk& c = Slot(sequence);
        lock.unlock();
        if (!c.Failure) {
            try {
                ReadLines(c, factor_);
            } catch (...) {
                c.Failure = std::current_exception();
            }
        }
        lock.lock();
        c.At = Stage::Parsed;
        Number();
        changed_.notify_all();
        changed_.wait(lock, [this, sequence] { return stop_ || sequence < numbered_; });
        if (stop_)
            return;
        lock.unlock();
        if (!c.Failure) {
            try {
                WriteBlocks(c);
            } catch (...) {
                c.Failure = std::current_exception();
            }
        }
        lock.lock();
        c.At = Stage::Written;
        changed_.notify_all();
    }
}

void Pipeline::Merge(Chunk& C, SceneWriter& Writer, TrackerSummary& Summary)
{
    if (C.Failure)
        std::rethrow_exception(C.Failure);
    Writer.Lines(std::string_view(C.Out.get(), C.OutSize));
    Summary.Trackers += static_cast<long>(C.Positions.size());
    Summary.SkippedCount += C.SkippedCount;
    for (SkippedTracker& skipped : C.Skipped) {
        if (Summary.Skipped.size() == TrackerSummary::MaxSkippedListed)
            break;
        Summary.Skipped.push_back({lineBase_ + skipped.LineNumber, std::move(skipped.Reason)});
    }
    if (C.Fault == LineFault::TooLong)
        reader_.ThrowTooLong(lineBase_ + C.FaultLine);
    if (C.Fault == LineFault::Nul)
        reader_.ThrowNul(lineBase_ + C.FaultLine);
    lineBase_ += C.Lines;
}

void Pipeline::Run(SceneWriter& Writer, TrackerSummary& Summary)
{
    lineBase_ = reader_.LineNumber();
    nextNumber_ = Summary.Trackers + 1;
    // A section of one chunk is done here: threads would gain nothing.
    Chunk& first = Slot(0);
    if (!Fill(first))
        return;
    if (!first.Failure && reader_.AtEnd()) {
        ReadLines(first, factor_);
        first.FirstNumber = nextNumber_;
        WriteBlocks(first);
        Merge(first, Writer, Summary);
        return;
    }
    first.At = Stage::Filled;
    filled_ = 1;
    bool reading = !first.Failure && !first.In.LongLineFollows;
    for (int i = 0; i < workerCount_; ++i)
        workers_.push_back(platform::StartThread([this] { Work(); }));

    std::size_t written = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (written < filled_ && Slot(written).At == Stage::Written) {
            Chunk& c = Slot(written);
            lock.unlock();
            Merge(c, Writer, Summary);
            lock.lock();
            c.At = Stage::Free;
            ++written;
            continue;
        }
        if (reading && Slot(filled_).At == Stage::Free) {
            Chunk& c = Slot(filled_);
            lock.unlock();
            reading = Fill(c);
            lock.lock();
            if (reading) {
                c.At = Stage::Filled;
                ++filled_;
                reading = !c.Failure && !c.In.LongLineFollows;
                changed_.notify_all();
            }
            continue;
        }
        if (!reading && written == filled_)
            return;
        changed_.wait(lock);
    }
}

}  // namespace

void ExportLinesOnThreads(LineReader& Reader, SceneWriter& Writer, double Factor,
                          const TrackerThreads& Threads, TrackerSummary& Summary)
{
    Pipeline pipeline(Reader, Factor, Threads);
    pipeline.Run(Writer, Summary);
}

}  // namespace quorvel
