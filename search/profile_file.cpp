#include "search/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <utility>

#include "search/xpath_check.h"
#include "util/file_descriptor.h"
#include "util/file_io.h"

namespace search {
namespace {

// Ordered: the headers are sent in the order the file gives them.
using Json = nlohmann::ordered_json;

constexpr std::string_view kPathFields[] = {"{query}", "{offset}", "{count}"};

// Texts from the file go into messages; a key or name made of control bytes
// or a whole line of them must not garble the message around it.
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

bool HasControlByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7f;
    });
}

// RFC 9110 token characters: what a header field name may hold.
bool IsToken(std::string_view text) {
    static constexpr std::string_view kMarks = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               kMarks.find(c) != std::string_view::npos;
    });
}

// Why a name cannot be used, or "". Tags on site lines list names between
// brackets, separated by commas, with blanks around them ignored.
std::string NameFault(std::string_view name) {
    if (name.empty()) {
        return "must not be empty";
    }
    if (name.size() > kMaxProfileNameBytes) {
        return "longer than " + std::to_string(kMaxProfileNameBytes) + " bytes";
    }
    if (name.find_first_of("[],") != std::string_view::npos) {
        return "must not hold \"[\", \"]\" or \",\"";
    }
    if (HasControlByte(name)) {
        return "must not hold control characters";
    }
    if (name.front() == ' ' || name.back() == ' ') {
        return "must not start or end with a blank";
    }
    return "";
}

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

    // The first fault: the index of its profile when it lies in one, and the
    // text that names its key inside the profile (or the document).
    struct Fault {
        std::optional<std::size_t> profileIndex;
        std::string text;
    };
    const std::optional<Fault>& found() const { return found_; }

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
    Fault Describe(const std::string& key, const std::string& what) const {
        Fault fault;
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
    std::optional<Fault> found_;
};

// Reads one profile object, failing with the file, the profile and the key.
class ProfileReader {
public:
    ProfileReader(const std::string& origin, std::string label, const Json& object)
        : origin_(origin), label_(std::move(label)), object_(object) {}

    [[noreturn]] void Fail(const std::string& text) const {
        throw ProfileFileError(origin_ + ": " + label_ + ": " + text);
    }
    [[noreturn]] void FailKey(std::string_view key, const std::string& text) const {
        Fail("key " + Quoted(key) + ": " + text);
    }

    void RefuseUnknownKeys(const Json& object, std::string_view prefix,
                           std::initializer_list<std::string_view> known) const {
        for (const auto& item : object.items()) {
            if (std::find(known.begin(), known.end(), item.key()) == known.end()) {
                Fail("unknown key " + Quoted(std::string(prefix) + item.key()));
            }
        }
    }

    const Json* Find(const Json& object, const std::string& key) const {
        const auto it = object.find(key);
        return it == object.end() ? nullptr : &*it;
    }

    void String(const std::string& key, std::string& out, bool required) const {
        String(object_, key, key, out, required);
    }
    void String(const Json& object, const std::string& key, const std::string& shownKey,
                std::string& out, bool required) const {
        const Json* value = Find(object, key);
        if (value == nullptr) {
            if (required) {
                FailKey(shownKey, "missing");
            }
            return;
        }
        if (!value->is_string()) {
            FailKey(shownKey, "must be a string");
        }
        out = value->get<std::string>();
    }

    void Integer(const std::string& key, std::int64_t min, std::int64_t max,
                 std::int64_t& out) const {
        const Json* value = Find(object_, key);
        if (value == nullptr) {
            return;
        }
        out = Bounded(*value, key, min, max);
    }

    std::int64_t Bounded(const Json& value, const std::string& shownKey, std::int64_t min,
                         std::int64_t max) const {
        const std::string range =
            "must be a whole number from " + std::to_string(min) + " to " + std::to_string(max);
        if (!value.is_number_integer()) {
            FailKey(shownKey, range);
        }
        if (value.is_number_unsigned()) {
            const auto v = value.get<std::uint64_t>();
            if (v > static_cast<std::uint64_t>(max) ||
                (min > 0 && v < static_cast<std::uint64_t>(min))) {
                FailKey(shownKey, range);
            }
            return static_cast<std::int64_t>(v);
        }
        const auto v = value.get<std::int64_t>();
        if (v < min || v > max) {
            FailKey(shownKey, range);
        }
        return v;
    }

