#include "util/take_between.h"

#include <gtest/gtest.h>

#include <random>

namespace util {
namespace {

struct CutCase {
    const char* name;
    std::string start, end;
    std::size_t offset;
    std::string working;
    std::string cut;
    std::string rest;
};

TEST(TakeBetween, CutsAndMovesTheWorkingText) {
    const CutCase cases[] = {
        {.name = "marker in capitals",
         .start = "<li class=g",
         .end = ">",
         .offset = 0,
         .working = "x<LI CLASS=G style=a>y",
         .cut = " style=a",
         .rest = ">y"},
        {.name = "start missing",
         .start = "<td>",
         .end = ">",
         .offset = 0,
         .working = "abc>def",
         .cut = "",
         .rest = "abc>def"},
        {.name = "end missing",
         .start = "<a",
         .end = "</a>",
         .offset = 0,
         .working = "x<a href=1>text",
         .cut = "",
         .rest = " href=1>text"},
        {.name = "end right after start",
         .start = "href=\"",
         .end = "\"",
         .offset = 0,
         .working = "href=\"\"rest",
         .cut = "",
         .rest = "\"rest"},
        {.name = "first start, next end",
         .start = "[",
         .end = "]",
         .offset = 0,
         .working = "a[1]b[2]",
         .cut = "1",
         .rest = "]b[2]"},
        {.name = "end searched after start only",
         .start = "b",
         .end = "a",
         .offset = 0,
         .working = "abca",
         .cut = "c",
         .rest = "a"},
        {.name = "offset skips both sides",
         .start = "<",
         .end = ">",
         .offset = 1,
         .working = "<xab>cd",
         .cut = "ab",
         .rest = "cd"},
        {.name = "offset past the end",
         .start = "<",
         .end = ">",
         .offset = 5,
         .working = "<ab>",
         .cut = "",
         .rest = ""},
        {.name = "high bytes compared exactly",
         .start = "\xC4",
         .end = "\xE4",
         .offset = 0,
         .working = "\xE4\xC4z\xC4\xE4",
         .cut = "z\xC4",
         .rest = "\xE4"},
        {.name = "letters only fold",
         .start = "[",
         .end = "@",
         .offset = 0,
         .working = "[a`@",
         .cut = "a`",
         .rest = "@"},
    };
    for (const CutCase& c : cases) {
        std::string working = c.working;
        EXPECT_EQ(TakeBetween(c.start, c.end, c.offset, working), c.cut) << c.name;
        EXPECT_EQ(working, c.rest) << c.name;
    }
}

TEST(FindNoCase, FoldsAsciiLettersOnly) {
    EXPECT_EQ(FindNoCase("xxHREF=", "href="), 2u);
    EXPECT_EQ(FindNoCase("hReF hReF", "HrEf", 1), 5u);
    EXPECT_EQ(FindNoCase("[", "{"), std::string_view::npos);  // '[' is not 'upper {'
    EXPECT_EQ(FindNoCase("ab", "abc"), std::string_view::npos);
    EXPECT_EQ(FindNoCase("abc", "c", 3), std::string_view::npos);
    EXPECT_EQ(FindNoCase("aAbB", "ab"), 1u);
}

TEST(FindNoCase, AgreesWithALoweredSearch) {
    auto lowered = [](std::string s) {
        for (char& c : s) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return s;
    };
    const std::string needles[] = {"a", ">", "=\"", "<A=", "b=a", "\"<", "ab=\"B"};
    const std::string alphabet = "aAbB<>=\"";
    std::mt19937 rng(42);
    for (int round = 0; round < 20000; ++round) {
        std::string hay;
        const int len = static_cast<int>(rng() % 30);
        for (int i = 0; i < len; ++i) {
            hay.push_back(alphabet[rng() % alphabet.size()]);
        }
        const std::string& needle = needles[rng() % std::size(needles)];
        const std::size_t from = rng() % (hay.size() + 2);
        ASSERT_EQ(FindNoCase(hay, needle, from), lowered(hay).find(lowered(needle), from))
            << hay << " / " << needle << " from " << from;
    }
}

}  // namespace
}  // namespace util
