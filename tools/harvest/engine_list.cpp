#include "tools/harvest/engine_list.h"

#include <algorithm>
#include <cstdio>

namespace harvest {

void ListEngines(const std::vector<search::ProfileDefinition>& profiles) {
    for (const char* pass : {"google", "yahoo", "live", "altavista", "google backlinks"}) {
        const bool replaced =
            std::any_of(profiles.begin(), profiles.end(),
                        [pass](const search::ProfileDefinition& p) { return p.name == pass; });
        if (!replaced) {
            std::printf("%s\tselected by \"%s\"\tbuilt-in pass\n", pass, pass);
        }
    }
    for (const search::ProfileDefinition& profile : profiles) {
        std::printf("%s\tselected by \"%s\"\t%s\n", profile.name.c_str(), profile.select.c_str(),
                    profile.origin.c_str());
    }
}

}  // namespace harvest
