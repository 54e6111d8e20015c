#include "util/utc_clock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace util {
namespace {

// The digits of text[from, from + count) as a number; nothing when any of
// them is not a digit.
std::optional<int> Digits(std::string_view text, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The day at the start of text ("YYYY-MM-DD"), when it is a real one.
std::optional<std::chrono::sys_days> DayAt(std::string_view text) {
    const auto year = Digits(text, 0, 4);
    const auto month = Digits(text, 5, 2);
    const auto day = Digits(text, 8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(*year),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    return std::chrono::sys_days(date);
}

UtcSeconds SecondsOf(std::chrono::sys_days day) {
    return std::chrono::duration_cast<std::chrono::seconds>(day.time_since_epoch()).count();
}

}  // namespace

std::optional<UtcSeconds> ParseUtcDate(std::string_view text) {
    if (text.size() != 10) {
        return std::nullopt;
    }
    const auto day = DayAt(text);
    return day ? std::optional<UtcSeconds>(SecondsOf(*day)) : std::nullopt;
}

std::optional<UtcSeconds> ParseUtcTime(std::string_view text) {
    if (text.size() != 20 || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
        text[19] != 'Z') {
        return std::nullopt;
    }
    const auto day = DayAt(text);
    const auto hour = Digits(text, 11, 2);
    const auto minute = Digits(text, 14, 2);
    const auto second = Digits(text, 17, 2);
    if (!day || !hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    return SecondsOf(*day) + *hour * 3600 + *minute * 60 + *second;
}

std::string FormatUtcTime(UtcSeconds time) {
    const std::chrono::sys_seconds point{std::chrono::seconds(time)};
    const auto day = std::chrono::floor<std::chrono::days>(point);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss clock{point - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

UtcSeconds UtcNow() {
    if (const char* fixed = std::getenv("ZORVANE_NOW"); fixed != nullptr) {
        if (const auto time = ParseUtcTime(fixed)) {
            return *time;
        }
        throw std::runtime_error("ZORVANE_NOW must be a time in UTC such as 2026-01-02T08:00:00Z");
    }
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace util
