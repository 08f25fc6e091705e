// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/error.h"

#include "platform.h"

namespace quorvel {

namespace {

// Length of the UTF-8 sequence at the front of Text when it is valid and no
// control character (C1, U+0080 to U+009F), otherwise 0.
std::size_t ShownSequence(std::string_view Text)
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
    if (code < smallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) ||
        code <= 0x9f)
        return 0;
    return length;
}

// Appends the character at the front of Text as shown; returns how many
// bytes it took.
std::size_t AppendShown(std::string& Out, std::string_view Text)
{
    const unsigned char c = static_cast<unsigned char>(Text.front());
    if (c >= 0x20 && c < 0x7f) {
        Out.push_back(static_cast<char>(c));
        return 1;
    }
    if (c >= 0x80) {
        if (const std::size_t length = ShownSequence(Text)) {
            Out.append(Text.substr(0, length));
            return length;
        }
    }
    switch (c) {
    case '\t': Out.append("\\t"); break;
    case '\n': Out.append("\\n"); break;
    case '\r': Out.append("\\r"); break;
    default: {
        constexpr char Hex[] = "0123456789abcdef";
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

void ThrowFileError(const std::string& what, const std::string& path, int systemError)
{
    throw Error(ErrorKind::FileSystem, what + " '" + path + "': " + platform::ReasonText(systemError));
}

}  // namespace quorvel
