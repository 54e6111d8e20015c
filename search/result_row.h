#pragma once

#include <string>

namespace search {

// One harvested hit, one row of the result grid. Every text is held as the
// bytes that arrived; nothing is decoded.
struct ResultRow {
    std::string pos;
    std::string anchor;
    std::string url;
    std::string engineSite;

    bool operator==(const ResultRow&) const = default;
};

}  // namespace search
