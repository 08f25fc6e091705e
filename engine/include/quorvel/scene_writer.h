// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Writes the scene file: header, image block, camera path, closing lines.
#pragma once

#include "quorvel/convert_state.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace quorvel {

// Collects scene lines in a large buffer and hands them to an open stream;
// every write error is raised, none is lost.
class SceneWriter {
public:
    // With StartWriteback the system is asked to start writing each drained
    // piece to disk at once (Out must be a file), so that the fsync that
    // makes a finished scene file durable has little left to wait for.
    // Without a stream (Out null) every piece is dropped. A write error
    // reads "<What> '<Name>': <reason>".
    SceneWriter(std::FILE* Out, std::string Name, bool StartWriteback = false,
                std::string What = "cannot write the scene file");

    // Appends to the line being built.
    SceneWriter& operator<<(std::string_view Text)
    {
        buffer_.append(Text);
        return *this;
    }
    SceneWriter& operator<<(char Character)
    {
        buffer_.push_back(Character);
        return *this;
    }
    // Ends the line being built with CR LF.
    void EndLine();
    // Writes a whole line.
    void Line(std::string_view Text);
    // Writes whole lines, their line ends included.
    void Lines(std::string_view Text);
    // Hands everything buffered to the stream and flushes it.
    void Flush();

    std::string& Buffer() { return buffer_; }

private:
    void Drain();
    void Write(std::string_view Text);

    std::FILE* out_;
    std::string name_;
    std::string what_;
    std::string buffer_;
    bool startWriteback_;
    long long drained_ = 0;  // bytes handed to the stream so far
};

// A computed number as the scene holds it: a blank or a minus sign, at most
// 15 significant digits, a trailing blank (92.5 gives " 92.5 ", -3 "-3 ").
void AppendPrintForm(std::string& Out, double Value);

// The same written at Out, which has room for PrintFormMax characters;
// returns the end of what was written.
inline constexpr std::size_t PrintFormMax = 32;
char* WritePrintForm(char* Out, double Value);

// Decimal digits of Value at Out, which has room for 24 characters (the
// bytes after the digits may be overwritten); returns the end of the digits.
char* WriteCount(char* Out, long Value);

// Decimal digits with a minus sign for negative numbers, appended in place.
void AppendInteger(std::string& Out, long long Value);

// Writes everything from "SynthEyesScene {" to the end of the zoom block.
void SaveCamPath(const ConvertState& State, SceneWriter& Writer);

// The two lines that end every scene file.
void WriteClosingLines(SceneWriter& Writer);

}  // namespace quorvel
