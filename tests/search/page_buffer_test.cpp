#include "search/page_buffer.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <vector>

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

// Cuts by Marker objects, by marker texts and the hit searches, mixed in any
// order on one page, must all cut like TakeBetween on a string: a Marker's
// kept answer must never outlive the stretch of page it speaks for.
TEST(PageBuffer, MarkerCutsBehaveLikeTakeBetweenOnAString) {
    std::mt19937 rng(4321);
    // Mostly filler, so that searches also run past the first few dozen
    // bytes, where they change their way of looking.
    const std::string alphabet = "aAbB<>\"xxxxxx";
    const std::string texts[] = {"a", "ab", "<a", "B>", "\"", ">", "aa", "<A b", "<<a"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int len = static_cast<int>(rng() % 400);
        for (int i = 0; i < len; ++i) {
            text.push_back(alphabet[rng() % alphabet.size()]);
        }
        std::string plain = text;
        PageBuffer buffer(text);
        std::vector<PageBuffer::Marker> markers(std::begin(texts), std::end(texts));
        for (int step = 0; step < 12; ++step) {
            const std::size_t s = rng() % std::size(texts);
            const std::size_t e = rng() % std::size(texts);
            std::string_view cut;
            switch (rng() % 3) {
                case 0:
                    cut = buffer.TakeBetween(markers[s], markers[e]);
                    break;
                case 1:
                    cut = buffer.TakeBetween(texts[s], texts[e]);
                    break;
                default: {
                    const std::size_t at =
                        rng() % 2 == 0 ? buffer.findHit(texts[s]) : buffer.findHit(markers[s]);
                    ASSERT_EQ(at != std::string_view::npos,
                              plain.find(texts[s]) != std::string::npos);
                    if (at == std::string_view::npos) {
                        cut = buffer.TakeBetween(texts[s], texts[e]);
                    } else {
                        cut = buffer.TakeBetween(at, markers[s], markers[e]);
                    }
                }
            }
            ASSERT_EQ(cut, TakeBetween(texts[s], texts[e], 0, plain))
                << "text " << text << " round " << round;
            ASSERT_EQ(buffer.rest(), plain) << "text " << text;
        }
    }
}

// A Marker that served one page must look afresh on the next, even in the
// same buffer at the same head.
TEST(PageBuffer, MarkerAnswersHoldOnlyForTheirPage) {
    PageBuffer::Marker start("<a");
    PageBuffer::Marker end(">");
    PageBuffer buffer("<a1>");
    EXPECT_EQ(buffer.TakeBetween(start, end), "1");
    buffer.assign("x<a>");
    EXPECT_EQ(buffer.TakeBetween(start, end), "");
    EXPECT_EQ(buffer.rest(), ">");
    PageBuffer other("<a23>");
    EXPECT_EQ(other.TakeBetween(start, end), "23");
}

// A page full of start markers with no end marker after them: each cut must
// not rescan the rest of the page, or this takes minutes instead of
// milliseconds, and its searches cross the page hundreds of thousands of
// times instead of a few.
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
    EXPECT_LE(buffer.bytesSearched(), 8 * page.size());
}

}  // namespace
}  // namespace search
