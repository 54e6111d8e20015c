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
        {"marker in capitals", "<li class=g", ">", 0, "x<LI CLASS=G style=a>y", " style=a", ">y"},
        {"start missing", "<td>", ">", 0, "abc>def", "", "abc>def"},
        {"end missing", "<a", "</a>", 0, "x<a href=1>text", "", " href=1>text"},
        {"end right after start", "href=\"", "\"", 0, "href=\"\"rest", "", "\"rest"},
        {"first start, next end", "[", "]", 0, "a[1]b[2]", "1", "]b[2]"},
        {"end searched after start only", "b", "a", 0, "abca", "c", "a"},
        {"offset skips both sides", "<", ">", 1, "<xab>cd", "ab", "cd"},
        {"offset past the end", "<", ">", 5, "<ab>", "", ""},
        {"high bytes compared exactly", "\xC4", "\xE4", 0, "\xE4\xC4z\xC4\xE4", "z\xC4", "\xE4"},
        {"letters only fold", "[", "@", 0, "[a`@", "a`", "@"},
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
