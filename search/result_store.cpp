#include "search/result_store.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace search {
namespace {

// Large enough that the block table stays small for millions of rows, small
// enough that the last, partly used block wastes little.
constexpr std::size_t kBlockBytes = 1 << 20;

std::uint32_t TextSize(std::string_view text) {
    // A row's text comes from a page of at most 16 MiB; anything beyond the
    // index range is a broken caller, not a server.
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("row text too long");
    }
    return static_cast<std::uint32_t>(text.size());
}

// A row number as text, and the sites of one search (at most the site
// list's 1000 lines): far inside 16 bits unless the caller is broken.
std::uint16_t SmallSize(std::size_t size) {
    if (size > std::numeric_limits<std::uint16_t>::max()) {
        throw std::length_error("row position or site count too large");
    }
    return static_cast<std::uint16_t>(size);
}

}  // namespace

RowView RowVectorSource::at(std::size_t index) const {
    const ResultRow& row = rows_[index];
    return {row.pos, row.anchor, row.url, row.engineSite, row.snippet, row.rawLink, row.displayUrl};
}

void ResultStore::append(const ResultRow& row) {
    Entry entry{nullptr,
                SmallSize(row.pos.size()),
                siteIndex(row.engineSite),
                TextSize(row.anchor),
                TextSize(row.url),
                TextSize(row.snippet),
                TextSize(row.rawLink),
                TextSize(row.displayUrl)};
    const auto texts = {&row.pos,     &row.anchor,  &row.url,
                        &row.snippet, &row.rawLink, &row.displayUrl};
    std::size_t total = 0;
    for (const std::string* text : texts) {
        total += text->size();
    }
    char* out = reserve(total);
    entry.bytes = out;
    for (const std::string* text : texts) {
        std::memcpy(out, text->data(), text->size());
        out += text->size();
    }
    rows_.push_back(entry);
}

void ResultStore::clear() {
    blocks_.clear();
    blockUsed_ = 0;
    blockSize_ = 0;
    rows_.clear();
    sites_.clear();
}

RowView ResultStore::at(std::size_t index) const {
    const Entry& entry = rows_[index];
    const char* p = entry.bytes;
    const std::string_view pos(p, entry.posSize);
    p += entry.posSize;
    const std::string_view anchor(p, entry.anchorSize);
    p += entry.anchorSize;
    const std::string_view url(p, entry.urlSize);
    p += entry.urlSize;
    const std::string_view snippet(p, entry.snippetSize);
    p += entry.snippetSize;
    const std::string_view rawLink(p, entry.rawLinkSize);
    p += entry.rawLinkSize;
    return {pos,
            anchor,
            url,
            sites_[entry.site],
            snippet,
            rawLink,
            std::string_view(p, entry.displayUrlSize)};
}

char* ResultStore::reserve(std::size_t size) {
    if (blocks_.empty() || blockSize_ - blockUsed_ < size) {
        // A row larger than a block gets a block of its own size.
        blockSize_ = std::max(kBlockBytes, size);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
        blockUsed_ = 0;
    }
    char* at = blocks_.back().get() + blockUsed_;
    blockUsed_ += size;
    return at;
}

std::uint16_t ResultStore::siteIndex(std::string_view site) {
    // Rows come pass by pass, so the site is nearly always the last one seen;
    // a search runs at most five passes, so the rest is a short walk.
    for (std::size_t i = sites_.size(); i-- > 0;) {
        if (sites_[i] == site) {
            return static_cast<std::uint16_t>(i);
        }
    }
    const std::uint16_t index = SmallSize(sites_.size());
    sites_.emplace_back(site);
    return index;
}

}  // namespace search
