// zorvane-demo-engine --shuffle: each day's list a deterministic reordering
// of the plain one, with some hits in and out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "tools/demo_engine/demo_pages.h"

namespace demo {
namespace {

constexpr std::int64_t kPlaces = 200;

std::vector<std::int64_t> ListOf(std::optional<DemoShuffle> shuffle) {
    DemoQuery query;
    query.shuffle = shuffle;
    std::vector<std::int64_t> hits;
    for (std::int64_t n = 1; n <= kPlaces; ++n) {
        hits.push_back(HitAt(query, n));
    }
    return hits;
}

TEST(DemoShuffle, EachDayIsItsOwnReorderingWithHitsInAndOut) {
    const auto plain = ListOf(std::nullopt);
    const auto day1 = ListOf(DemoShuffle{.seed = 7, .day = 20455});
    const auto day2 = ListOf(DemoShuffle{.seed = 7, .day = 20456});
    for (std::int64_t n = 1; n <= kPlaces; ++n) {
        EXPECT_EQ(plain[static_cast<std::size_t>(n - 1)], n);
    }
    EXPECT_EQ(day1, ListOf(DemoShuffle{.seed = 7, .day = 20455}));
    EXPECT_NE(day1, day2);
    EXPECT_NE(day1, ListOf(DemoShuffle{.seed = 8, .day = 20455}));

    for (const auto& list : {day1, day2}) {
        std::set<std::int64_t> seen;
        std::size_t newcomers = 0;
        std::size_t moved = 0;
        for (std::int64_t n = 1; n <= kPlaces; ++n) {
            const std::int64_t hit = list[static_cast<std::size_t>(n - 1)];
            EXPECT_TRUE(seen.insert(hit).second) << "twice: " << hit;
            if (hit > kPlaces) {
                ++newcomers;
            } else {
                // A plain hit stays within its block of ten places.
                EXPECT_EQ((hit - 1) / 10, (n - 1) / 10) << n;
                moved += hit != n ? 1 : 0;
            }
        }
        // About a tenth of the places are the day's own hits; most of the
        // rest have moved.
        EXPECT_GT(newcomers, 5u);
        EXPECT_LT(newcomers, 40u);
        EXPECT_GT(moved, kPlaces / 2);
    }
}

}  // namespace
}  // namespace demo
