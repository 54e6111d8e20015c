// engines.json: reading a profile file into ProfileDefinition, refusing
// anything a search could trip over later. The catalog of the files the
// program reads is in profile_catalog.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "search/profiles/engine_profile.h"

namespace search {

// A profile file that cannot be used, with a text that names the file, the
// profile and the key: `engines.json: profile "bing": key "hits": not valid
// XPath: Invalid expression`.
class ProfileFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A profile file is a few dozen profiles of a few hundred bytes each; a
// bigger one is no file of ours.
inline constexpr std::size_t kMaxProfileFileBytes = 1024 * 1024;

// Bounds on a profile's numbers. The offset of page i is firstOffset + i *
// offsetStep: with these bounds it stays far inside 64 bits for any page a
// search can reach.
inline constexpr std::int64_t kMaxFirstOffset = 1'000'000'000;
inline constexpr std::int64_t kMaxOffsetStep = 1'000'000;
inline constexpr std::int64_t kMaxItemsPerPage = 1000;
// Ten minutes between two pages is already a search that stands still.
inline constexpr std::int64_t kMaxDelayMs = 600'000;
// A catalog is a few dozen engines; every site line is matched against all
// of them.
inline constexpr std::size_t kMaxProfilesPerFile = 1000;
// A profile has 19 keys and its headers a handful of fields.
inline constexpr std::size_t kMaxKeysPerObject = 256;
// A name stands in status texts and site-line tags.
inline constexpr std::size_t kMaxProfileNameBytes = 100;

// The profiles of one file, top level {"profiles": [{...}, ...]}, keys named
// like the fields of ProfileDefinition; origin is the file's name for the
// messages and goes into every profile's origin. name, path, hits, link and
// title are required; every other field keeps its default when absent.
// Throws ProfileFileError for text that is not JSON (with line and column),
// for an unknown or repeated key, a value of the wrong type or out of its
// bounds, an XPath that does not compile, a path without "{query}" or with
// a field other than {query}, {offset}, {count}, {lang} and {region}, a
// {lang} or {region} without its default outside "[...]" (a part sent only
// when the search chose the value), a default LocaleValueFault refuses, both
// "next" and
// "nextForm", a header that could not
// be sent as it stands, two profiles of one name, more than
// kMaxProfilesPerFile profiles or kMaxKeysPerObject keys in one object, and text longer
// than kMaxProfileFileBytes. A profile without a usable name is named by its
// place in the list, counted from 0 as in the file's path: profiles[2].
std::vector<ProfileDefinition> ParseProfiles(std::string_view jsonText, const std::string& origin);

// The shipped search/profiles/engines.json, compiled into the program.
std::string_view BuiltInProfilesText();

}  // namespace search
