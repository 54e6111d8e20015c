#include "search/anchor_reference.h"

#include "search/text_rules.h"

namespace search {
namespace {

// The bytes of code point cp in UTF-8, "" for a surrogate or a value beyond
// U+10FFFF.
std::string EncodeUtf8(char32_t cp) {
    std::string bytes;
    if (cp < 0x80) {
        bytes.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            return {};
        }
        bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp <= 0x10FFFF) {
        bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    return bytes;
}

// The code point that the `length` bytes at `at` encode, or -1 when they are
// no well-formed UTF-8 character. The payload bits are read without any
// check and encoded back: only a well-formed sequence comes back as itself,
// so overlong forms, surrogates, values beyond U+10FFFF and stray bytes all
// fail the one comparison.
long CodePointAt(std::string_view text, std::size_t at, std::size_t length) {
    if (length < 2 || length > 4 || text.size() - at < length) {
        return -1;
    }
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    char32_t cp = byte(0) & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    return EncodeUtf8(cp) == text.substr(at, length) ? static_cast<long>(cp) : -1;
}

// Printable ASCII and the UTF-8 characters from U+00A0 on; control
// characters (C0, DEL, C1) and every byte of a malformed sequence go, one
// byte at a time.
std::string KeptCharacters(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead >= 32 && lead <= 126) {
            kept.push_back(text[at]);
            ++at;
            continue;
        }
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        const long cp = CodePointAt(text, at, length);
        if (cp < 0) {
            ++at;
            continue;
        }
        if (cp >= 0xA0) {
            kept.append(text.substr(at, length));
        }
        at += length;
    }
    return kept;
}

}  // namespace

std::string CleanAnchorTextStepByStep(std::string_view raw) {
    static constexpr std::string_view kTags[] = {"<b>",       "</b>", "<br>", "<strong>",
                                                 "</strong>", "<em>", "</em>"};
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
    return ReplaceAll(KeptCharacters(text), "  ", " ");
}

}  // namespace search
