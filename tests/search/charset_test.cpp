// Where a page's charset is found, and its bytes made into UTF-8.
#include "search/charset.h"

#include <gtest/gtest.h>

#include <string>

namespace search {
namespace {

struct DeclaredCase {
    const char* name;
    std::string header = {};
    std::string page = {};
    std::string charset;
};

TEST(DeclaredCharset, ByteOrderMarkThenHeaderThenMeta) {
    const std::string metaLatin = "<html><head><meta charset=iso-8859-1></head>";
    const DeclaredCase cases[] = {
        {.name = "nothing", .header = "text/html", .page = "<html>", .charset = ""},
        {.name = "empty", .header = "", .page = "", .charset = ""},
        {.name = "bom over header and meta",
         .header = "text/html; charset=iso-8859-1",
         .page = "\xEF\xBB\xBF" + metaLatin,
         .charset = "UTF-8"},
        {.name = "utf-16 bom",
         .header = "",
         .page = std::string("\xFF\xFE<\0h\0", 6),
         .charset = "UTF-16LE"},
        {.name = "header over meta",
         .header = "text/html; charset=windows-1251",
         .page = metaLatin,
         .charset = "windows-1251"},
        {.name = "meta alone", .header = "text/html", .page = metaLatin, .charset = "iso-8859-1"},
        // The header's parameter in every spelling servers send.
        {.name = "quoted", .header = "text/html; charset=\"UTF-8\"", .charset = "UTF-8"},
        {.name = "single quotes", .header = "text/html;charset='latin1'", .charset = "latin1"},
        {.name = "case and blanks",
         .header = "TEXT/HTML ;  CharSet = Shift_JIS ; q=1",
         .charset = "Shift_JIS"},
        {.name = "later parameter",
         .header = "text/html; a=\"x;y\"; charset=koi8-r",
         .charset = "koi8-r"},
        {.name = "charset in another name", .header = "text/html; xcharset=koi8-r", .charset = ""},
        {.name = "no parameters", .header = "text/html charset=koi8-r", .charset = ""},
        {.name = "empty value", .header = "text/html; charset=", .charset = ""},
        {.name = "empty header value falls to meta",
         .header = "text/html; charset=\"\"",
         .page = metaLatin,
         .charset = "iso-8859-1"},
        {.name = "no label", .header = "text/html; charset=\"a b\"", .charset = ""},
        {.name = "overlong label",
         .header = "text/html; charset=" + std::string(65, 'a'),
         .charset = ""},
    };
    for (const DeclaredCase& c : cases) {
        EXPECT_EQ(DeclaredCharset(c.header, c.page), c.charset) << c.name;
    }
}

TEST(DeclaredCharset, MetaInEveryQuotingAndOrder) {
    const DeclaredCase cases[] = {
        {.name = "double", .page = "<meta charset=\"windows-1252\">", .charset = "windows-1252"},
        {.name = "single", .page = "<META CHARSET='EUC-JP'/>", .charset = "EUC-JP"},
        {.name = "blanks", .page = "<meta\n  charset = utf-8 >", .charset = "utf-8"},
        {.name = "http-equiv",
         .page = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-15\">",
         .charset = "iso-8859-15"},
        {.name = "content first, odd case",
         .page = "<Meta CONTENT='text/html;CHARSET=koi8-r' HTTP-EQUIV=content-type>",
         .charset = "koi8-r"},
        {.name = "quoted inside content",
         .page = "<meta http-equiv=Content-Type content='text/html; charset=\"gbk\"'>",
         .charset = "gbk"},
        {.name = "content without http-equiv",
         .page = "<meta name=x content=\"text/html; charset=koi8-r\">",
         .charset = ""},
        {.name = "other metas first",
         .page = "<meta name=description content=\"a > b\"><meta charset=big5>",
         .charset = "big5"},
        {.name = "not a meta",
         .page = "<metadata charset=koi8-r><meta charset=big5>",
         .charset = "big5"},
        {.name = "commented out",
         .page = "<!-- <meta charset=koi8-r> --><meta charset=big5>",
         .charset = "big5"},
        {.name = "unterminated comment", .page = "<!-- <meta charset=koi8-r>", .charset = ""},
        {.name = "utf-16 in a meta", .page = "<meta charset=utf-16le>", .charset = "UTF-8"},
        // A tag that the page or the first 4096 bytes cut off names nothing.
        {.name = "unclosed quote", .page = "<meta charset=\"koi8-r>", .charset = ""},
        {.name = "cut after the value", .page = "<meta charset=koi8-r", .charset = ""},
        {.name = "beyond the first 4096 bytes",
         .page = std::string(4096, ' ') + "<meta charset=koi8-r>",
         .charset = ""},
        {.name = "ending at the limit",
         .page = std::string(4096 - 21, ' ') + "<meta charset=koi8-r>",
         .charset = "koi8-r"},
        {.name = "crossing the limit",
         .page = std::string(4096 - 20, ' ') + "<meta charset=koi8-r>",
         .charset = ""},
    };
    for (const DeclaredCase& c : cases) {
        EXPECT_EQ(DeclaredCharset("text/html", c.page), c.charset) << c.name;
    }
}

struct ConversionCase {
    const char* name;
    std::string bytes;
    std::string charset;
    std::string utf8;
};

TEST(ToUtf8, ConvertsWithLabelsReadAsBrowsersReadThem) {
    const std::string mixed = "caf\xC3\xA9 \xE9\x80\xFF";  // UTF-8 and stray bytes
    const ConversionCase cases[] = {
        {.name = "latin-1", .bytes = "Caf\xE9", .charset = "ISO-8859-1", .utf8 = "Caf\xC3\xA9"},
        {.name = "latin1 label is windows-1252",
         .bytes = "\x93q\x94 \x80 1\x96"
                  "2",
         .charset = "latin1",
         .utf8 = "\xE2\x80\x9Cq\xE2\x80\x9D \xE2\x82\xAC 1\xE2\x80\x93"
                 "2"},
        {.name = "windows-1252",
         .bytes = "\x93"
                  "Caf\xE9\x94",
         .charset = "Windows-1252",
         .utf8 = "\xE2\x80\x9C"
                 "Caf\xC3\xA9\xE2\x80\x9D"},
        {.name = "shift_jis keeps the backslash",
         .bytes = "\x93\xFA\x96{\\",
         .charset = "Shift_JIS",
         .utf8 = "\xE6\x97\xA5\xE6\x9C\xAC\\"},
        {.name = "euc-jp",
         .bytes = "\xC6\xFC\xCB\xDC",
         .charset = "EUC-JP",
         .utf8 = "\xE6\x97\xA5\xE6\x9C\xAC"},
        {.name = "koi8-r",
         .bytes = "\xF0\xD2\xC9",
         .charset = "koi8-r",
         .utf8 = "\xD0\x9F\xD1\x80\xD0\xB8"},
        {.name = "utf-16le",
         .bytes = std::string("\xFF\xFEh\0\xE9\0", 6),
         .charset = "UTF-16LE",
         .utf8 = "\xEF\xBB\xBFh\xC3\xA9"},
        // Bytes that are no character of the charset become U+FFFD, one
        // each, and the rest still comes.
        {.name = "undefined in windows-1252",
         .bytes = "a\x81"
                  "b",
         .charset = "windows-1252",
         .utf8 = "a\xEF\xBF\xBD"
                 "b"},
        {.name = "invalid shift_jis",
         .bytes = "\x81\x20x",
         .charset = "shift_jis",
         .utf8 = "\xEF\xBF\xBD x"},
        {.name = "cut at the end",
         .bytes = "x\x93",
         .charset = "shift_jis",
         .utf8 = "x\xEF\xBF\xBD"},
        {.name = "NUL kept",
         .bytes = std::string("a\0\xE9", 3),
         .charset = "latin1",
         .utf8 = std::string("a\0\xC3\xA9", 4)},
        // Left as they came.
        {.name = "undeclared", .bytes = mixed, .charset = "", .utf8 = mixed},
        {.name = "utf-8", .bytes = mixed, .charset = "UTF-8", .utf8 = mixed},
        {.name = "utf8", .bytes = mixed, .charset = " utf8 ", .utf8 = mixed},
        {.name = "us-ascii", .bytes = mixed, .charset = "US-ASCII", .utf8 = mixed},
        {.name = "unknown", .bytes = mixed, .charset = "x-no-such-charset", .utf8 = mixed},
        {.name = "no label", .bytes = mixed, .charset = "utf 8\"", .utf8 = mixed},
        {.name = "empty page", .bytes = "", .charset = "latin1", .utf8 = ""},
    };
    for (const ConversionCase& c : cases) {
        EXPECT_EQ(ToUtf8(c.bytes, c.charset), c.utf8) << c.name;
    }
}

// A page of nothing but bytes that turn into three UTF-8 bytes each, and one
// of nothing but invalid bytes: the output grows past its first guess and
// the conversion ends.
TEST(ToUtf8, GrowsAsNeededAndEndsOnAnyInput) {
    const std::string quotes(100000, '\x93');
    const std::string converted = ToUtf8(quotes, "windows-1252");
    ASSERT_EQ(converted.size(), 300000u);
    EXPECT_EQ(converted.substr(299997), "\xE2\x80\x9C");

    const std::string invalid(100000, '\x81');
    const std::string replaced = ToUtf8(invalid, "windows-1252");
    ASSERT_EQ(replaced.size(), 300000u);
    EXPECT_EQ(replaced.substr(0, 3), "\xEF\xBF\xBD");

    // A lone surrogate is one bad code unit; the characters after it keep step.
    EXPECT_EQ(ToUtf8(std::string("\xD8\x3D\0A\xDC\0\0B", 8), "UTF-16BE"),
              "\xEF\xBF\xBD"
              "A\xEF\xBF\xBD"
              "B");
}

}  // namespace
}  // namespace search
