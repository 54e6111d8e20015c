#include "search/result_store.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "search/csv_export.h"
#include "search/jsonl_export.h"

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
    // A profile's row, with every text of its own, and rows with some of them.
    rows.push_back({.pos = "9",
                    .anchor = "hit",
                    .url = "https://www.sogou.com/link?url=x",
                    .engineSite = "[sogou] https://www.sogou.com",
                    .snippet = "about it",
                    .rawLink = "/link?url=x",
                    .displayUrl = "news.example/a..."});
    rows.push_back({.pos = "10", .anchor = "", .url = "", .engineSite = "", .displayUrl = "d"});
    rows.push_back({.pos = "11", .anchor = "", .url = "", .engineSite = "", .rawLink = "r"});
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
        ASSERT_EQ(row.snippet, rows[i].snippet) << i;
        ASSERT_EQ(row.rawLink, rows[i].rawLink) << i;
        ASSERT_EQ(row.displayUrl, rows[i].displayUrl) << i;
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

// A row's position and engine site are held in 16 bits: a search's sites
// are far fewer, and a text past that is refused, not cut.
TEST(ResultStore, RefusesMoreSitesThanItCanNumber) {
    ResultStore store;
    for (int i = 0; i < 65536; ++i) {
        store.append({"1", "a", "u", std::to_string(i)});
    }
    EXPECT_EQ(store.at(65535).engineSite, "65535");
    EXPECT_THROW(store.append({"1", "a", "u", "one more"}), std::length_error);
    EXPECT_THROW(store.append({std::string(65536, '1'), "a", "u", "0"}), std::length_error);
    EXPECT_EQ(store.size(), 65536u);
}

TEST(WriteJsonLines, WritesAProfileRowsOwnTextsOnlyWhenItHasThem) {
    const std::vector<ResultRow> rows = {
        {.pos = "1",
         .anchor = "a",
         .url = "https://www.sogou.com/link?url=x",
         .engineSite = "s",
         .snippet = "",
         .rawLink = "/link?url=x",
         .displayUrl = "news.example/a..."},
        {"2", "b", "http://b/", "s"},
    };
    std::string out;
    ASSERT_TRUE(WriteJsonLines(RowVectorSource(rows), [&out](std::string_view piece) {
        out += piece;
        return true;
    }));
    EXPECT_EQ(out,
              "{\"position\":1,\"anchor\":\"a\",\"url\":\"https://www.sogou.com/link?url=x\","
              "\"engine_site\":\"s\",\"raw_link\":\"/link?url=x\","
              "\"display_url\":\"news.example/a...\"}\n"
              "{\"position\":2,\"anchor\":\"b\",\"url\":\"http://b/\",\"engine_site\":\"s\"}\n");
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
