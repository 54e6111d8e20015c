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
enum ByteKind : unsigned char { kCopied, kSpace, kTagStart, kEntityStart, kDropped, kNonAscii };

constexpr std::array<ByteKind, 256> kByteKinds = [] {
    std::array<ByteKind, 256> kinds{};
    for (std::size_t byte = 0; byte < kinds.size(); ++byte) {
        kinds[byte] = byte >= 0x80 ? kNonAscii : (byte > 32 && byte <= 126) ? kCopied : kDropped;
    }
    kinds[' '] = kSpace;
    kinds['<'] = kTagStart;
    kinds['&'] = kEntityStart;
    return kinds;
}();

// A lead byte of well-formed UTF-8: the length of its sequence (0 for a byte
// that begins none) and the range of the byte after it. That one range is
// where overlong forms, surrogates and values beyond U+10FFFF are excluded;
// every later byte is any continuation byte.
struct Utf8Lead {
    unsigned char length;
    unsigned char low;
    unsigned char high;
};

constexpr std::array<Utf8Lead, 256> kUtf8Leads = [] {
    std::array<Utf8Lead, 256> leads{};
    const auto set = [&leads](int first, int last, Utf8Lead lead) {
        for (int byte = first; byte <= last; ++byte) {
            leads[static_cast<std::size_t>(byte)] = lead;
        }
    };
    set(0xC2, 0xDF, {2, 0x80, 0xBF});
    set(0xE0, 0xE0, {3, 0xA0, 0xBF});
    set(0xE1, 0xEC, {3, 0x80, 0xBF});
    set(0xED, 0xED, {3, 0x80, 0x9F});
    set(0xEE, 0xEF, {3, 0x80, 0xBF});
    set(0xF0, 0xF0, {4, 0x90, 0xBF});
    set(0xF1, 0xF3, {4, 0x80, 0xBF});
    set(0xF4, 0xF4, {4, 0x80, 0x8F});
    return leads;
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

// The length of the well-formed UTF-8 character at `at` (raw[at] >= 0x80),
// 0 when the byte there begins none and is dropped alone; -1 when a removed
// tag stands where the character's next byte should be, for then the bytes
// after the tag decide, which the steps see side by side and one pass does not.
int Utf8LengthAt(std::string_view raw, std::size_t at) {
    const Utf8Lead lead = kUtf8Leads[static_cast<unsigned char>(raw[at])];
    for (std::size_t i = 1; i < lead.length; ++i) {
        if (at + i == raw.size()) {
            return 0;
        }
        const auto byte = static_cast<unsigned char>(raw[at + i]);
        const unsigned char low = i == 1 ? lead.low : 0x80;
        const unsigned char high = i == 1 ? lead.high : 0xBF;
        if (byte < low || byte > high) {
            return (byte == '<' && RemovedTagLengthAt(raw, at + i) != 0) ? -1 : 0;
        }
    }
    return lead.length;
}

// U+0080-U+009F, the C1 controls: encoded as C2 80 to C2 9F.
bool IsC1Control(std::string_view raw, std::size_t at) {
    return raw[at] == '\xC2' && static_cast<unsigned char>(raw[at + 1]) < 0xA0;
}

void AppendPercentEncoded(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0x0F]);
}

// Form encoding: the bytes that `kept` accepts stand as they are, a space
// becomes "+" and every other byte %XX.
template <typename Kept>
std::string FormEncoded(std::string_view text, Kept kept) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        if (kept(c)) {
            out.push_back(c);
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            AppendPercentEncoded(out, static_cast<unsigned char>(c));
        }
    }
    return out;
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
            case kNonAscii: {
                const int length = Utf8LengthAt(raw, at);
                if (length < 0) {
                    return false;
                }
                if (length == 0) {
                    ++at;
                    break;
                }
                if (!IsC1Control(raw, at)) {
                    for (int i = 0; i < length; ++i) {
                        *write++ = raw[at + static_cast<std::size_t>(i)];
                    }
                    pairOpen = false;
                }
                at += static_cast<std::size_t>(length);
                break;
            }
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
    return FormEncoded(keyword, [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_' || c == '~';
    });
}

std::string HtmlFormText(std::string_view text) {
    return FormEncoded(text, [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '*' || c == '-' || c == '.' || c == '_';
    });
}

std::string BacklinksKeywordText(std::string_view keyword) {
    return ReplaceAll(ReplaceAll(keyword, " ", "+"), "\"", "%22");
}

std::string EncodeQueryText(std::string_view text) {
    return FormEncoded(text.substr(0, text.find('\0')), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '*' || c == '-' ||
               c == '.' || c == '@' || c == '_';
    });
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