    // An XPath that must compile; an optional one may be empty.
    void XPath(const std::string& key, std::string& out, bool required) const {
        XPath(object_, key, key, out, required);
    }
    void XPath(const Json& object, const std::string& key, const std::string& shownKey,
               std::string& out, bool required) const {
        String(object, key, shownKey, out, required);
        if (out.empty()) {
            if (required) {
                FailKey(shownKey, "must not be empty");
            }
            return;
        }
        if (const std::string fault = XPathCompileError(out); !fault.empty()) {
            FailKey(shownKey, "not valid XPath: " + fault);
        }
    }

private:
    const std::string& origin_;
    std::string label_;
    const Json& object_;
};

void CheckPath(const ProfileReader& reader, const std::string& path) {
    if (path.find("{query}") == std::string::npos) {
        reader.FailKey("path", "must hold {query}");
    }
    // The path goes into the request line as it stands.
    if (std::any_of(path.begin(), path.end(), [](char c) {
            const auto b = static_cast<unsigned char>(c);
            return b <= 0x20 || b == 0x7f;
        })) {
        reader.FailKey("path", "must not hold blanks or control characters");
    }
    for (std::size_t at = path.find('{'); at != std::string::npos; at = path.find('{', at + 1)) {
        const std::size_t end = path.find('}', at);
        if (end == std::string::npos) {
            reader.FailKey("path", "\"{\" without \"}\"");
        }
        const std::string_view field = std::string_view(path).substr(at, end - at + 1);
        if (std::find(std::begin(kPathFields), std::end(kPathFields), field) ==
            std::end(kPathFields)) {
            reader.FailKey(
                "path", "unknown field " + Quoted(field) + " (known: {query}, {offset}, {count})");
        }
    }
}

void ReadHeaders(const ProfileReader& reader, const Json& headers, ProfileDefinition& definition) {
    if (!headers.is_object()) {
        reader.FailKey("headers", "must be an object of names and values");
    }
    for (const auto& item : headers.items()) {
        const std::string shownKey = "headers." + item.key();
        if (!IsToken(item.key())) {
            reader.FailKey(shownKey, "not a header name");
        }
        if (!item.value().is_string()) {
            reader.FailKey(shownKey, "must be a string");
        }
        const auto value = item.value().get<std::string>();
        if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            reader.FailKey(shownKey, "must not hold CR, LF or NUL");
        }
        definition.headers.emplace_back(item.key(), value);
    }
}

void ReadUnwrap(const ProfileReader& reader, const Json& unwrap, ProfileDefinition& definition) {
    if (!unwrap.is_object()) {
        reader.FailKey("unwrap", "must be an object");
    }
    reader.RefuseUnknownKeys(unwrap, "unwrap.", {"param", "until"});
    reader.String(unwrap, "param", "unwrap.param", definition.unwrap.param, false);
    reader.String(unwrap, "until", "unwrap.until", definition.unwrap.until, false);
    // An empty end would end every value before its first byte.
    if (definition.unwrap.until.empty()) {
        reader.FailKey("unwrap.until", "must not be empty");
    }
}

void ReadBlockedStatuses(const ProfileReader& reader, const Json& statuses,
                         ProfileDefinition& definition) {
    if (!statuses.is_array()) {
        reader.FailKey("blockedStatuses", "must be a list of HTTP statuses");
    }
    definition.blockedStatuses.clear();
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        definition.blockedStatuses.push_back(static_cast<int>(
            reader.Bounded(statuses[i], "blockedStatuses[" + std::to_string(i) + "]", 100, 599)));
    }
}

