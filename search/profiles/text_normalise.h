#pragma once

#include <string>
#include <string_view>

namespace search {

// A title or snippet as a person reads it: every run of white space (ASCII
// white space, U+00A0 and the other Unicode spaces) made one space,
// zero-width and direction marks (U+200B-U+200F, U+2066-U+2069, U+FEFF)
// removed, the ends trimmed. The text is UTF-8; bytes that are not are kept
// as they are.
std::string NormaliseText(std::string_view utf8);

// The text with every byte sequence that is not UTF-8 replaced by U+FFFD, one
// for each maximal part of a character that could not be completed, as a
// browser decodes it. Valid text comes back unchanged.
std::string ValidUtf8(std::string_view text);

}  // namespace search
