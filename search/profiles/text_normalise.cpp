#include "search/profiles/text_normalise.h"

namespace search {
namespace {

enum class Kind { Keep, Space, Drop };

// The kind of the character at text[i] and its length in bytes.
Kind Classify(std::string_view text, std::size_t i, std::size_t& length) {
    const auto c = static_cast<unsigned char>(text[i]);
    length = 1;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        return Kind::Space;
    }
    if (c < 0xC2 || (c > 0xE3 && c != 0xEF)) {
        return Kind::Keep;
    }
    const auto at = [&text, i](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
    };
    if (c == 0xC2) {
        if (at(1) == 0x85 || at(1) == 0xA0) {  // U+0085, U+00A0
            length = 2;
            return Kind::Space;
        }
        return Kind::Keep;
    }
    if (c == 0xE1 && at(1) == 0x9A && at(2) == 0x80) {  // U+1680
        length = 3;
        return Kind::Space;
    }
    if (c == 0xE2 && at(1) == 0x80) {
        const unsigned char b = at(2);
        length = 3;
        if (b >= 0x80 && b <= 0x8A) {  // U+2000-U+200A
            return Kind::Space;
        }
        if (b >= 0x8B && b <= 0x8F) {  // U+200B-U+200F
            return Kind::Drop;
        }
        if (b == 0xA8 || b == 0xA9 || b == 0xAF) {  // U+2028, U+2029, U+202F
            return Kind::Space;
        }
        length = 1;
        return Kind::Keep;
    }
    if (c == 0xE2 && at(1) == 0x81) {
        const unsigned char b = at(2);
        length = 3;
        if (b == 0x9F) {  // U+205F
            return Kind::Space;
        }
        if (b >= 0xA6 && b <= 0xA9) {  // U+2066-U+2069
            return Kind::Drop;
        }
        length = 1;
        return Kind::Keep;
    }
    if (c == 0xE3 && at(1) == 0x80 && at(2) == 0x80) {  // U+3000
        length = 3;
        return Kind::Space;
    }
    if (c == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {  // U+FEFF
        length = 3;
        return Kind::Drop;
    }
    return Kind::Keep;
}

}  // namespace

std::string NormaliseText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    bool pendingSpace = false;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = 1;
        switch (Classify(utf8, i, length)) {
            case Kind::Space:
                pendingSpace = true;
                break;
            case Kind::Drop:
                break;
            case Kind::Keep:
                if (pendingSpace && !out.empty()) {
                    out.push_back(' ');
                }
                pendingSpace = false;
                out.append(utf8.substr(i, length));
                break;
        }
        i += length;
    }
    return out;
}

std::string ValidUtf8(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        // The length the lead byte announces and the range its first
        // continuation byte must lie in (which rules out overlong forms,
        // surrogates and values past U+10FFFF).
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        std::size_t taken = 1;
        while (length > 0 && taken < length && i + taken < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + taken]);
            const bool fits = taken == 1 ? next >= low && next <= high : (next & 0xC0) == 0x80;
            if (!fits) {
                break;
            }
            ++taken;
        }
        if (length > 0 && taken == length) {
            out.append(text.substr(i, length));
        } else {
            out.append(kReplacement);
        }
        i += taken;
    }
    return out;
}

}  // namespace search