void ReadBlockedPages(const ProfileReader& reader, const Json& marks,
                      ProfileDefinition& definition) {
    if (!marks.is_array()) {
        reader.FailKey("blockedPages", "must be a list of {reason, xpath}");
    }
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const std::string prefix = "blockedPages[" + std::to_string(i) + "]";
        const Json& mark = marks[i];
        if (!mark.is_object()) {
            reader.FailKey(prefix, "must be an object {reason, xpath}");
        }
        reader.RefuseUnknownKeys(mark, prefix + ".", {"reason", "xpath"});
        BlockMark block;
        reader.String(mark, "reason", prefix + ".reason", block.reason, true);
        if (block.reason.empty() || HasControlByte(block.reason)) {
            reader.FailKey(prefix + ".reason", "must be a line of text");
        }
        reader.XPath(mark, "xpath", prefix + ".xpath", block.xpath, true);
        definition.blockedPages.push_back(std::move(block));
    }
}

ProfileDefinition ReadProfile(const std::string& origin, const Json& object, std::size_t index) {
    const std::string byPlace = "profiles[" + std::to_string(index) + "]";
    if (!object.is_object()) {
        throw ProfileFileError(origin + ": " + byPlace + ": must be an object");
    }
    const auto name = object.find("name");
    const bool named =
        name != object.end() && name->is_string() && NameFault(name->get<std::string>()).empty();
    const ProfileReader reader(
        origin, named ? "profile " + Quoted(name->get<std::string>()) : byPlace, object);
    reader.RefuseUnknownKeys(object, "",
                             {"name", "select", "path", "firstOffset", "offsetStep", "itemsPerPage",
                              "headers", "hits", "link", "title", "snippet", "next", "unwrap",
                              "blockedStatuses", "blockedPages", "delayMinMs", "delayExtraMs"});

    ProfileDefinition definition;
    definition.origin = origin;
    reader.String("name", definition.name, true);
    if (const std::string fault = NameFault(definition.name); !fault.empty()) {
        reader.FailKey("name", fault);
    }
    reader.String("select", definition.select, false);
    reader.String("path", definition.path, true);
    CheckPath(reader, definition.path);
    reader.Integer("firstOffset", 0, kMaxFirstOffset, definition.firstOffset);
    reader.Integer("offsetStep", 1, kMaxOffsetStep, definition.offsetStep);
    reader.Integer("itemsPerPage", 1, kMaxItemsPerPage, definition.itemsPerPage);
    if (const auto it = object.find("headers"); it != object.end()) {
        ReadHeaders(reader, *it, definition);
    }
    reader.XPath("hits", definition.hits, true);
    reader.XPath("link", definition.link, true);
    reader.XPath("title", definition.title, true);
    reader.XPath("snippet", definition.snippet, false);
    reader.XPath("next", definition.next, false);
    if (const auto it = object.find("unwrap"); it != object.end()) {
        ReadUnwrap(reader, *it, definition);
    }
    if (const auto it = object.find("blockedStatuses"); it != object.end()) {
        ReadBlockedStatuses(reader, *it, definition);
    }
    if (const auto it = object.find("blockedPages"); it != object.end()) {
        ReadBlockedPages(reader, *it, definition);
    }
    reader.Integer("delayMinMs", 0, kMaxDelayMs, definition.delayMinMs);
    reader.Integer("delayExtraMs", 0, kMaxDelayMs, definition.delayExtraMs);
    return definition;
}

// The label of the profile at index, by its name when it has a usable one.
std::string LabelOf(const Json& profiles, std::size_t index) {
    if (profiles.is_array() && index < profiles.size() && profiles[index].is_object()) {
        const auto name = profiles[index].find("name");
        if (name != profiles[index].end() && name->is_string() &&
            NameFault(name->get<std::string>()).empty()) {
            return "profile " + Quoted(name->get<std::string>());
        }
    }
    return "profiles[" + std::to_string(index) + "]";
}

Json ParseJson(std::string_view jsonText, const std::string& origin) {
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
    if (const auto& fault = checker.found()) {
        const std::string where =
            fault->profileIndex
                ? LabelOf(document.value("profiles", Json()), *fault->profileIndex) + ": "
                : std::string();
        throw ProfileFileError(origin + ": " + where + fault->text);
    }
    return document;
}

