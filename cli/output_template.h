// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// -o TEMPLATE: the scene file of each input, named after the export.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::cli {

// Why Template is no output template, as a sentence for --output; empty
// when it is one. Placeholders tells whether it holds any.
std::string TemplateFault(std::string_view Template, bool& Placeholders);

// The scene file of Input: {dir} its folder as given ('.' for none),
// {name} its file name without its extension (.ma), {parent} the last
// name of its folder; '{{' and '}}' for braces. Standard input ('-') is
// 'stdin' in the current folder. Empty when {parent} has no name to give
// (an export in the root folder).
std::string ExpandTemplate(std::string_view Template, const std::string& Input);

}  // namespace quorvel::cli
