#include "search/text_rules.h"

namespace search {

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    if (from.empty()) {
        return std::string(text);
    }
    out.reserve(text.size());
    std::size_t at = 0;
    for (;;) {
        const std::size_t hit = text.find(from, at);
        if (hit == std::string_view::npos) {
            break;
        }
        out.append(text.substr(at, hit - at));
        out.append(to);
        at = hit + from.size();
    }
    out.append(text.substr(at));
    return out;
}

std::string CleanAnchorText(std::string_view raw) {
    static constexpr std::string_view kTags[] = {"<b>",       "</b>", "<br>", "<strong>",
                                                 "</strong>", "<em>", "</em>"};
    // Order matters: "&amp;" is decoded before "&#39;", so "&amp;#39;" ends
    // as an apostrophe while "&amp;amp;" ends as "&amp;".
    static constexpr std::string_view kEntities[][2] = {
        {"&quot;", "\""}, {"&apos;", "'"}, {"&gt;", ">"},
        {"&lt;", "<"},    {"&amp;", "&"},  {"&#39;", "'"},
    };
    std::string text(raw);
    for (std::string_view tag : kTags) {
        text = ReplaceAll(text, tag, "");
    }
    for (const auto& entity : kEntities) {
        text = ReplaceAll(text, entity[0], entity[1]);
    }
    std::string printable;
    printable.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte <= 126) {
            printable.push_back(c);
        }
    }
    return ReplaceAll(printable, "  ", " ");
}

std::string KeywordText(std::string_view keyword) {
    return ReplaceAll(ReplaceAll(keyword, " ", "+"), "\"", "%22");
}

std::string EncodeQueryText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            break;
        }
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '*' || c == '-' || c == '.' ||
            c == '@' || c == '_') {
            out.push_back(c);
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        }
    }
    return out;
}

std::string BacklinksQueryText(std::string_view keywordText) {
    static constexpr std::string_view kEncodedScheme = "http%3A%2F%2F";
    std::string query = EncodeQueryText(keywordText);
    if (query.find(kEncodedScheme) == std::string::npos) {
        query.insert(0, kEncodedScheme);
    }
    return query;
}

std::string AsciiLowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return out;
}

void DropTrailingSlash(std::string& link) {
    if (!link.empty() && link.back() == '/') {
        link.pop_back();
    }
}

}  // namespace search
