// Where a page names its charset (byte order mark, header, <meta>), and the
// conversion to UTF-8 through glibc's iconv, with the labels read the way
// browsers read them.
#include "search/charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "util/ascii.h"
#include "util/scope_guard.h"

namespace search {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\f";

bool IsBlank(char c) {
    return kBlanks.find(c) != std::string_view::npos;
}

// Real labels are short names of letters, digits and a few marks; anything
// else (a stray quote, a NUL, a blank inside) would only confuse iconv_open.
std::string AcceptedLabel(std::string_view label) {
    label = util::Trim(label, kBlanks);
    if (label.empty() || label.size() > kMaxCharsetLabel) {
        return {};
    }
    for (char c : label) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && std::string_view("-_.:+()").find(c) == std::string_view::npos) {
            return {};
        }
    }
    return std::string(label);
}

// A value after "=" at `at`: blanks skipped, then quoted with " or ' up to
// the same quote (or the end), else up to a blank, ";" or one of `stops`.
// `at` is left after the value.
std::string_view ValueAt(std::string_view text, std::size_t& at, std::string_view stops) {
    while (at < text.size() && IsBlank(text[at])) {
        ++at;
    }
    if (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
        const char quote = text[at++];
        const std::size_t end = std::min(text.find(quote, at), text.size());
        const std::string_view value = text.substr(at, end - at);
        at = std::min(end + 1, text.size());
        return value;
    }
    const std::size_t begin = at;
    while (at < text.size() && !IsBlank(text[at]) && text[at] != ';' &&
           stops.find(text[at]) == std::string_view::npos) {
        ++at;
    }
    return text.substr(begin, at - begin);
}

// The charset parameter of a Content-Type value ("text/html; charset=x"),
// also the one a meta's content attribute carries.
std::string CharsetParameter(std::string_view value) {
    std::size_t at = value.find(';');
    while (at != std::string_view::npos && at < value.size()) {
        ++at;  // past the ';'
        const std::size_t nameEnd = std::min(value.find_first_of("=;", at), value.size());
        const std::string_view name = util::Trim(value.substr(at, nameEnd - at), kBlanks);
        at = nameEnd;
        if (at == value.size() || value[at] == ';') {
            continue;
        }
        ++at;  // past the '='
        const std::string_view parameter = ValueAt(value, at, "");
        if (util::EqualsNoCase(name, "charset")) {
            return AcceptedLabel(parameter);
        }
        at = value.find(';', at);
    }
    return {};
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.size() - at >= prefix.size() &&
           util::EqualsNoCase(text.substr(at, prefix.size()), prefix);
}

// The charset a <meta> tag names; `at` is just after "<meta" and is left
// after the tag.
std::string MetaCharset(std::string_view html, std::size_t& at) {
    std::string_view charset;
    std::string_view httpEquiv;
    std::string_view content;
    bool hasCharset = false;
    bool hasContent = false;
    while (at < html.size() && html[at] != '>') {
        if (IsBlank(html[at]) || html[at] == '/') {
            ++at;
            continue;
        }
        const std::size_t nameBegin = at;
        while (at < html.size() && !IsBlank(html[at]) && html[at] != '=' && html[at] != '>' &&
               html[at] != '/') {
            ++at;
        }
        const std::string_view name = html.substr(nameBegin, at - nameBegin);
        while (at < html.size() && IsBlank(html[at])) {
            ++at;
        }
        std::string_view value;
        if (at < html.size() && html[at] == '=') {
            ++at;
            value = ValueAt(html, at, ">");
        }
        // The first of each attribute counts, as in an HTML parser.
        if (util::EqualsNoCase(name, "charset") && !hasCharset) {
            charset = value;
            hasCharset = true;
        } else if (util::EqualsNoCase(name, "http-equiv") && httpEquiv.empty()) {
            httpEquiv = value;
        } else if (util::EqualsNoCase(name, "content") && !hasContent) {
            content = value;
            hasContent = true;
        }
    }
    if (at >= html.size()) {
        return {};  // cut off by the end of what is looked at: its values may be too
    }
    std::string label;
    if (hasCharset) {
        label = AcceptedLabel(charset);
    } else if (hasContent && util::EqualsNoCase(util::Trim(httpEquiv, kBlanks), "content-type")) {
        label = CharsetParameter(content);
    }
    // A <meta> that could be read as ASCII is no UTF-16 page; browsers take
    // such a label for UTF-8, and so the page stays as it came.
    const std::string lower = util::AsciiLower(label);
    if (lower == "utf-16" || lower == "utf-16le" || lower == "utf-16be") {
        return "UTF-8";
    }
    return label;
}

