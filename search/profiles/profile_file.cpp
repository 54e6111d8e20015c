#include "search/profiles/profile_file.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <set>
#include <utility>

#include "search/profiles/profile_json.h"
#include "search/profiles/profile_locale.h"
#include "search/profiles/xpath_check.h"
#include "util/ascii.h"

namespace search {
namespace {

using profile_json::Json;
using profile_json::Quoted;

constexpr std::string_view kPathFields[] = {"{query}", "{offset}", "{count}", "{lang}", "{region}"};

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

// Whether a {lang} or {region} outside "[...]" has its default: without
// one a search that chose no value would send the field's name.
void RequireDefault(const ProfileReader& reader, const std::string& key, std::string_view field,
                    const ProfileLocale& defaults) {
    const bool lang = field == "{lang}";
    if ((lang ? defaults.lang : defaults.region).empty()) {
        reader.FailKey(key, "uses " + std::string(field) + " but \"defaults\" gives no \"" +
                                (lang ? "lang" : "region") + "\"");
    }
}

void CheckPath(const ProfileReader& reader, const std::string& path,
               const ProfileLocale& defaults) {
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
    bool inGroup = false;
    bool groupHasLocale = false;
    for (std::size_t at = 0; at < path.size(); ++at) {
        if (path[at] == '[') {
            if (inGroup) {
                reader.FailKey("path", "\"[\" inside \"[...]\"");
            }
            inGroup = true;
            groupHasLocale = false;
            continue;
        }
        if (path[at] == ']') {
            if (!inGroup) {
                reader.FailKey("path", "\"]\" without \"[\"");
            }
            if (!groupHasLocale) {
                reader.FailKey("path", "\"[...]\" must hold {lang} or {region}");
            }
            inGroup = false;
            continue;
        }
        if (path[at] != '{') {
            continue;
        }
        const std::size_t end = path.find('}', at);
        if (end == std::string::npos) {
            reader.FailKey("path", "\"{\" without \"}\"");
        }
        const std::string_view field = std::string_view(path).substr(at, end - at + 1);
        if (std::find(std::begin(kPathFields), std::end(kPathFields), field) ==
            std::end(kPathFields)) {
            reader.FailKey("path", "unknown field " + Quoted(field) +
                                       " (known: {query}, {offset}, {count}, {lang}, {region})");
        }
        const bool locale = field == "{lang}" || field == "{region}";
        if (inGroup && !locale) {
            reader.FailKey("path", "only {lang} and {region} may stand in \"[...]\"");
        }
        if (locale && inGroup) {
            groupHasLocale = true;
        } else if (locale) {
            RequireDefault(reader, "path", field, defaults);
        }
        at = end;
    }
    if (inGroup) {
        reader.FailKey("path", "\"[\" without \"]\"");
    }
}

// The fields the client writes itself, from the URL, the connection, the
// cookie store or the proxy setting: a second one from a profile would let a
// profile change where a request goes or how its end is read (request
// smuggling), or send cookies the store does not hold.
bool IsClientsOwnHeader(std::string_view name) {
    static constexpr std::string_view kOwn[] = {"Host", "Content-Length", "Transfer-Encoding",
                                                "Connection", "Cookie"};
    return std::any_of(std::begin(kOwn), std::end(kOwn),
                       [name](std::string_view own) { return util::EqualsNoCase(name, own); }) ||
           (name.size() >= 6 && util::EqualsNoCase(name.substr(0, 6), "Proxy-"));
}

// Whether a header value holds a control character: a C0 control (tab
// included), DEL, or a C1 control, whether written as the UTF-8 of U+0080 to
// U+009F (C2 80 to C2 9F) or as a raw byte 80 to 9F outside a well-formed
// UTF-8 character. Servers and proxies read these differently, which is what
// request smuggling lives on.
bool HasHeaderControl(std::string_view value) {
    std::size_t i = 0;
    while (i < value.size()) {
        const auto b = static_cast<unsigned char>(value[i]);
        if (b < 0x20 || b == 0x7f) {
            return true;
        }
        if (b < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = b >= 0xC2 && b <= 0xDF   ? 2
                                   : b >= 0xE0 && b <= 0xEF ? 3
                                   : b >= 0xF0 && b <= 0xF4 ? 4
                                                            : 0;
        const bool whole =
            length > 0 && i + length <= value.size() &&
            std::all_of(value.begin() + static_cast<std::ptrdiff_t>(i + 1),
                        value.begin() + static_cast<std::ptrdiff_t>(i + length),
                        [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; });
        if (!whole) {
            if (b <= 0x9f) {
                return true;
            }
            ++i;
            continue;
        }
        if (b == 0xC2 && static_cast<unsigned char>(value[i + 1]) <= 0x9f) {
            return true;
        }
        i += length;
    }
    return false;
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
        if (IsClientsOwnHeader(item.key())) {
            reader.FailKey(shownKey,
                           "the client sets this header itself (Host, Content-Length, "
                           "Transfer-Encoding, Connection, Cookie, Proxy-*)");
        }
        if (!item.value().is_string()) {
            reader.FailKey(shownKey, "must be a string");
        }
        const auto value = item.value().get<std::string>();
        if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            reader.FailKey(shownKey, "must not hold CR, LF or NUL");
        }
        if (HasHeaderControl(value)) {
            reader.FailKey(shownKey, "must not hold control characters");
        }
        for (const std::string_view field : {"{lang}", "{region}"}) {
            if (value.find(field) != std::string::npos) {
                RequireDefault(reader, shownKey, field, definition.defaults);
            }
        }
        definition.headers.emplace_back(item.key(), value);
    }
}

void ReadDefaults(const ProfileReader& reader, const Json& defaults,
                  ProfileDefinition& definition) {
    if (!defaults.is_object()) {
        reader.FailKey("defaults", "must be an object {lang, region}");
    }
    reader.RefuseUnknownKeys(defaults, "defaults.", {"lang", "region"});
    for (const auto& [key, out] : {std::pair{"lang", &definition.defaults.lang},
                                   std::pair{"region", &definition.defaults.region}}) {
        const std::string shownKey = std::string("defaults.") + key;
        reader.String(defaults, key, shownKey, *out, false);
        if (defaults.contains(key)) {
            if (const std::string fault = LocaleValueFault(*out); !fault.empty()) {
                reader.FailKey(shownKey, fault);
            }
        }
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
    reader.RefuseUnknownKeys(object, "", {"name",         "select",      "path",
                                          "defaults",     "firstOffset", "offsetStep",
                                          "itemsPerPage", "headers",     "hits",
                                          "link",         "destination", "title",
                                          "snippet",      "next",        "nextForm",
                                          "displayUrl",   "unwrap",      "blockedStatuses",
                                          "blockedPages", "delayMinMs",  "delayExtraMs"});

    ProfileDefinition definition;
    definition.origin = origin;
    reader.String("name", definition.name, true);
    if (const std::string fault = NameFault(definition.name); !fault.empty()) {
        reader.FailKey("name", fault);
    }
    reader.String("select", definition.select, false);
    if (const auto it = object.find("defaults"); it != object.end()) {
        ReadDefaults(reader, *it, definition);
    }
    reader.String("path", definition.path, true);
    CheckPath(reader, definition.path, definition.defaults);
    reader.Integer("firstOffset", 0, kMaxFirstOffset, definition.firstOffset);
    reader.Integer("offsetStep", 1, kMaxOffsetStep, definition.offsetStep);
    reader.Integer("itemsPerPage", 1, kMaxItemsPerPage, definition.itemsPerPage);
    if (const auto it = object.find("headers"); it != object.end()) {
        ReadHeaders(reader, *it, definition);
    }
    reader.XPath("hits", definition.hits, true);
    reader.XPath("link", definition.link, true);
    reader.XPath("destination", definition.destination, false);
    reader.XPath("title", definition.title, true);
    reader.XPath("snippet", definition.snippet, false);
    reader.XPath("next", definition.next, false);
    reader.XPath("displayUrl", definition.displayUrl, false);
    reader.XPath("nextForm", definition.nextForm, false);
    // The pages after the first come either from the path's offsets or from
    // the form: both at once would leave the reader guessing which counts.
    if (!definition.next.empty() && !definition.nextForm.empty()) {
        reader.FailKey("nextForm", "cannot stand beside \"next\": a page goes on by one of them");
    }
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

}  // namespace

std::vector<ProfileDefinition> ParseProfiles(std::string_view jsonText, const std::string& origin) {
    if (jsonText.size() > kMaxProfileFileBytes) {
        throw ProfileFileError(origin + ": larger than " +
                               std::to_string(kMaxProfileFileBytes / 1024) + " KiB");
    }
    std::optional<profile_json::StructureFault> fault;
    const Json document = profile_json::Parse(jsonText, origin, fault);
    if (fault) {
        const std::string where =
            fault->profileIndex
                ? LabelOf(document.value("profiles", Json()), *fault->profileIndex) + ": "
                : std::string();
        throw ProfileFileError(origin + ": " + where + fault->text);
    }
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

}  // namespace search
