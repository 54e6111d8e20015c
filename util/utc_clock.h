// The wall clock in UTC, as runs are dated. ZORVANE_NOW set to an ISO 8601
// time in UTC ("2026-01-02T08:00:00Z") stands in for it, so that a demo or a
// test can date runs on days of its choosing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace util {

// Seconds since 1970-01-01T00:00:00Z.
using UtcSeconds = std::int64_t;

// "YYYY-MM-DDTHH:MM:SSZ" and nothing else (no fraction, no other zone), with
// a real date and time of day; nothing for any other text.
std::optional<UtcSeconds> ParseUtcTime(std::string_view text);

// "YYYY-MM-DD" alone, as the start of that day in UTC.
std::optional<UtcSeconds> ParseUtcDate(std::string_view text);

// The form ParseUtcTime reads.
std::string FormatUtcTime(UtcSeconds time);

// ZORVANE_NOW when set, else the system clock. Throws std::runtime_error
// naming the variable when it is set to something ParseUtcTime refuses: a
// run dated by a typo would be filed on the wrong day without a word.
UtcSeconds UtcNow();

}  // namespace util