std::string CharsetFromMeta(std::string_view page) {
    const std::string_view html = page.substr(0, std::min(page.size(), kCharsetScanBytes));
    std::size_t at = 0;
    while ((at = html.find('<', at)) != std::string_view::npos) {
        if (StartsWithNoCase(html, at, "<!--")) {
            const std::size_t end = html.find("-->", at + 4);
            if (end == std::string_view::npos) {
                return {};
            }
            at = end + 3;
            continue;
        }
        if (StartsWithNoCase(html, at, "<meta") && at + 5 < html.size() &&
            (IsBlank(html[at + 5]) || html[at + 5] == '/')) {
            at += 5;
            std::string label = MetaCharset(html, at);
            if (!label.empty()) {
                return label;
            }
            continue;
        }
        ++at;
    }
    return {};
}

// The labels that browsers read as another charset than iconv would, and
// the common labels that iconv spells otherwise.
constexpr std::pair<std::string_view, std::string_view> kIconvNames[] = {
    // Latin-1 pages use the curly quotes and the euro sign of windows-1252.
    {"iso-8859-1", "WINDOWS-1252"},
    {"iso8859-1", "WINDOWS-1252"},
    {"iso88591", "WINDOWS-1252"},
    {"iso_8859-1", "WINDOWS-1252"},
    {"iso_8859-1:1987", "WINDOWS-1252"},
    {"latin1", "WINDOWS-1252"},
    {"l1", "WINDOWS-1252"},
    {"cp819", "WINDOWS-1252"},
    {"ibm819", "WINDOWS-1252"},
    {"iso-ir-100", "WINDOWS-1252"},
    {"csisolatin1", "WINDOWS-1252"},
    {"x-cp1252", "WINDOWS-1252"},
    {"iso-8859-9", "WINDOWS-1254"},
    {"iso8859-9", "WINDOWS-1254"},
    {"iso_8859-9", "WINDOWS-1254"},
    {"latin5", "WINDOWS-1254"},
    {"l5", "WINDOWS-1254"},
    {"iso-8859-11", "WINDOWS-874"},
    {"tis-620", "WINDOWS-874"},
    {"dos-874", "WINDOWS-874"},
    // glibc's SHIFT_JIS turns 0x5C into a yen sign; browsers keep the
    // backslash, as Windows' code page 932 does.
    {"shift_jis", "CP932"},
    {"shift-jis", "CP932"},
    {"sjis", "CP932"},
    {"x-sjis", "CP932"},
    {"ms_kanji", "CP932"},
    {"csshiftjis", "CP932"},
    {"windows-31j", "CP932"},
    {"ms932", "CP932"},
    {"euc-kr", "CP949"},
    {"ks_c_5601-1987", "CP949"},
    {"windows-949", "CP949"},
    {"cseuckr", "CP949"},
    {"gb2312", "GB18030"},
    {"gbk", "GB18030"},
    {"x-gbk", "GB18030"},
    {"csgb2312", "GB18030"},
    {"cp936", "GB18030"},
    {"windows-936", "GB18030"},
    {"big5", "BIG5-HKSCS"},
    {"cn-big5", "BIG5-HKSCS"},
    {"x-x-big5", "BIG5-HKSCS"},
    {"csbig5", "BIG5-HKSCS"},
};

