// Where a page names its encoding (byte order mark, header, <meta>), read
// the way browsers read it, and the conversion to UTF-8 through glibc's iconv.
#include "search/charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "search/encoding_labels.h"
#include "util/ascii.h"
#include "util/scope_guard.h"

namespace search {
namespace {

// ASCII whitespace as HTML and the Encoding Standard count it.
constexpr std::string_view kBlanks = " \t\r\n\f";

bool IsBlank(char c) {
    return kBlanks.find(c) != std::string_view::npos;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A value after "=" at `at`: blanks skipped, then quoted with " or ' up to
// the same quote (or the end), else up to a blank or ";". `at` is left after
// the value.
std::string_view ValueAt(std::string_view text, std::size_t& at) {
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
    while (at < text.size() && !IsBlank(text[at]) && text[at] != ';') {
        ++at;
    }
    return text.substr(begin, at - begin);
}

// The charset parameter of a Content-Type value ("text/html; charset=x"),
// as written.
std::string_view CharsetParameter(std::string_view value) {
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
        const std::string_view parameter = ValueAt(value, at);
        if (util::EqualsNoCase(name, "charset")) {
            return parameter;
        }
        at = value.find(';', at);
    }
    return {};
}

// The encoding a <meta content="text/html; charset=..."> names: the first
// "charset" followed by "=" counts; a quote left open names nothing. The
// value comes lowered by the prescan.
std::string_view EncodingInContent(std::string_view content) {
    std::size_t at = 0;
    while ((at = content.find("charset", at)) != std::string_view::npos) {
        at += std::string_view("charset").size();
        while (at < content.size() && IsBlank(content[at])) {
            ++at;
        }
        if (at == content.size() || content[at] != '=') {
            continue;
        }
        ++at;
        while (at < content.size() && IsBlank(content[at])) {
            ++at;
        }
        if (at == content.size()) {
            return {};
        }
        if (content[at] == '"' || content[at] == '\'') {
            const std::size_t end = content.find(content[at], at + 1);
            if (end == std::string_view::npos) {
                return {};
            }
            return EncodingForLabel(content.substr(at + 1, end - at - 1));
        }
        const std::size_t end = std::min(content.find_first_of(" \t\r\n\f;", at), content.size());
        return EncodingForLabel(content.substr(at, end - at));
    }
    return {};
}

struct Attribute {
    std::string name;
    std::string value;
};

// The HTML prescan over the first kCharsetScanBytes of a page: it walks
// tags the way a browser does before it parses, so that a <meta> in a
// comment or in another tag's attribute value names nothing. Whatever the
// end of the scanned bytes cuts off names nothing either.
class Prescan {
public:
    explicit Prescan(std::string_view page)
        : html_(page.substr(0, std::min(page.size(), kCharsetScanBytes))) {}