// The whole of a profile file, or nothing when there is none. A FIFO or a
// device in its place is refused without being opened for long: opening
// does not wait for a writer, and nothing is read from anything but a
// regular file.
std::optional<std::string> ReadProfileFile(const std::string& path) {
    const util::FileDescriptor fd(
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        throw ProfileFileError(path + ": cannot open: " + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        throw ProfileFileError(path + ": cannot read: " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw ProfileFileError(path + ": not a regular file");
    }
    const std::string tooLarge =
        path + ": larger than " + std::to_string(kMaxProfileFileBytes / 1024) + " KiB";
    if (static_cast<std::uint64_t>(info.st_size) > kMaxProfileFileBytes) {
        throw ProfileFileError(tooLarge);
    }
    // The file may grow while it is read: one byte past the limit tells.
    std::string text;
    if (!util::ReadUpTo(fd.get(), kMaxProfileFileBytes + 1, text)) {
        throw ProfileFileError(path + ": cannot read: " + std::strerror(errno));
    }
    if (text.size() > kMaxProfileFileBytes) {
        throw ProfileFileError(tooLarge);
    }
    return text;
}

void Overlay(std::vector<ProfileDefinition>& into, std::vector<ProfileDefinition> from) {
    for (ProfileDefinition& profile : from) {
        const auto same = std::find_if(into.begin(), into.end(), [&](const ProfileDefinition& p) {
            return p.name == profile.name;
        });
        if (same != into.end()) {
            *same = std::move(profile);
        } else {
            into.push_back(std::move(profile));
        }
    }
}

}  // namespace

std::vector<ProfileDefinition> ParseProfiles(std::string_view jsonText, const std::string& origin) {
    if (jsonText.size() > kMaxProfileFileBytes) {
        throw ProfileFileError(origin + ": larger than " +
                               std::to_string(kMaxProfileFileBytes / 1024) + " KiB");
    }
    const Json document = ParseJson(jsonText, origin);
    if (!document.is_object()) {
        throw ProfileFileError(origin + ": must hold an object {\"profiles\": [...]}");
    }
    for (const auto& item : document.items()) {
        if (item.key() != "profiles") {
            throw ProfileFileError(origin + ": unknown key " + Quoted(item.key()));
        }
    }
    const auto list = document.find("profiles");
    if (list == document.end() || !list->is_array()) {
        throw ProfileFileError(origin + ": key \"profiles\": must be a list of profiles");
    }
    if (list->size() > kMaxProfilesPerFile) {
        throw ProfileFileError(origin + ": key \"profiles\": more than " +
                               std::to_string(kMaxProfilesPerFile) + " profiles");
    }
    std::vector<ProfileDefinition> profiles;
    std::set<std::string> names;
    for (std::size_t i = 0; i < list->size(); ++i) {
        ProfileDefinition definition = ReadProfile(origin, (*list)[i], i);
        if (!names.insert(definition.name).second) {
            throw ProfileFileError(origin + ": profile " + Quoted(definition.name) +
                                   ": a second profile of this name");
        }
        profiles.push_back(std::move(definition));
    }
    return profiles;
}

std::string UserProfilesPath() {
    // A relative XDG_CONFIG_HOME is ignored, as the desktop's own programs ignore it.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/zorvane/engines.json";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.config/zorvane/engines.json";
    }
    return "";
}

ProfileCatalog LoadProfileCatalog(const std::string& programFolder, const std::string& userFile) {
    ProfileCatalog catalog;
    try {
        catalog.profiles = ParseProfiles(BuiltInProfilesText(), "built-in");
    } catch (const ProfileFileError& e) {
        catalog.errors.push_back(e.what());
    }
    std::vector<std::string> files = {programFolder + "engines.json"};
    if (!userFile.empty()) {
        files.push_back(userFile);
    }
    for (const std::string& path : files) {
        try {
            if (const std::optional<std::string> text = ReadProfileFile(path)) {
                Overlay(catalog.profiles, ParseProfiles(*text, path));
            }
        } catch (const ProfileFileError& e) {
            catalog.errors.push_back(e.what());
        }
    }
    return catalog;
}

}  // namespace search
