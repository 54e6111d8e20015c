#include "search/text_rules.h"

#include <gtest/gtest.h>

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
