#include "branding/settings_check.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>

#include "branding/settings_text.h"
#include "util/line_file.h"

namespace branding {

namespace {

// Longest name taken for a marker: every tag the program reads is shorter,
// and a longer run of letters is text, not a tag.
constexpr std::size_t kMaxTagNameLength = 64;

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool IsTagName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxTagNameLength &&
           std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

struct ReaderUse {
    std::string name;  // lower case
    bool closed;
};

}  // namespace

std::vector<SkippedTag> FindSkippedTags(std::string_view plain) {
    const std::string joined = util::JoinLinesCrLf(util::SplitLines(plain));
    std::map<std::size_t, ReaderUse> used;  // by the start marker's place
    std::set<std::string> soughtNames;
    ReadJoinedSettingsText(joined, [&](const std::string& tag, const TagFound& found) {
        soughtNames.insert(Lower(tag));
        if (found.start != std::string_view::npos) {
            used[found.start] = {.name = Lower(tag), .closed = found.closed};
        }
    });
    // The reader looks for every single tag each time; a family only up to
    // its first gap, but every entry of it is a name the program knows.
    std::set<std::string> knownNames = soughtNames;
    for (const char* family : {"welcome", "banner", "link"}) {
        for (int number = 1; number <= kMaxFamilyEntries; ++number) {
            knownNames.insert(family + std::to_string(number));
        }
    }

    std::vector<SkippedTag> skipped;
    std::size_t line = 1;
    std::size_t counted = 0;
    for (std::size_t at = joined.find("<%%"); at != std::string::npos;
         at = joined.find("<%%", at + 3)) {
        const std::size_t nameStart = at + 3;
        const std::size_t close = joined.find("%%>", nameStart);
        if (close == std::string::npos) {
            break;
        }
        const std::string_view name = std::string_view(joined).substr(nameStart, close - nameStart);
        if (!IsTagName(name)) {
            continue;  // an end marker, or text that only looks like one
        }
        for (; counted < at; ++counted) {
            if (joined[counted] == '\n') {
                ++line;
            }
        }
        const std::string lower = Lower(name);
        const auto use = used.find(at);
        std::optional<SkipReason> reason;
        if (use != used.end()) {
            if (!use->second.closed) {
                reason = SkipReason::kUnclosed;
            }
        } else if (knownNames.count(lower) == 0) {
            reason = SkipReason::kUnknown;
        } else if (soughtNames.count(lower) == 0) {
            reason = SkipReason::kAfterGap;
        } else {
            const auto same = std::find_if(used.begin(), used.end(), [&](const auto& entry) {
                return entry.second.name == lower;
            });
            reason = same != used.end() && same->first < at ? SkipReason::kRepeated
                                                            : SkipReason::kOutOfOrder;
        }
        if (reason) {
            skipped.push_back({.marker = std::string(joined.substr(at, close + 3 - at)),
                               .line = line,
                               .reason = *reason});
        }
    }
    return skipped;
}

std::string SkipText(const SkippedTag& tag) {
    switch (tag.reason) {
        case SkipReason::kOutOfOrder:
            return tag.marker + " stands before a tag that is read ahead of it; it is skipped";
        case SkipReason::kUnknown:
            return tag.marker + " is not a tag the program reads";
        case SkipReason::kUnclosed:
            return tag.marker + " has no end marker; its value is read as empty";
        case SkipReason::kAfterGap:
            return tag.marker + " follows a missing or empty entry of its family; it is skipped";
        case SkipReason::kRepeated:
            return tag.marker + " is repeated; only the first is read";
    }
    return tag.marker;
}

}  // namespace branding
