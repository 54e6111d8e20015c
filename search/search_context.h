#pragma once

#include <vector>

#include "net/http_client.h"
#include "search/engines.h"
#include "search/profiles/engine_profile.h"
#include "search/search_host.h"

namespace search {

// Everything a pass works with: its surroundings, the harvester's HTTP client
// and the built-in texts. It belongs to the run, not to the network-free core
// that cuts pages.
struct SearchContext {
    SearchHost& host;
    net::HttpClient& http;
    const EngineSettings& settings;
    // The engine profiles a site line may select; none: only the built-in
    // passes run, exactly by their names.
    const std::vector<ProfileDefinition>* profiles = nullptr;
    // The language and region profiles fill in; empty: each profile's default.
    ProfileLocale locale = {};
};

}  // namespace search
