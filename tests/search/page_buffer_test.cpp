#include "search/page_buffer.h"

#include <gtest/gtest.h>

#include <random>

#include "util/take_between.h"

namespace search {
namespace {

using util::TakeBetween;

// The page buffer must cut exactly like TakeBetween on a string, whatever the
// sequence of cuts and tests; random texts over a tiny alphabet make every
// marker occur in many overlapping ways.
TEST(PageBuffer, BehavesLikeTakeBetweenOnAString) {
    std::mt19937 rng(1234);
    const std::string alphabet = "aAbB<>\"";
    const std::string markers[] = {"a", "ab", "<a", "B>", "\"", ">", "aa", "<A b"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int len = static_cast<int>(rng() % 60);
        for (int i = 0; i < len; ++i) {
            text.push_back(alphabet[rng() % alphabet.size()]);
        }
        std::string plain = text;
        PageBuffer buffer(text);
        for (int step = 0; step < 12; ++step) {
            const std::string& s = markers[rng() % std::size(markers)];
            const std::string& e = markers[rng() % std::size(markers)];
            if (rng() % 3 == 0) {
                ASSERT_EQ(buffer.contains(s), plain.find(s) != std::string::npos);
            }
            ASSERT_EQ(buffer.TakeBetween(s, e), TakeBetween(s, e, 0, plain))
                << "text " << text << " round " << round;
            ASSERT_EQ(buffer.rest(), plain) << "text " << text;
        }
    }
}

// A page full of start markers with no end marker after them: each cut must
// not rescan the rest of the page, or this takes minutes instead of
// milliseconds.
TEST(PageBuffer, HostilePageStaysLinear) {
    std::string page;
    for (int i = 0; i < 200000; ++i) {
        page += "<LI CLASS=G x";
    }
    page += "<li class=g";
    PageBuffer buffer(page);
    std::size_t cuts = 0;
    while (buffer.contains("<li class=g")) {
        buffer.TakeBetween("<li class=g", ">");
        buffer.TakeBetween(">", "href=\"");
        ++cuts;
    }
    EXPECT_EQ(cuts, 200001u);
}

}  // namespace
}  // namespace search
