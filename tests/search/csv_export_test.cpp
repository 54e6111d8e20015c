#include "search/csv_export.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace search {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class CsvExport : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zorvane_csv_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
    std::string folder_;
};

TEST_F(CsvExport, WritesHeaderAndRowsQuotedWithCrLf) {
    const std::vector<ResultRow> rows = {
        {"1", "say \"hi\", now", "http://a/?x=1,2", "http://google@127.0.0.1:8080"},
        {"3", "caf\xE9", "", "Google Backlink"},
    };
    const std::string path = folder_ + "/out.csv";
    {
        std::ofstream old(path);
        old << "an older, longer file that must be replaced entirely\n";
    }
    ExportResults(path, rows);
    EXPECT_EQ(
        ReadAll(path),
        "\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n"
        "\"1\",\"say \"\"hi\"\", now\",\"http://a/?x=1,2\",\"http://google@127.0.0.1:8080\"\r\n"
        "\"3\",\"caf\xE9\",\"\",\"Google Backlink\"\r\n");
}

TEST_F(CsvExport, EmptyListGivesTheHeaderAlone) {
    const std::string path = folder_ + "/empty.csv";
    ExportResults(path, {});
    EXPECT_EQ(ReadAll(path), "\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n");
}

TEST_F(CsvExport, FailureNamesTheFile) {
    const std::string path = folder_ + "/missing/out.csv";
    try {
        ExportResults(path, {{"1", "a", "b", "c"}});
        FAIL() << "no error for a missing folder";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace search
