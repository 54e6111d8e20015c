#include "search/text_rules.h"

#include <gtest/gtest.h>

#include <random>

namespace search {
namespace {

struct TextCase {
    std::string in;
    std::string out;
};

TEST(CleanAnchorText, RemovesTagsDecodesEntitiesAndKeepsPrintables) {
    const TextCase cases[] = {
        {.in = "<b>Zorvane</b> <em>home</em>", .out = "Zorvane home"},
        {.in = "<B>kept</B><b class=x>kept</b>", .out = "<B>kept</B><b class=x>kept"},
        {.in = "a<br>b<strong>c</strong>", .out = "abc"},
        {.in = "&quot;q&quot; &apos;a&apos; &gt;&lt;", .out = "\"q\" 'a' ><"},
        {.in = "&amp;amp;", .out = "&amp;"},
        {.in = "&amp;#39;", .out = "'"},
        {.in = "&amp;quot;", .out = "&quot;"},
        {.in = "&lt;b&gt;", .out = "<b>"},
        {.in = "&nbsp;&#160;", .out = "&nbsp;&#160;"},
        {.in = "a\r\nb", .out = "ab"},
        {.in = "a \r\n b", .out = "a b"},
        {.in = "a   b", .out = "a  b"},
        {.in = "a    b", .out = "a  b"},
        {.in = "a     b", .out = "a   b"},
        {.in = "caf\xC3\xA9\x7F\tx", .out = "cafx"},
        {.in = " padded ", .out = " padded "},
        {.in = "<b<b>>", .out = "<b>"},
        {.in = "", .out = ""},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(CleanAnchorText(c.in), c.out) << "input: " << c.in;
    }
}

// The clean-up as its rules read, one plain pass after the other, to hold the
// fast version against on texts built from pieces of tags and entities.
std::string CleanAnchorTextByTheRules(const std::string& raw) {
    std::string text = raw;
    for (const char* tag : {"<b>", "</b>", "<br>", "<strong>", "</strong>", "<em>", "</em>"}) {
        text = ReplaceAll(text, tag, "");
    }
    const char* entities[][2] = {{"&quot;", "\""}, {"&apos;", "'"}, {"&gt;", ">"},
                                 {"&lt;", "<"},    {"&amp;", "&"},  {"&#39;", "'"}};
    for (const auto& entity : entities) {
        text = ReplaceAll(text, entity[0], entity[1]);
    }
    std::string printable;
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 32 && static_cast<unsigned char>(c) <= 126) {
            printable.push_back(c);
        }
    }
    return ReplaceAll(printable, "  ", " ");
}

TEST(CleanAnchorText, AgreesWithThePlainPassesOnPiecesOfTagsAndEntities) {
    const std::string pieces[] = {"<b>", "</b>",  "<",    "/",    "b>",   "br>",   "strong>",
                                  "em>", "&amp;", "&",    "amp;", "#39;", "quot;", "lt;",
                                  "gt;", " ",     "\r\n", "\xE9", "x"};
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        std::string raw;
        const int count = static_cast<int>(rng() % 10);
        for (int i = 0; i < count; ++i) {
            raw += pieces[rng() % std::size(pieces)];
        }
        ASSERT_EQ(CleanAnchorText(raw), CleanAnchorTextByTheRules(raw)) << "input: " << raw;
    }
}

TEST(KeywordText, EncodesOnlySpacesAndDoubleQuotes) {
    EXPECT_EQ(KeywordText("red \"fast\" car&x=1#%\xE9"), "red+%22fast%22+car&x=1#%\xE9");
}

TEST(EncodeQueryText, EncodesEveryByteOutsideItsShortList) {
    const TextCase cases[] = {
        {.in = "http://", .out = "http%3A%2F%2F"}, {.in = "a1", .out = "a%31"},
        {.in = "A-Z_a.z*@", .out = "A-Z_a.z*@"},   {.in = "a b+c%", .out = "a+b%2Bc%25"},
        {.in = "\xFF\x01", .out = "%FF%01"},       {.in = std::string("ab\0cd", 5), .out = "ab"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(EncodeQueryText(c.in), c.out) << "input: " << c.in;
    }
}

TEST(BacklinksQueryText, PutsTheEncodedSchemeInFrontOnce) {
    // A space and a double quote of the keyword pass through KeywordText
    // first, so they reach the URL encoded twice; the digits of "%22" are
    // encoded like every other byte outside the short list.
    EXPECT_EQ(BacklinksQueryText(KeywordText("a \"b")), "http%3A%2F%2Fa%2B%25%32%32b");
    EXPECT_EQ(BacklinksQueryText("http://x.example/"), "http%3A%2F%2Fx.example%2F");
    EXPECT_EQ(BacklinksQueryText("HTTP://x"), "http%3A%2F%2FHTTP%3A%2F%2Fx");
}

TEST(DropTrailingSlash, DropsOneSlashOnly) {
    const TextCase cases[] = {{.in = "http://a/", .out = "http://a"},
                              {.in = "http://a//", .out = "http://a/"},
                              {.in = "http://a", .out = "http://a"},
                              {.in = "/", .out = ""},
                              {.in = "", .out = ""}};
    for (const TextCase& c : cases) {
        std::string link = c.in;
        DropTrailingSlash(link);
        EXPECT_EQ(link, c.out);
    }
}

}  // namespace
}  // namespace search
