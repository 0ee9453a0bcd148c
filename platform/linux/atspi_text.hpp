// An element's text as AT-SPI gives it: one object replacement character (U+FFFC) stands for
// each embedded child (a link inside a paragraph).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::atspi {

// The text without the characters that stand for children.
std::string withoutEmbeds(std::string_view text);

// The pieces of the text before, between and after its embedded children: one more than
// `childCount`. None when the embedded objects do not match the children (a toolkit that gives
// the text as children of its own, as Chromium's static texts).
std::vector<std::string> piecesAroundChildren(std::string_view text, std::size_t childCount);

} // namespace plenk::atspi
