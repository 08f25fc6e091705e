// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "output_template.h"

#include "options.h"
#include "paths.h"

#include "quorvel/line_reader.h"

#include <filesystem>
#include <optional>

namespace quorvel::cli {

namespace {

enum class Piece { Text, Dir, Name, Parent };

// The piece at the start of Rest and its length; none when Rest starts
// with a brace that is neither a placeholder nor doubled.
std::optional<Piece> PieceAt(std::string_view Rest, std::size_t& Length)
{
    for (const auto& [text, piece] : {std::pair{std::string_view("{dir}"), Piece::Dir},
                                      std::pair{std::string_view("{name}"), Piece::Name},
                                      std::pair{std::string_view("{parent}"), Piece::Parent}}) {
        if (Rest.starts_with(text)) {
            Length = text.size();
            return piece;
        }
    }
    Length = Rest.starts_with("{{") || Rest.starts_with("}}") ? 2 : 1;
    if (Length == 1 && (Rest[0] == '{' || Rest[0] == '}'))
        return std::nullopt;
    return Piece::Text;
}

}  // namespace

std::string TemplateFault(std::string_view Template, bool& Placeholders)
{
    Placeholders = false;
    for (std::size_t at = 0, length = 0; at < Template.size(); at += length) {
        const std::optional<Piece> piece = PieceAt(Template.substr(at), length);
        if (!piece) {
            const std::size_t close = Template.find('}', at);
            const std::string_view wrong =
                Template[at] == '{' && close != std::string_view::npos ? Template.substr(at, close - at + 1) : Template.substr(at, 1);
            return "--output: " + Quoted(std::string(wrong)) + " in " + Quoted(std::string(Template)) +
                   " is no placeholder; the placeholders are {dir}, {name} and {parent}, and '{{' and '}}' "
                   "write braces";
        }
        Placeholders = Placeholders || *piece != Piece::Text;
    }
    return {};
}

std::string ExpandTemplate(std::string_view Template, const std::string& Input)
{
    const bool standardInput = Input == StandardInputPath;
    const std::filesystem::path input = PathOf(standardInput ? "stdin" : Input);
    const std::filesystem::path folder = input.parent_path();
    const std::string dir = folder.empty() ? "." : TextOf(folder);
    std::filesystem::path parent = folder.filename();
    if (parent.empty() || parent == "." || parent == "..") {
        std::error_code error;
        parent = std::filesystem::absolute(folder.empty() ? "." : folder, error).lexically_normal();
        // A folder given with a separator at its end ends in an empty name.
        parent = parent.has_filename() ? parent.filename() : parent.parent_path().filename();
    }
    std::string scene;
    for (std::size_t at = 0, length = 0; at < Template.size(); at += length) {
        switch (PieceAt(Template.substr(at), length).value_or(Piece::Text)) {
        case Piece::Text: scene.push_back(Template[at]); break;
        case Piece::Dir: scene += dir; break;
        case Piece::Name: scene += TextOf(input.stem()); break;
        case Piece::Parent:
            if (parent.empty())
                return {};
            scene += TextOf(parent);
            break;
        }
    }
    return scene;
}

}  // namespace quorvel::cli
