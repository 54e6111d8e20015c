// Where a page's encoding is found, and its bytes made into UTF-8.
#include "search/charset.h"

#include <gtest/gtest.h>

#include <string>

#include "search/encoding_labels.h"

namespace search {
namespace {

TEST(EncodingForLabel, EveryKnownLabelInAnySpellingAndNothingElse) {
    const struct {
        const char* label;
        const char* encoding;
    } cases[] = {
        {"latin1", "windows-1252"},
        {"iso-8859-1", "windows-1252"},
        {"ISO_8859-1:1987", "windows-1252"},
        {"us-ascii", "windows-1252"},
        {"ascii", "windows-1252"},
        {"cp1252", "windows-1252"},
        {"windows-1252", "windows-1252"},
        {"utf8", "UTF-8"},
        {"unicode-1-1-utf-8", "UTF-8"},
        {"x-sjis", "Shift_JIS"},
        {"Shift_JIS", "Shift_JIS"},
        {"gb2312", "GBK"},
        {"gbk", "GBK"},
        {"x-gbk", "GBK"},
        {"gb18030", "gb18030"},
        {"euc-kr", "EUC-KR"},
        {"windows-949", "EUC-KR"},
        {"koi8-r", "KOI8-R"},
        {"koi8-ru", "KOI8-U"},
        {"windows-1251", "windows-1251"},
        {"iso-8859-9", "windows-1254"},
        {"tis-620", "windows-874"},
        {"big5-hkscs", "Big5"},
        {"cseucpkdfmtjapanese", "EUC-JP"},
        {"iso-2022-kr", "replacement"},
        {"utf-16", "UTF-16LE"},
        {"unicodefffe", "UTF-16BE"},
        {"x-user-defined", "x-user-defined"},
        // Any letter case, ASCII whitespace around.
        {"UTF-8", "UTF-8"},
        {" \t\r\n\fLaTiN1 \n", "windows-1252"},
        // No label: unknown, blanks inside, other whitespace, near misses.
        {"", ""},
        {"  ", ""},
        {"utf-32", ""},
        {"x-no-such-charset", ""},
        {"utf 8", ""},
        {"\vutf-8", ""},
        {"utf-8\"", ""},
        {"latin", ""},
        {"latin1x", ""},
        {"0", ""},
        {"~", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodingForLabel(c.label), c.encoding) << c.label;
    }
}

struct DeclaredCase {
    const char* name;
    std::string header = {};
    std::string page = {};
    std::string charset;
};

TEST(DeclaredCharset, ByteOrderMarkThenKnownHeaderLabelThenMeta) {
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
        {.name = "utf-16be bom over header",
         .header = "text/html; charset=utf-8",
         .page = std::string("\xFE\xFF\0<", 4),
         .charset = "UTF-16BE"},
        {.name = "header over meta",
         .header = "text/html; charset=windows-1251",
         .page = metaLatin,
         .charset = "windows-1251"},
        {.name = "meta alone", .header = "text/html", .page = metaLatin, .charset = "windows-1252"},
        // The header's parameter in every spelling servers send.
        {.name = "quoted", .header = "text/html; charset=\"UTF-8\"", .charset = "UTF-8"},
        {.name = "single quotes",
         .header = "text/html;charset='latin1'",
         .charset = "windows-1252"},
        {.name = "case and blanks",
         .header = "TEXT/HTML ;  CharSet = Shift_JIS ; q=1",
         .charset = "Shift_JIS"},
        {.name = "later parameter",
         .header = "text/html; a=\"x;y\"; charset=koi8-r",
         .charset = "KOI8-R"},
        {.name = "us-ascii", .header = "text/html; charset=US-ASCII", .charset = "windows-1252"},
        {.name = "x-user-defined obeyed in the header",
         .header = "text/html; charset=x-user-defined",
         .charset = "x-user-defined"},
        {.name = "utf-16 obeyed in the header",
         .header = "text/html; charset=utf-16",
         .charset = "UTF-16LE"},
        {.name = "charset in another name", .header = "text/html; xcharset=koi8-r", .charset = ""},
        {.name = "no parameters", .header = "text/html charset=koi8-r", .charset = ""},
        {.name = "empty value", .header = "text/html; charset=", .charset = ""},
        {.name = "empty header value falls to meta",
         .header = "text/html; charset=\"\"",
         .page = metaLatin,
         .charset = "windows-1252"},
        // A label no browser knows is passed over, not obeyed.
        {.name = "unknown header label falls to meta",
         .header = "text/html; charset=x-no-such-charset",
         .page = metaLatin,
         .charset = "windows-1252"},
        {.name = "unknown header label, no meta",
         .header = "text/html; charset=utf-32",
         .page = "<html>",
         .charset = ""},
        {.name = "no label", .header = "text/html; charset=\"a b\"", .charset = ""},
        {.name = "overlong label",
         .header = "text/html; charset=" + std::string(65, 'a'),
         .charset = ""},
    };
    for (const DeclaredCase& c : cases) {
        EXPECT_EQ(DeclaredCharset(c.header, c.page), c.charset) << c.name;
    }
}

TEST(DeclaredCharset, MetaPrescanAsBrowsersDoIt) {
    const DeclaredCase cases[] = {
        {.name = "double", .page = "<meta charset=\"windows-1252\">", .charset = "windows-1252"},
        {.name = "single", .page = "<META CHARSET='EUC-JP'/>", .charset = "EUC-JP"},
        {.name = "blanks", .page = "<meta\n  charset = utf-8 >", .charset = "UTF-8"},
        {.name = "http-equiv",
         .page = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-15\">",
         .charset = "ISO-8859-15"},
        {.name = "content first, odd case",
         .page = "<Meta CONTENT='text/html;CHARSET=koi8-r' HTTP-EQUIV=content-type>",
         .charset = "KOI8-R"},
        {.name = "quoted inside content",
         .page = "<meta http-equiv=Content-Type content='text/html; charset=\"gbk\"'>",
         .charset = "GBK"},
        {.name = "charset = in content",
         .page = "<meta http-equiv=content-type content='text/html; charsetx; charset = big5 ;'>",
         .charset = "Big5"},
        {.name = "quote left open in content",
         .page = "<meta http-equiv=content-type content='charset=\"big5'><meta charset=koi8-r>",
         .charset = "KOI8-R"},
        {.name = "content without http-equiv",
         .page = "<meta name=x content=\"text/html; charset=koi8-r\">",
         .charset = ""},
        {.name = "other metas first",
         .page = "<meta name=description content=\"a > b\"><meta charset=big5>",
         .charset = "Big5"},
        {.name = "not a meta",
         .page = "<metadata charset=koi8-r><meta charset=big5>",
         .charset = "Big5"},
        {.name = "meta in another tag's attribute",
         .page = "<div title='<meta charset=koi8-r>'><meta charset=big5>",
         .charset = "Big5"},
        {.name = "meta in an end tag", .page = "</p <meta charset=koi8-r>>", .charset = ""},
        {.name = "meta in a doctype",
         .page = "<!doctype html <meta charset=koi8-r>><meta charset=big5>",
         .charset = "Big5"},
        {.name = "commented out",
         .page = "<!-- <meta charset=koi8-r> --><meta charset=big5>",
         .charset = "Big5"},
        {.name = "comment holding a fake meta and a '>'",
         .page = "<!-- x > <meta charset=koi8-r> -- > --><meta charset=big5>",
         .charset = "Big5"},
        {.name = "shortest comment", .page = "<!--><meta charset=big5>", .charset = "Big5"},
        {.name = "unterminated comment", .page = "<!-- <meta charset=koi8-r>", .charset = ""},
        {.name = "first of an attribute counts",
         .page = "<meta charset=koi8-r CHARSET=big5>",
         .charset = "KOI8-R"},
        {.name = "unknown label, the next meta counts",
         .page = "<meta charset=x-no-such-charset><meta charset=big5>",
         .charset = "Big5"},
        {.name = "utf-16 in a meta", .page = "<meta charset=utf-16le>", .charset = "UTF-8"},
        {.name = "utf-16 by http-equiv",
         .page = "<meta http-equiv=content-type content='text/html; charset=utf-16'>",
         .charset = "UTF-8"},
        {.name = "x-user-defined in a meta",
         .page = "<meta charset=x-user-defined>",
         .charset = "windows-1252"},
        // A tag that the page or the first 1024 bytes cut off names nothing.
        {.name = "unclosed quote", .page = "<meta charset=\"koi8-r>", .charset = ""},
        {.name = "cut after the value", .page = "<meta charset=koi8-r", .charset = ""},
        {.name = "beyond the first 1024 bytes",
         .page = std::string(1024, ' ') + "<meta charset=koi8-r>",
         .charset = ""},
        {.name = "ending at the limit",
         .page = std::string(1024 - 21, ' ') + "<meta charset=koi8-r>",
         .charset = "KOI8-R"},
        {.name = "crossing the limit",
         .page = std::string(1024 - 20, ' ') + "<meta charset=koi8-r>",
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
        {.name = "iso-8859-1 is windows-1252",
         .bytes = "\x93q\x94",
         .charset = "iso-8859-1",
         .utf8 = "\xE2\x80\x9Cq\xE2\x80\x9D"},
        {.name = "us-ascii is windows-1252",
         .bytes = mixed,
         .charset = "US-ASCII",
         .utf8 = "caf\xC3\x83\xC2\xA9 \xC3\xA9\xE2\x82\xAC\xC3\xBF"},
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
        {.name = "x-user-defined",
         .bytes = "a\x80\xFF",
         .charset = "x-user-defined",
         .utf8 = "a\xEF\x9E\x80\xEF\x9F\xBF"},
        {.name = "replacement",
         .bytes = "\x1B$)Cabc",
         .charset = "iso-2022-kr",
         .utf8 = "\xEF\xBF\xBD"},
        {.name = "replacement of nothing", .bytes = "", .charset = "replacement", .utf8 = ""},
        {.name = "ucs-2 is utf-16le",
         .bytes = std::string("h\0\xE9\0", 4),
         .charset = "ucs-2",
         .utf8 = "h\xC3\xA9"},
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
        {.name = "utf-32 is no label browsers know",
         .bytes = mixed,
         .charset = "utf-32",
         .utf8 = mixed},
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
