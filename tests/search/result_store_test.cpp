#include "search/result_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/csv_export.h"

namespace search {
namespace {

// Rows that cross many storage blocks, switch engine sites back and forth and
// hold the texts that are easy to get wrong: empty ones, quotes, NUL and
// high bytes, and one text larger than a block.
std::vector<ResultRow> TrickyRows() {
    std::vector<ResultRow> rows;
    const std::string sites[] = {"http://google@127.0.0.1:8080", "Google Backlink", ""};
    for (int i = 1; i <= 40000; ++i) {
        rows.push_back({std::to_string(i), "anchor \"" + std::to_string(i) + "\"",
                        "http://www.site" + std::to_string(i) + ".example/", sites[i / 7000 % 3]});
    }
    rows.push_back({"", "", "", ""});
    rows.push_back({"7", std::string("nul\0and\xE9", 8), std::string(3 << 20, 'u'), "yahoo"});
    rows.push_back({"8", "after the large row", "http://a/", "http://google@127.0.0.1:8080"});
    return rows;
}

void ExpectSameRows(const ResultStore& store, const std::vector<ResultRow>& rows) {
    ASSERT_EQ(store.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RowView row = store.at(i);
        ASSERT_EQ(row.pos, rows[i].pos) << i;
        ASSERT_EQ(row.anchor, rows[i].anchor) << i;
        ASSERT_EQ(row.url, rows[i].url) << i;
        ASSERT_EQ(row.engineSite, rows[i].engineSite) << i;
    }
}

TEST(ResultStore, HoldsEveryRowExactlyAndExportsTheSameBytes) {
    const std::vector<ResultRow> rows = TrickyRows();
    ResultStore store;
    for (const ResultRow& row : rows) {
        store.append(row);
    }
    ExpectSameRows(store, rows);
    EXPECT_TRUE(FormatExport(store) == FormatExport(rows));

    store.clear();
    EXPECT_EQ(store.size(), 0u);
    store.append(rows.back());
    ExpectSameRows(store, {rows.back()});
}

// The export reaches its writer in bounded pieces, and a failed write ends
// it at once with the failure reported.
TEST(WriteExport, StreamsInBoundedPiecesAndStopsAtTheFirstFailedWrite) {
    std::vector<ResultRow> rows;
    for (int i = 1; i <= 20000; ++i) {
        rows.push_back({std::to_string(i), "anchor", "http://a.example/", "google"});
    }
    const RowVectorSource source(rows);
    std::string joined;
    std::size_t largest = 0;
    EXPECT_TRUE(WriteExport(source, [&](std::string_view piece) {
        joined.append(piece);
        largest = std::max(largest, piece.size());
        return true;
    }));
    EXPECT_TRUE(joined == FormatExport(rows));
    EXPECT_LT(largest, joined.size() / 4);

    int calls = 0;
    EXPECT_FALSE(WriteExport(source, [&calls](std::string_view) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace search
