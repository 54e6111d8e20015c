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
        {.in = "caf\xC3\xA9\x7F\tx", .out = "caf\xC3\xA9x"},
        {.in = "Caf\xE9 cr\xE8me", .out = "Caf crme"},
        {.in = "\xE6\x97\xA5\xE6\x9C\xAC <b>\xF0\x9F\x98\x80</b>",
         .out = "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"},
        {.in = "a\xC2\x85"
               "b\xC2\xA0"
               "c",
         .out = "ab\xC2\xA0"
                "c"},
        {.in = " padded ", .out = " padded "},
        {.in = "<b<b>>", .out = "<b>"},
        {.in = "", .out = ""},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(CleanAnchorText(c.in), c.out) << "input: " << c.in;
    }
}

// The length of the UTF-8 character at `at` when the bytes there decode to a
// code point that needs exactly that many bytes and is no surrogate nor
// beyond U+10FFFF; else 1, the byte alone.
std::size_t Utf8CharacterLength(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, least = 0x10000;
    } else {
        return 1;
    }
    if (text.size() - at < length) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return 1;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    const bool wellFormed = cp >= least && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    return wellFormed ? length : 1;
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
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8CharacterLength(text, at);
        const auto lead = static_cast<unsigned char>(text[at]);
        const bool c1 =
            length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (length > 1 ? !c1 : (lead >= 32 && lead <= 126)) {
            printable.append(text, at, length);
        }
        at += length;
    }
    return ReplaceAll(printable, "  ", " ");
}

TEST(CleanAnchorText, AgreesWithThePlainPassesOnPiecesOfTagsAndEntities) {
    const std::string pieces[] = {"<b>",      "</b>",         "<",
                                  "/",        "b>",           "br>",
                                  "strong>",  "em>",          "&amp;",
                                  "&",        "amp;",         "#39;",
                                  "quot;",    "lt;",          "gt;",
                                  " ",        "\r\n",         "\xE9",
                                  "x",        "\xC3",         "\xA9",
                                  "\xC3\xA9", "\xE2\x80",     "\x9C",
                                  "\xC2\x85", "\xED\xA0\x80", "\xF4\x90\x80\x80"};
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

TEST(KeywordText, FormEncodesEveryByteOutsideTheUnreservedSet) {
    const TextCase cases[] = {
        {.in = "AT&T", .out = "AT%26T"},
        {.in = "c++", .out = "c%2B%2B"},
        {.in = "c#", .out = "c%23"},
        {.in = "100%", .out = "100%25"},
        {.in = "caf\xC3\xA9", .out = "caf%C3%A9"},
        {.in = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", .out = "%E6%97%A5%E6%9C%AC%E8%AA%9E"},
        {.in = "\"used cars\"", .out = "%22used+cars%22"},
        {.in = " two  spaces ", .out = "+two++spaces+"},
        {.in = "it's a/b?x=1", .out = "it%27s+a%2Fb%3Fx%3D1"},
        {.in = "AZaz09-._~", .out = "AZaz09-._~"},
        {.in = std::string("a\0\t\r\n\x7F\xFF", 7), .out = "a%00%09%0D%0A%7F%FF"},
        {.in = "", .out = ""},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(KeywordText(c.in), c.out) << "input: " << c.in;
    }
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
    // A space and a double quote of the keyword pass through
    // BacklinksKeywordText first, so they reach the URL encoded twice; the
    // digits of "%22" are encoded like every other byte outside the short
    // list. The rest of a URL keyword is encoded once.
    EXPECT_EQ(BacklinksKeywordText("a \"b\" http://x/?q=1&r"), "a+%22b%22+http://x/?q=1&r");
    EXPECT_EQ(BacklinksQueryText(BacklinksKeywordText("a \"b")), "http%3A%2F%2Fa%2B%25%32%32b");
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
