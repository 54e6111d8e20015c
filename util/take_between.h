#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace util {

// Position of the first occurrence of needle in hay at or after from, with the
// ASCII letters a-z and A-Z matched without regard to case and every other
// byte compared exactly; std::string_view::npos when there is none.
std::size_t FindNoCase(std::string_view hay, std::string_view needle, std::size_t from = 0);

// The same with the byte of the needle that candidates are looked for by
// given: AnchorIndex(needle), computed once for a marker searched often.
std::size_t FindNoCase(std::string_view hay, std::string_view needle, std::size_t from,
                       std::size_t anchor);
std::size_t AnchorIndex(std::string_view needle);

// The marker cut: the text between the first startMarker in working and the
// next endMarker after it. working loses everything up to that end marker (it
// then begins with the end marker), plus offset further characters. A missing
// start marker leaves working unchanged; a missing end marker leaves it
// beginning right after the start marker. Either gives an empty cut.
std::string TakeBetween(std::string_view startMarker, std::string_view endMarker,
                        std::size_t offset, std::string& working);

}  // namespace util
