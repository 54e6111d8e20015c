#include "search/profiles/profile_json.h"

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

#include "search/profiles/profile_file.h"

namespace search::profile_json {
namespace {

// Line and column, from 1, of the byte at offset `at`.
std::string LineAndColumn(std::string_view text, std::size_t at) {
    at = std::min(at, text.size());
    const std::string_view before = text.substr(0, at);
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    const std::size_t lineStart = before.rfind('\n');
    const std::size_t column = lineStart == std::string_view::npos ? at + 1 : at - lineStart;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// JSON itself allows a key twice in one object (the last one wins), which
// would hide the first "hits" of a profile without a word. The parser's
// callback sees every key, so the first repeat is noted here and reported
// once the text is known to be JSON. It also caps the keys of an object:
// the library finds an ordered object's keys one by one, so a hundred
// thousand keys would hold it up for many seconds. Once something is
// found, every further key is dropped unread. Nesting is capped too: a
// profile file is five levels deep, and a megabyte of "[" would otherwise
// cost a frame each.
class KeyChecker {
public:
    bool operator()(int, nlohmann::detail::parse_event_t event, Json& parsed) {
        using Event = nlohmann::detail::parse_event_t;
        switch (event) {
            case Event::object_start:
            case Event::array_start:
                if (++depth_ > kMaxDepth) {
                    if (!found_) {
                        found_ = Describe(
                            "", "nested more than " + std::to_string(kMaxDepth) + " levels deep");
                    }
                    return false;
                }
                stack_.emplace_back().isObject = event == Event::object_start;
                break;
            case Event::key:
                if (found_ || stack_.empty() || depth_ > kMaxDepth) {
                    return false;
                }
                if (Frame& frame = stack_.back(); frame.keys.size() == kMaxKeysPerObject) {
                    found_ = Describe("", "more than " + std::to_string(kMaxKeysPerObject) +
                                              " keys in one object");
                    return false;
                } else {
                    frame.lastKey = parsed.get<std::string>();
                    if (!frame.keys.insert(frame.lastKey).second) {
                        found_ = Describe(frame.lastKey, "given twice");
                        return false;
                    }
                }
                break;
            case Event::object_end:
            case Event::array_end:
                if (depth_-- > kMaxDepth) {
                    break;
                }
                if (!stack_.empty()) {
                    stack_.pop_back();
                }
                EndElement();
                break;
            case Event::value:
                if (depth_ <= kMaxDepth) {
                    EndElement();
                }
                break;
        }
        return true;
    }

    const std::optional<StructureFault>& found() const { return found_; }

private:
    static constexpr std::size_t kMaxDepth = 32;

    struct Frame {
        bool isObject = false;
        std::set<std::string> keys;
        std::string lastKey;
        std::size_t elements = 0;
    };

    void EndElement() {
        if (!stack_.empty() && !stack_.back().isObject) {
            ++stack_.back().elements;
        }
    }

    // The path of the object at the top of the stack, then `key` when given:
    // {"profiles": [ {profile}, ... ]} puts a profile's own keys at depth 3.
    StructureFault Describe(const std::string& key, const std::string& what) const {
        StructureFault fault;
        std::size_t from = 0;
        if (stack_.size() >= 3 && !stack_[1].isObject && stack_[0].lastKey == "profiles") {
            fault.profileIndex = stack_[1].elements;
            from = 2;
        }
        std::string path;
        for (std::size_t i = from; i + 1 < stack_.size(); ++i) {
            const Frame& frame = stack_[i];
            if (frame.isObject) {
                path += path.empty() ? "" : ".";
                path += frame.lastKey;
            } else {
                path += '[';
                path += std::to_string(frame.elements);
                path += ']';
            }
        }
        if (!key.empty()) {
            path += path.empty() ? "" : ".";
            path += key;
        }
        fault.text = path.empty() ? what : "key " + Quoted(path) + ": " + what;
        return fault;
    }

    // Containers open now; frames are kept only for the first kMaxDepth.
    std::size_t depth_ = 0;
    std::vector<Frame> stack_;
    std::optional<StructureFault> found_;
};

}  // namespace

// A key or name made of control bytes or a whole line of them must not
// garble the message around it.
constexpr std::size_t kMaxQuotedBytes = 60;

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text.substr(0, kMaxQuotedBytes)) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(b < 0x20 || b == 0x7f ? '?' : c);
    }
    if (text.size() > kMaxQuotedBytes) {
        out += "...";
    }
    return out + "\"";
}

Json Parse(std::string_view jsonText, const std::string& origin,
           std::optional<StructureFault>& fault) {
    KeyChecker checker;
    Json document;
    try {
        document = Json::parse(jsonText.begin(), jsonText.end(), std::ref(checker));
    } catch (const nlohmann::json::parse_error& e) {
        // The library's text starts with its own position in another form;
        // only its reason is kept.
        std::string reason = e.what();
        if (const auto at = reason.find(": "); at != std::string::npos) {
            reason.erase(0, at + 2);
        }
        const std::size_t at = e.byte > 0 ? e.byte - 1 : 0;
        throw ProfileFileError(origin + ": " + LineAndColumn(jsonText, at) + ": " + reason);
    } catch (const nlohmann::json::exception& e) {
        // A number too large for any type ("1E999999") is refused by the
        // parser with no position of its own.
        std::string reason = e.what();
        if (const auto at = reason.find("] "); at != std::string::npos) {
            reason.erase(0, at + 2);
        }
        throw ProfileFileError(origin + ": " + reason);
    }
    fault = checker.found();
    return document;
}

}  // namespace search::profile_json
