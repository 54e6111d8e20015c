// Times in UTC as runs are dated, and ZORVANE_NOW standing in for the clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "util/utc_clock.h"

namespace {

TEST(UtcClock, ReadsOnlyWholeIsoTimesInUtc) {
    const struct {
        const char* text;
        std::optional<util::UtcSeconds> time;
    } cases[] = {
        {.text = "1970-01-01T00:00:00Z", .time = 0},
        {.text = "2026-01-02T08:00:00Z", .time = 1767340800},
        {.text = "2024-02-29T23:59:59Z", .time = 1709251199},
        {.text = "2025-02-29T00:00:00Z", .time = std::nullopt},
        {.text = "2026-13-01T00:00:00Z", .time = std::nullopt},
        {.text = "2026-01-02T24:00:00Z", .time = std::nullopt},
        {.text = "2026-01-02T08:00:00", .time = std::nullopt},
        {.text = "2026-01-02T08:00:00+01:00", .time = std::nullopt},
        {.text = "2026-01-02 08:00:00Z", .time = std::nullopt},
        {.text = "2026-01-0xT08:00:00Z", .time = std::nullopt},
        {.text = "", .time = std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(util::ParseUtcTime(c.text), c.time);
        if (c.time) {
            EXPECT_EQ(util::FormatUtcTime(*c.time), c.text);
        }
    }
    EXPECT_EQ(util::ParseUtcDate("2026-01-02"), 1767312000);
    EXPECT_EQ(util::ParseUtcDate("2026-01-02T"), std::nullopt);
    EXPECT_EQ(util::ParseUtcDate("2026-02-30"), std::nullopt);
}

TEST(UtcClock, ZorvaneNowStandsInForTheClockAndATypoIsNamed) {
    ::setenv("ZORVANE_NOW", "2026-01-02T08:00:00Z", 1);
    EXPECT_EQ(util::UtcNow(), 1767340800);
    ::setenv("ZORVANE_NOW", "2026-01-02", 1);
    try {
        util::UtcNow();
        FAIL() << "a malformed ZORVANE_NOW was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("ZORVANE_NOW"), std::string::npos);
    }
    ::unsetenv("ZORVANE_NOW");
    EXPECT_GT(util::UtcNow(), 1767340800);
}

}  // namespace
