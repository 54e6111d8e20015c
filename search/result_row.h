#pragma once

#include <string>

namespace search {

// One harvested hit, one row of the result grid. The four grid texts are held
// as the bytes that arrived. An engine profile also gives the hit's snippet,
// the link as the page wrote it (before unwrapping a redirect) and, where the
// link does not carry the destination, the address the page shows; the
// built-in passes leave them empty, and only the JSON Lines output shows them.
struct ResultRow {
    std::string pos;
    std::string anchor;
    std::string url;
    std::string engineSite;
    std::string snippet = {};
    std::string rawLink = {};
    std::string displayUrl = {};

    bool operator==(const ResultRow&) const = default;
};

}  // namespace search
