#pragma once

#include "net/http_client.h"
#include "search/engines.h"
#include "search/search_host.h"

namespace search {

// Everything a pass works with: its surroundings, the harvester's HTTP client
// and the built-in texts. It belongs to the run, not to the network-free core
// that cuts pages.
struct SearchContext {
    SearchHost& host;
    net::HttpClient& http;
    const EngineSettings& settings;
};

}  // namespace search