// The labels whose bytes are kept as they came: UTF-8 needs nothing, and a
// page that says US-ASCII yet holds other bytes was mostly saved as UTF-8
// under a server's default.
constexpr std::string_view kUnchanged[] = {"utf-8",    "utf8",  "unicode-1-1-utf-8",
                                           "us-ascii", "ascii", "ansi_x3.4-1968"};

// The most UTF-8 bytes one input byte can make: three for a single-byte
// charset or a replaced byte, four for UTF-32. The output buffer never grows
// beyond that (and a charset that maps one byte to several characters is cut
// there), whatever the page holds.
constexpr std::size_t kMaxUtf8BytesPerByte = 4;
constexpr std::size_t kOutputSlack = 64;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The bytes a bad character of the charset is skipped by: in UTF-16 and
// UTF-32 a single byte would put every later character out of step.
std::size_t CodeUnitBytes(std::string_view label) {
    if (label.starts_with("utf-16") || label.starts_with("utf16") || label.starts_with("ucs-2")) {
        return 2;
    }
    if (label.starts_with("utf-32") || label.starts_with("utf32") || label.starts_with("ucs-4")) {
        return 4;
    }
    return 1;
}

}  // namespace

std::string DeclaredCharset(std::string_view contentTypeHeader, std::string_view pageBytes) {
    if (pageBytes.starts_with("\xEF\xBB\xBF")) {
        return "UTF-8";
    }
    if (pageBytes.starts_with("\xFF\xFE")) {
        return "UTF-16LE";
    }
    if (pageBytes.starts_with("\xFE\xFF")) {
        return "UTF-16BE";
    }
    if (std::string label = CharsetParameter(contentTypeHeader); !label.empty()) {
        return label;
    }
    return CharsetFromMeta(pageBytes);
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string label = util::AsciiLower(util::Trim(charset, kBlanks));
    if (label.empty() ||
        std::find(std::begin(kUnchanged), std::end(kUnchanged), label) != std::end(kUnchanged)) {
        return std::string(bytes);
    }
    std::string name = AcceptedLabel(label);
    for (const auto& [alias, iconvName] : kIconvNames) {
        if (alias == label) {
            name = iconvName;
            break;
        }
    }
    if (name.empty()) {
        return std::string(bytes);
    }
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(bytes);
    }
    util::ScopeGuard closeConverter([cd] { iconv_close(cd); });

    const std::size_t limit = bytes.size() * kMaxUtf8BytesPerByte + kOutputSlack;
    std::string out(std::min(limit, bytes.size() + bytes.size() / 2 + kOutputSlack), '\0');
    std::size_t written = 0;
    // iconv's prototype wants char**, but it only reads the input.
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    const auto grow = [&out, limit]() {
        if (out.size() >= limit) {
            return false;
        }
        out.resize(std::min(limit, out.size() * 2));
        return true;
    };
    bool flushing = false;  // the input is done; a stateful charset may still end its state
    for (;;) {
        char* outAt = out.data() + written;
        std::size_t outLeft = out.size() - written;
        const std::size_t result = flushing ? iconv(cd, nullptr, nullptr, &outAt, &outLeft)
                                            : iconv(cd, &in, &inLeft, &outAt, &outLeft);
        const int error = errno;
        written = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing) {
                break;
            }
            flushing = true;
            continue;
        }
        if (error == E2BIG) {
            if (!grow()) {
                break;
            }
            continue;
        }
        if (flushing || (error != EILSEQ && error != EINVAL)) {
            break;
        }
        // A byte the charset has no character for goes as U+FFFD, and the
        // next byte is tried; a sequence cut off by the end of the page ends it.
        if (out.size() - written < kReplacement.size() && !grow()) {
            break;
        }
        out.replace(written, kReplacement.size(), kReplacement);
        written += kReplacement.size();
        if (error == EILSEQ) {
            const std::size_t skipped = std::min(inLeft, CodeUnitBytes(label));
            in += skipped;
            inLeft -= skipped;
        } else {
            inLeft = 0;
        }
    }
    out.resize(written);
    return out;
}

}  // namespace search
