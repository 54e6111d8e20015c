// Every shipped engine profile over whatever a server sends: no crash, no
// hang, no more hits than the bound, every text within its bound.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "search/profiles/profile_extract.h"
#include "search/profiles/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<search::CompiledProfile> profiles = [] {
        std::vector<search::CompiledProfile> compiled;
        for (const search::ProfileDefinition& definition :
             search::ParseProfiles(search::BuiltInProfilesText(), "engines.json")) {
            compiled.emplace_back(definition);
        }
        return compiled;
    }();
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    for (const search::CompiledProfile& profile : profiles) {
        const search::ProfilePage result = profile.extract(page);
        if (result.hits.size() > search::kMaxHitsPerPage) {
            __builtin_trap();
        }
        for (const search::ProfileHit& hit : result.hits) {
            if (hit.title.empty() || hit.title.size() > search::kMaxHitTextBytes ||
                hit.snippet.size() > search::kMaxHitTextBytes || hit.rawLink.empty()) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
