// The tags of a brand's settings text that the program will not read, so
// that the brander's tool can warn before a copy ships without them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace branding {

enum class SkipReason {
    kOutOfOrder,  // stands before a tag the reader looks for ahead of it
    kUnknown,     // a name the program does not read
    kUnclosed,    // a start marker without its end marker: the value is empty
    kAfterGap,    // a family entry after a missing or empty one
    kRepeated,    // a second marker of a tag already read
};

struct SkippedTag {
    std::string marker;  // the start marker as written
    std::size_t line;    // 1-based line of the plain text
    SkipReason reason;
};

// Every start marker of the plain text that the reader skips, in text order.
std::vector<SkippedTag> FindSkippedTags(std::string_view plain);

// One line for the brander, without the line number.
std::string SkipText(const SkippedTag& tag);

}  // namespace branding
