#include "search/text_rules.h"

#include <cstring>

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

namespace {

// Whether pattern stands in text at `at`; patterns are a few bytes long, so a
// plain loop beats a call to memcmp.
bool HoldsAt(const std::string& text, std::size_t at, std::string_view pattern) {
    if (text.size() - at < pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (text[at + i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

// ReplaceAll in place for a replacement no longer than the pattern (every
// tag and entity of the clean-up): one compacting pass, no allocation.
void ReplaceAllIn(std::string& text, std::string_view from, std::string_view to) {
    const std::string_view view(text);
    std::size_t hit = view.find(from);
    if (hit == std::string_view::npos) {
        return;
    }
    // The write position never passes the read position, since the
    // replacement is no longer than the pattern; the view stays valid.
    char* data = text.data();
    std::size_t write = hit;
    while (hit != std::string_view::npos) {
        std::memmove(data + write, to.data(), to.size());
        write += to.size();
        const std::size_t read = hit + from.size();
        hit = view.find(from, read);
        const std::size_t keep = (hit == std::string_view::npos ? text.size() : hit) - read;
        std::memmove(data + write, data + read, keep);
        write += keep;
    }
    text.resize(write);
}

}  // namespace

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
    // Each pass runs only for a pattern that the text holds. Which ones it
    // holds is learnt in one walk over the lead byte's places, and learnt
    // again after a pass that changed the text, since a removal can join the
    // pieces of a later pattern.
    auto present = [&text](char lead, auto&& patternAt, std::size_t count) {
        unsigned mask = 0;
        for (std::size_t at = text.find(lead); at != std::string::npos;
             at = text.find(lead, at + 1)) {
            for (std::size_t i = 0; i < count; ++i) {
                if (HoldsAt(text, at, patternAt(i))) {
                    mask |= 1u << i;
                }
            }
        }
        return mask;
    };
    auto tagAt = [](std::size_t i) { return kTags[i]; };
    auto entityAt = [](std::size_t i) { return kEntities[i][0]; };
    constexpr std::size_t kTagCount = std::size(kTags);
    constexpr std::size_t kEntityCount = std::size(kEntities);
    unsigned tags = present('<', tagAt, kTagCount);
    for (std::size_t i = 0; i < kTagCount; ++i) {
        if ((tags >> i) & 1u) {
            ReplaceAllIn(text, kTags[i], "");
            tags = present('<', tagAt, kTagCount);
        }
    }
    unsigned entities = present('&', entityAt, kEntityCount);
    for (std::size_t i = 0; i < kEntityCount; ++i) {
        if ((entities >> i) & 1u) {
            ReplaceAllIn(text, kEntities[i][0], kEntities[i][1]);
            entities = present('&', entityAt, kEntityCount);
        }
    }
    // Keep the printable bytes and halve the double spaces in one pass over
    // the text: a space directly after a kept space that was not itself the
    // second of a pair is the second of a new pair and goes.
    std::size_t write = 0;
    bool pairOpen = false;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte > 126) {
            continue;
        }
        if (c == ' ' && pairOpen) {
            pairOpen = false;
            continue;
        }
        pairOpen = c == ' ';
        text[write++] = c;
    }
    text.resize(write);
    return text;
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

bool LoweredStartsWith(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i];
        if (((c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c) != prefix[i]) {
            return false;
        }
    }
    return true;
}

void DropTrailingSlash(std::string& link) {
    if (!link.empty() && link.back() == '/') {
        link.pop_back();
    }
}

}  // namespace search
