// The names browsers give the encodings of web pages, and the labels a page
// or a server may call them by: one table, the one every browser shares.
#pragma once

#include <cstddef>
#include <string_view>

namespace search {

// The longest label taken: the longest known one has 19 characters, so a
// longer one is none, and no lowering or lookup runs over a long value.
inline constexpr std::size_t kMaxCharsetLabel = 64;

// The encoding a label names, in its browser spelling ("latin1" and
// "us-ascii" give "windows-1252", "x-sjis" gives "Shift_JIS"): the label is
// read without its leading and trailing ASCII whitespace and in any letter
// case. "" for a label that names no encoding browsers know.
std::string_view EncodingForLabel(std::string_view label);

}  // namespace search
