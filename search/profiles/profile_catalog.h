// The profiles the program runs with: the ones built in, overlaid by the
// program folder's engines.json and then by the user's.
#pragma once

#include <string>
#include <vector>

#include "search/profiles/engine_profile.h"

namespace search {

// The profile file of the user: engines.json in the user's configuration
// folder (util::UserConfigFolder); "" when there is none.
std::string UserProfilesPath();

struct ProfileCatalog {
    std::vector<ProfileDefinition> profiles;
    // One message per file that was skipped, for the caller to show.
    std::vector<std::string> errors;
};

// The built-in profiles, overlaid by <programFolder>engines.json and then by
// userFile, each when present (userFile "" for none). A profile named like
// an earlier one replaces it where it stood; new names are appended. A file
// that cannot be read or parsed is skipped whole, with its message in
// errors, so the program still starts with the others.
ProfileCatalog LoadProfileCatalog(const std::string& programFolder, const std::string& userFile);

}  // namespace search
