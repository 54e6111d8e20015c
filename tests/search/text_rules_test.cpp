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
        {"<b>Zorvane</b> <em>home</em>", "Zorvane home"},
        {"<B>kept</B><b class=x>kept</b>", "<B>kept</B><b class=x>kept"},
        {"a<br>b<strong>c</strong>", "abc"},
        {"&quot;q&quot; &apos;a&apos; &gt;&lt;", "\"q\" 'a' ><"},
        {"&amp;amp;", "&amp;"},
        {"&amp;#39;", "'"},
        {"&amp;quot;", "&quot;"},
        {"&lt;b&gt;", "<b>"},
        {"&nbsp;&#160;", "&nbsp;&#160;"},
        {"a\r\nb", "ab"},
        {"a \r\n b", "a b"},
        {"a   b", "a  b"},
        {"a    b", "a  b"},
        {"a     b", "a   b"},
        {"caf\xC3\xA9\x7F\tx", "cafx"},
        {" padded ", " padded "},
        {"<b<b>>", "<b>"},
        {"", ""},
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
        {"http://", "http%3A%2F%2F"}, {"a1", "a%31"},         {"A-Z_a.z*@", "A-Z_a.z*@"},
        {"a b+c%", "a+b%2Bc%25"},     {"\xFF\x01", "%FF%01"}, {std::string("ab\0cd", 5), "ab"},
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
    const TextCase cases[] = {{"http://a/", "http://a"},
                              {"http://a//", "http://a/"},
                              {"http://a", "http://a"},
                              {"/", ""},
                              {"", ""}};
    for (const TextCase& c : cases) {
        std::string link = c.in;
        DropTrailingSlash(link);
        EXPECT_EQ(link, c.out);
    }
}

}  // namespace
}  // namespace search
