// Text made unreadable with its shape kept: for desktop captures a user can send without what
// their screen said.
#pragma once

#include <string>
#include <string_view>

namespace plenk::text {

// Every letter becomes a letter of its own script and case (Latin from a-x, Cyrillic from а,
// Greek from α, other scripts from ICU's sample letter), every digit a digit, picked from a hash
// of the whole text: the same text always gives the same, different texts almost always differ.
// Spaces, punctuation, symbols and combining marks stay as they are, so code points and grapheme
// clusters keep their number. Invalid UTF-8 is replaced first.
std::string redact(std::string_view utf8);

} // namespace plenk::text
