// When a pass goes round in circles: the pages a pass sees, as their hits,
// and the page at which it ends.
#include "search/pass_progress.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace search {
namespace {

TEST(PassProgress, EndsAtARepeatedPageOrTheThirdPageWithoutAHit) {
    using Page = std::vector<std::string>;
    const Page a = {"a1", "a2"};
    const Page b = {"b1", "b2"};
    const std::string samePage = "Pass ended: the page had the same hits as the page before.";
    const std::string noHits = "Pass ended: 3 pages in a row without a hit.";
    struct Case {
        const char* what;
        std::vector<Page> pages;
        std::optional<std::size_t> endsAt;  // index of the page after which the pass ends
        std::string reason = "";
    };
    const Case cases[] = {
        {.what = "new hits every page", .pages = {a, b, {"c"}, {"d"}}, .endsAt = std::nullopt},
        {.what = "the same page again", .pages = {a, a, a}, .endsAt = 1, .reason = samePage},
        {.what = "a page like one before the last", .pages = {a, b, a, b}, .endsAt = std::nullopt},
        {.what = "the same hits in another order",
         .pages = {{"x", "y"}, {"y", "x"}},
         .endsAt = std::nullopt},
        {.what = "one hit more", .pages = {{"x"}, {"x", "y"}}, .endsAt = std::nullopt},
        {.what = "pages without hits", .pages = {{}, {}, {}, {}}, .endsAt = 2, .reason = noHits},
        {.what = "a hit starts the count again",
         .pages = {{}, {}, a, {}, {}, b, {}, {}, {}},
         .endsAt = 8,
         .reason = noHits},
        {.what = "empty pages between equal ones are no repetition",
         .pages = {a, {}, a},
         .endsAt = std::nullopt},
    };
    for (const Case& c : cases) {
        PassProgress progress;
        std::optional<std::size_t> endedAt;
        std::string reason;
        for (std::size_t i = 0; i < c.pages.size() && !endedAt; ++i) {
            if (progress.endsAfterPage(c.pages[i], reason)) {
                endedAt = i;
            }
        }
        EXPECT_EQ(endedAt, c.endsAt) << c.what;
        EXPECT_EQ(reason, c.reason) << c.what;
    }
}

TEST(PassProgress, AUrlCountsOnceAPass) {
    PassProgress progress;
    EXPECT_TRUE(progress.firstRequest("http://e/?p=1"));
    EXPECT_TRUE(progress.firstRequest("http://e/?p=2"));
    EXPECT_FALSE(progress.firstRequest("http://e/?p=1"));
    EXPECT_TRUE(PassProgress().firstRequest("http://e/?p=1"));
}

TEST(PassProgress, HitKeysDoNotJoinAcrossTexts) {
    EXPECT_NE(PassProgress::HitKey({"ab", "c"}), PassProgress::HitKey({"a", "bc"}));
    EXPECT_NE(PassProgress::HitKey({"1:a", ""}), PassProgress::HitKey({"1", "a"}));
    EXPECT_EQ(PassProgress::HitKey({"x", "y"}), PassProgress::HitKey({"x", "y"}));
}

}  // namespace
}  // namespace search
