#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "search/result_row.h"

namespace search {

// A row's texts as views into the place that holds them.
struct RowView {
    std::string_view pos;
    std::string_view anchor;
    std::string_view url;
    std::string_view engineSite;
    std::string_view snippet = {};
    std::string_view rawLink = {};
    std::string_view displayUrl = {};
};

// Rows handed out in order by index: what an export reads.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual std::size_t size() const = 0;
    // Valid until the source changes.
    virtual RowView at(std::size_t index) const = 0;
};

// The rows of a std::vector<ResultRow>, as the window holds them.
class RowVectorSource final : public RowSource {
public:
    explicit RowVectorSource(const std::vector<ResultRow>& rows) : rows_(rows) {}
    std::size_t size() const override { return rows_.size(); }
    RowView at(std::size_t index) const override;

private:
    const std::vector<ResultRow>& rows_;
};

// Rows held compactly, for runs of a million rows and more: each row's texts
// lie back to back in large blocks (no allocation per text), and the engine
// site, the same for every row of a pass, is held once.
class ResultStore final : public RowSource {
public:
    ResultStore() = default;
    ResultStore(const ResultStore&) = delete;
    ResultStore& operator=(const ResultStore&) = delete;

    void append(const ResultRow& row);
    void clear();

    std::size_t size() const override { return rows_.size(); }
    RowView at(std::size_t index) const override;

private:
    // Where a row's texts start, and how long each is; the engine site is
    // an index into sites_. The position (a row number) and the site index
    // are small, so that the display URL costs no row anything: 32 bytes on
    // 64-bit systems, as before it.
    struct Entry {
        const char* bytes;
        std::uint16_t posSize;
        std::uint16_t site;
        std::uint32_t anchorSize;
        std::uint32_t urlSize;
        std::uint32_t snippetSize;
        std::uint32_t rawLinkSize;
        std::uint32_t displayUrlSize;
    };
    static_assert(sizeof(Entry) <= 32);

    char* reserve(std::size_t size);
    std::uint16_t siteIndex(std::string_view site);

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockUsed_ = 0;
    std::size_t blockSize_ = 0;
    std::vector<Entry> rows_;
    std::vector<std::string> sites_;
};

}  // namespace search