    std::string_view encoding() {
        while (at_ < html_.size()) {
            const std::string_view rest = html_.substr(at_);
            if (rest.starts_with("<!--")) {
                // "<!-->" is a whole comment: its dashes may end it.
                const std::size_t end = html_.find("-->", at_ + 2);
                if (end == std::string_view::npos) {
                    return {};
                }
                at_ = end + 3;
            } else if (rest.size() > 5 && util::EqualsNoCase(rest.substr(0, 5), "<meta") &&
                       (IsBlank(rest[5]) || rest[5] == '/')) {
                at_ += 6;
                const std::string_view found = metaEncoding();
                if (ended_) {
                    return {};
                }
                if (!found.empty()) {
                    return found;
                }
                ++at_;  // past the '>'
            } else if (rest.size() > 1 && rest[0] == '<' &&
                       (IsAsciiLetter(rest[1]) ||
                        (rest.size() > 2 && rest[1] == '/' && IsAsciiLetter(rest[2])))) {
                at_ = html_.find_first_of(" \t\r\n\f>", at_);
                if (at_ == std::string_view::npos) {
                    return {};
                }
                while (attribute()) {
                }
                if (ended_) {
                    return {};
                }
                ++at_;  // past the '>'
            } else if (rest.starts_with("<!") || rest.starts_with("</") || rest.starts_with("<?")) {
                const std::size_t end = html_.find('>', at_ + 1);
                if (end == std::string_view::npos) {
                    return {};
                }
                at_ = end + 1;
            } else {
                ++at_;
            }
        }
        return {};
    }

private:
    // The encoding the attributes of a <meta> name, "" when they name none
    // or name it without the pragma that makes content count; at_ is left
    // on the tag's '>'.
    std::string_view metaEncoding() {
        std::vector<std::string> seen;
        bool gotPragma = false;
        std::optional<bool> needPragma;
        std::optional<std::string_view> charset;  // "" for a label that names nothing
        while (std::optional<Attribute> a = attribute()) {
            // The first of each attribute counts, as in an HTML parser.
            if (std::ranges::find(seen, a->name) != seen.end()) {
                continue;
            }
            seen.push_back(a->name);
            if (a->name == "http-equiv") {
                gotPragma = gotPragma || a->value == "content-type";
            } else if (a->name == "content") {
                const std::string_view inContent = EncodingInContent(a->value);
                if (!inContent.empty() && !charset) {
                    charset = inContent;
                    needPragma = true;
                }
            } else if (a->name == "charset") {
                charset = EncodingForLabel(a->value);
                needPragma = false;
            }
        }
        if (ended_ || !needPragma || (*needPragma && !gotPragma) || !charset) {
            return {};
        }
        // A <meta> that could be read as ASCII is no UTF-16 page.
        if (*charset == "UTF-16LE" || *charset == "UTF-16BE") {
            return "UTF-8";
        }
        if (*charset == "x-user-defined") {
            return "windows-1252";
        }
        return *charset;
    }

    // The next attribute of a tag, its name and value lowered; none at the
    // tag's '>' (at_ is left on it) or when the scanned bytes end first
    // (ended_ is set).
    std::optional<Attribute> attribute() {
        while (at_ < html_.size() && (IsBlank(html_[at_]) || html_[at_] == '/')) {
            ++at_;
        }
        if (!more() || html_[at_] == '>') {
            return std::nullopt;
        }
        Attribute a;
        while (true) {
            if (!more()) {
                return std::nullopt;
            }
            const char c = html_[at_];
            if (c == '=' && !a.name.empty()) {
                ++at_;
                return valued(std::move(a));
            }
            if (IsBlank(c)) {
                break;
            }
            if (c == '/' || c == '>') {
                return a;
            }
            a.name += util::AsciiLower(c);
            ++at_;
        }
        while (at_ < html_.size() && IsBlank(html_[at_])) {
            ++at_;
        }
        if (!more()) {
            return std::nullopt;
        }
        if (html_[at_] != '=') {
            return a;
        }
        ++at_;
        return valued(std::move(a));
    }

    // The attribute with the value that starts at at_ (after its '=').
    std::optional<Attribute> valued(Attribute a) {
        while (at_ < html_.size() && IsBlank(html_[at_])) {
            ++at_;
        }
        if (!more()) {
            return std::nullopt;
        }
        if (html_[at_] == '"' || html_[at_] == '\'') {
            const char quote = html_[at_];
            const std::size_t end = html_.find(quote, at_ + 1);
            if (end == std::string_view::npos) {
                ended_ = true;
                return std::nullopt;
            }
            a.value = util::AsciiLower(html_.substr(at_ + 1, end - at_ - 1));
            at_ = end + 1;
            return a;
        }
        if (html_[at_] == '>') {
            return a;
        }
        const std::size_t end = html_.find_first_of(" \t\r\n\f>", at_ + 1);
        if (end == std::string_view::npos) {
            ended_ = true;
            return std::nullopt;
        }
        a.value = util::AsciiLower(html_.substr(at_, end - at_));
        at_ = end;
        return a;
    }

    bool more() {
        ended_ = ended_ || at_ >= html_.size();
        return !ended_;
    }

