#include "search/text_rules.h"

#include <array>

#include "search/anchor_reference.h"

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

// What the one-pass clean-up does with a byte of the raw anchor.
enum ByteKind : unsigned char { kCopied, kSpace, kTagStart, kEntityStart, kDropped };

constexpr std::array<ByteKind, 256> kByteKinds = [] {
    std::array<ByteKind, 256> kinds{};
    for (std::size_t byte = 0; byte < kinds.size(); ++byte) {
        kinds[byte] = (byte > 32 && byte <= 126) ? kCopied : kDropped;
    }
    kinds[' '] = kSpace;
    kinds['<'] = kTagStart;
    kinds['&'] = kEntityStart;
    return kinds;
}();

struct Entity {
    std::string_view text;
    char decoded;
};
constexpr Entity kQuot{"&quot;", '"'};
constexpr Entity kApos{"&apos;", '\''};
constexpr Entity kGt{"&gt;", '>'};
constexpr Entity kLt{"&lt;", '<'};
constexpr Entity kAmp{"&amp;", '&'};
constexpr Entity kNumericApostrophe{"&#39;", '\''};
// Decoding "&amp;" leaves "&#39;" of this, which the later "&#39;" step turns
// into an apostrophe: so it is one entity to the single pass.
constexpr Entity kAmpNumericApostrophe{"&amp;#39;", '\''};

// What a tag removal must not complete by joining the bytes on its two sides:
// in the step-by-step clean-up such a joined text is removed or decoded by a
// later step (or kept by an earlier one), which one pass over the raw bytes
// cannot see.
constexpr std::string_view kJoinable[] = {"<b>",  "</b>",      "<br>",   "<strong>", "</strong>",
                                          "<em>", "</em>",     "&quot;", "&apos;",   "&gt;",
                                          "&lt;", "&amp;#39;", "&#39;"};
constexpr std::size_t kLongestJoinablePrefix = 8;  // "</strong" and "&amp;#39"

// Patterns are a few bytes long, so a plain loop beats a call to memcmp.
bool StandsAt(std::string_view text, std::size_t at, std::string_view pattern) {
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

// The removed tag at `at` (raw[at] == '<'), by its length; 0 when none stands
// there. The bytes after the '<' leave one candidate to compare.
std::size_t RemovedTagLengthAt(std::string_view raw, std::size_t at) {
    if (raw.size() - at < 3) {
        return 0;
    }
    std::string_view tag;
    switch (raw[at + 1]) {
        case 'b':
            tag = raw[at + 2] == '>' ? "<b>" : "<br>";
            break;
        case 's':
            tag = "<strong>";
            break;
        case 'e':
            tag = "<em>";
            break;
        case '/':
            tag = raw[at + 2] == 'b' ? "</b>" : raw[at + 2] == 's' ? "</strong>" : "</em>";
            break;
        default:
            return 0;
    }
    return StandsAt(raw, at, tag) ? tag.size() : 0;
}

// The decoded entity at `at` (raw[at] == '&'), nullptr when none stands there;
// again the bytes after the '&' leave one candidate, or two for "&amp;".
const Entity* EntityAt(std::string_view raw, std::size_t at) {
    if (raw.size() - at < 4) {
        return nullptr;
    }
    const Entity* entity = nullptr;
    switch (raw[at + 1]) {
        case 'q':
            entity = &kQuot;
            break;
        case 'a':
            if (raw[at + 2] == 'p') {
                entity = &kApos;
            } else if (StandsAt(raw, at, kAmpNumericApostrophe.text)) {
                return &kAmpNumericApostrophe;
            } else {
                entity = &kAmp;
            }
            break;
        case 'g':
            entity = &kGt;
            break;
        case 'l':
            entity = &kLt;
            break;
        case '#':
            entity = &kNumericApostrophe;
            break;
        default:
            return nullptr;
    }
    return StandsAt(raw, at, entity->text) ? entity : nullptr;
}

bool IsJoinablePrefix(std::string_view tail) {
    if (tail.size() > kLongestJoinablePrefix) {
        return false;
    }
    for (std::string_view joinable : kJoinable) {
        if (tail.size() < joinable.size() && joinable.starts_with(tail)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool CleanAnchorTextInOnePass(std::string_view raw, std::string& out) {
    constexpr std::size_t npos = std::string_view::npos;
    out.resize(raw.size());  // nothing makes the text longer
    char* write = out.data();
    // The bytes that survive the tag removals form the text the entity steps
    // work on. A removal can only join a tag or entity together when that
    // text, up to the removal, ends in the beginning of one; every such
    // beginning starts at the last '<' or '&' there. The first removal after
    // that opener finds the bytes since it side by side in raw and looks at
    // them; if they begin nothing, no longer tail from the same opener can.
    std::size_t opener = npos;
    std::size_t lastRemovalEnd = 0;
    // Whether the last byte written is a space that starts a pair: the next
    // space, even after dropped bytes, halves it.
    bool pairOpen = false;
    std::size_t at = 0;
    while (at < raw.size()) {
        char c = raw[at];
        // Most of an anchor is bytes that are simply copied: a tight loop
        // for them, the dispatch only for the rest.
        if (kByteKinds[static_cast<unsigned char>(c)] == kCopied) {
            do {
                *write++ = c;
                if (++at == raw.size()) {
                    break;
                }
                c = raw[at];
            } while (kByteKinds[static_cast<unsigned char>(c)] == kCopied);
            pairOpen = false;
            continue;
        }
        switch (kByteKinds[static_cast<unsigned char>(c)]) {
            case kCopied:
            case kDropped:
                ++at;
                break;
            case kSpace:
                if (!pairOpen) {
                    *write++ = ' ';
                }
                pairOpen = !pairOpen;
                ++at;
                break;
            case kTagStart: {
                const std::size_t length = RemovedTagLengthAt(raw, at);
                if (length == 0) {
                    opener = at;
                    *write++ = c;
                    pairOpen = false;
                    ++at;
                    break;
                }
                if (opener != npos && opener >= lastRemovalEnd &&
                    IsJoinablePrefix(raw.substr(opener, at - opener))) {
                    return false;
                }
                at += length;
                lastRemovalEnd = at;
                break;
            }
            case kEntityStart: {
                opener = at;
                if (const Entity* entity = EntityAt(raw, at)) {
                    *write++ = entity->decoded;
                    at += entity->text.size();
                } else {
                    *write++ = c;
                    ++at;
                }
                pairOpen = false;
                break;
            }
        }
    }
    out.resize(static_cast<std::size_t>(write - out.data()));
    return true;
}

std::string CleanAnchorText(std::string_view raw) {
    std::string text;
    if (CleanAnchorTextInOnePass(raw, text)) {
        return text;
    }
    return CleanAnchorTextStepByStep(raw);
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
