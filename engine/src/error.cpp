// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/error.h"

#include "platform.h"

namespace quorvel {

namespace {

// Unicode's invisible format characters (category Cf): bidirectional
// controls such as U+202E can make a name read backwards on screen, and
// zero-width ones hide what a name holds.
bool IsFormatCharacter(char32_t Code)
{
    static constexpr char32_t Ranges[][2] = {
        {0xad, 0xad},         {0x600, 0x605},     {0x61c, 0x61c},     {0x6dd, 0x6dd},
        {0x70f, 0x70f},       {0x890, 0x891},     {0x8e2, 0x8e2},     {0x180e, 0x180e},
        {0x200b, 0x200f},     {0x202a, 0x202e},   {0x2060, 0x2064},   {0x2066, 0x206f},
        {0xfeff, 0xfeff},     {0xfff9, 0xfffb},   {0x110bd, 0x110bd}, {0x110cd, 0x110cd},
        {0x13430, 0x1343f},   {0x1bca0, 0x1bca3}, {0x1d173, 0x1d17a}, {0xe0001, 0xe0001},
        {0xe0020, 0xe007f},
    };
    for (const auto& range : Ranges) {
        if (Code < range[0])
            return false;
        if (Code <= range[1])
            return true;
    }
    return false;
}

// Length of the valid UTF-8 sequence at the front of Text, its character in
// Code; 0 when the bytes are no such sequence.
std::size_t DecodedSequence(std::string_view Text, char32_t& Code)
{
    const auto byte = [&Text](std::size_t At) { return static_cast<unsigned char>(Text[At]); };
    const unsigned lead = byte(0);
    std::size_t length = 0;
    char32_t code = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (Text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3f);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        return 0;
    Code = code;
    return length;
}

constexpr char Hex[] = "0123456789abcdef";

// Appends the character at the front of Text as shown; returns how many
// bytes it took. C1 controls (U+0080 to U+009F) and bytes that are no valid
// UTF-8 are escaped byte by byte, format characters as \u202e (\U000e0001
// beyond 16 bits).
std::size_t AppendShown(std::string& Out, std::string_view Text)
{
    const unsigned char c = static_cast<unsigned char>(Text.front());
    if (c >= 0x20 && c < 0x7f) {
        Out.push_back(static_cast<char>(c));
        return 1;
    }
    char32_t code = 0;
    if (const std::size_t length = c >= 0x80 ? DecodedSequence(Text, code) : 0; length && code > 0x9f) {
        if (!IsFormatCharacter(code)) {
            Out.append(Text.substr(0, length));
            return length;
        }
        const int digits = code > 0xffff ? 8 : 4;
        Out.append(digits == 8 ? "\\U" : "\\u");
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            Out.push_back(Hex[(code >> shift) & 15]);
        return length;
    }
    switch (c) {
    case '\t': Out.append("\\t"); break;
    case '\n': Out.append("\\n"); break;
    case '\r': Out.append("\\r"); break;
    default: {
        const char escape[] = {'\\', 'x', Hex[c >> 4], Hex[c & 15]};
        Out.append(escape, sizeof escape);
    }
    }
    return 1;
}

}  // namespace

std::string Printable(std::string_view Text)
{
    std::string shown;
    shown.reserve(Text.size());
    while (!Text.empty())
        Text.remove_prefix(AppendShown(shown, Text));
    return shown;
}

std::string Excerpt(std::string_view Text, std::size_t MaxCharacters)
{
    std::string shown;
    for (std::size_t count = 0; !Text.empty(); ++count) {
        if (count == MaxCharacters)
            return shown.append("...");
        Text.remove_prefix(AppendShown(shown, Text));
    }
    return shown;
}

void ThrowFileError(const std::string& what, const std::string& path, int systemError, ErrorKind kind)
{
    throw Error(kind, what + " '" + path + "': " + platform::ReasonText(systemError));
}

}  // namespace quorvel