    std::string_view html_;
    std::size_t at_ = 0;
    bool ended_ = false;
};

// iconv's name for each encoding it converts, where its own reading is the
// browsers' one.
using IconvName = std::pair<std::string_view, std::string_view>;  // encoding, iconv's name

constexpr IconvName kIconvNames[] = {
    {"Big5", "BIG5-HKSCS"},
    {"EUC-JP", "EUC-JP"},
    // Windows' Korean code page, of which EUC-KR is the part the label names.
    {"EUC-KR", "CP949"},
    // The GBK decoder of browsers is their gb18030 one.
    {"GBK", "GB18030"},
    {"IBM866", "IBM866"},
    {"ISO-2022-JP", "ISO-2022-JP"},
    {"ISO-8859-10", "ISO-8859-10"},
    {"ISO-8859-13", "ISO-8859-13"},
    {"ISO-8859-14", "ISO-8859-14"},
    {"ISO-8859-15", "ISO-8859-15"},
    {"ISO-8859-16", "ISO-8859-16"},
    {"ISO-8859-2", "ISO-8859-2"},
    {"ISO-8859-3", "ISO-8859-3"},
    {"ISO-8859-4", "ISO-8859-4"},
    {"ISO-8859-5", "ISO-8859-5"},
    {"ISO-8859-6", "ISO-8859-6"},
    {"ISO-8859-7", "ISO-8859-7"},
    {"ISO-8859-8", "ISO-8859-8"},
    // Logical order changes the display, not the characters.
    {"ISO-8859-8-I", "ISO-8859-8"},
    {"KOI8-R", "KOI8-R"},
    // Browsers' KOI8-U also has the Belarusian letters of KOI8-RU.
    {"KOI8-U", "KOI8-RU"},
    // glibc's SHIFT_JIS turns 0x5C into a yen sign; browsers keep the
    // backslash, as Windows' code page 932 does.
    {"Shift_JIS", "CP932"},
    {"UTF-16BE", "UTF-16BE"},
    {"UTF-16LE", "UTF-16LE"},
    {"gb18030", "GB18030"},
    {"macintosh", "MACINTOSH"},
    {"windows-1250", "WINDOWS-1250"},
    {"windows-1251", "WINDOWS-1251"},
    {"windows-1252", "WINDOWS-1252"},
    {"windows-1253", "WINDOWS-1253"},
    {"windows-1254", "WINDOWS-1254"},
    {"windows-1255", "WINDOWS-1255"},
    {"windows-1256", "WINDOWS-1256"},
    {"windows-1257", "WINDOWS-1257"},
    {"windows-1258", "WINDOWS-1258"},
    {"windows-874", "WINDOWS-874"},
    {"x-mac-cyrillic", "MAC-CYRILLIC"},
};

// The most UTF-8 bytes one input byte can make: three for a single-byte
// encoding or a replaced byte, two for a Big5 pair that is two characters.
// The output buffer never grows beyond four, whatever the page holds.
constexpr std::size_t kMaxUtf8BytesPerByte = 4;
constexpr std::size_t kOutputSlack = 64;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// x-user-defined keeps ASCII and puts every other byte in the private use
// area at U+F780 + (byte - 0x80), which iconv does not know.
std::string UserDefinedToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
            continue;
        }
        const unsigned codePoint = 0xF780U + (byte - 0x80U);
        out += static_cast<char>(0xE0U | (codePoint >> 12));
        out += static_cast<char>(0x80U | ((codePoint >> 6) & 0x3FU));
        out += static_cast<char>(0x80U | (codePoint & 0x3FU));
    }
    return out;
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
    if (const std::string_view known = EncodingForLabel(CharsetParameter(contentTypeHeader));
        !known.empty()) {
        return std::string(known);
    }
    return std::string(Prescan(pageBytes).encoding());
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string_view encoding = EncodingForLabel(charset);
    if (encoding.empty() || encoding == "UTF-8") {
        return std::string(bytes);
    }
    if (encoding == "replacement") {
        // Encodings browsers refuse to read, so that no script hides in them.
        return bytes.empty() ? std::string() : std::string(kReplacement);
    }
    if (encoding == "x-user-defined") {
        return UserDefinedToUtf8(bytes);
    }
    const auto* iconvName = std::ranges::find(kIconvNames, encoding, &IconvName::first);
    if (iconvName == std::end(kIconvNames)) {
        return std::string(bytes);
    }
    // In UTF-16 a single skipped byte would put every later character out of step.
    const std::size_t codeUnitBytes = encoding.starts_with("UTF-16") ? 2 : 1;
    const std::string name(iconvName->second);
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
            const std::size_t skipped = std::min(inLeft, codeUnitBytes);
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
