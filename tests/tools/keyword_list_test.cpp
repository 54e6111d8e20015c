#include "tools/harvest/keyword_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace harvest {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

KeywordOutput::PieceWriter::result_type Rows(const KeywordOutput::PieceWriter& write,
                                             const std::string& text) {
    return write(text);
}

class KeywordListTest : public ::testing::Test {
protected:
    testsupport::TempDir dir_{"zorvane_keywords"};
    const std::string out_ = (dir_ / "out.csv").string();
};

TEST_F(KeywordListTest, ReadsOneKeywordALine) {
    WriteFile(dir_ / "list.txt",
              "\xEF\xBB\xBF"
              "used cars\r\n\r\n  caf\xC3\xA9 cr\xC3\xA8me \t\nAT&T\rused "
              "cars\n\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(ReadKeywordList((dir_ / "list.txt").string()),
              (std::vector<std::string>{"used cars", "caf\xC3\xA9 cr\xC3\xA8me", "AT&T",
                                        "\xE6\x97\xA5\xE6\x9C\xAC"}));

    for (const std::string bad : {"ok\nLatin-1 caf\xE9\n", "\xC0\xAF", "\xED\xA0\x80"}) {
        WriteFile(dir_ / "bad.txt", bad);
        EXPECT_THROW(ReadKeywordList((dir_ / "bad.txt").string()), std::runtime_error);
    }
    EXPECT_THROW(ReadKeywordList((dir_ / "missing.txt").string()), std::runtime_error);
}

// A run that is cut short and taken up again ends with the rows of every
// keyword once: what the interrupted keyword wrote goes, and it runs again.
TEST_F(KeywordListTest, ResumeCutsBackToTheLastCompleteKeyword) {
    {
        KeywordOutput output(out_, "header\n", false);
        output.append("a", true, [](const auto& w) { return Rows(w, "a1\na2\n"); });
        output.append("b", false, [](const auto& w) { return Rows(w, "b1\n"); });
    }
    EXPECT_EQ(ReadFile(out_), "header\na1\na2\nb1\n");
    {
        KeywordOutput output(out_, "header\n", true);
        EXPECT_EQ(output.done(), (std::set<std::string>{"a"}));
        EXPECT_EQ(ReadFile(out_), "header\na1\na2\n");
        output.append("b", true, [](const auto& w) { return Rows(w, "b1\nb2\n"); });
    }
    EXPECT_EQ(ReadFile(out_), "header\na1\na2\nb1\nb2\n");
    // Without --resume a new run starts over.
    KeywordOutput fresh(out_, "header\n", false);
    EXPECT_TRUE(fresh.done().empty());
    EXPECT_EQ(ReadFile(out_), "header\n");
}

TEST_F(KeywordListTest, ATornOrForeignJournal) {
    {
        KeywordOutput output(out_, "h\n", false);
        output.append("a", true, [](const auto& w) { return Rows(w, "a\n"); });
        output.append("b", true, [](const auto& w) { return Rows(w, "b\n"); });
    }
    // A crash in the middle of the last record: "b" counts as not done.
    std::string journal = ReadFile(out_ + ".done");
    WriteFile(out_ + ".done", journal.substr(0, journal.size() - 2));
    {
        KeywordOutput output(out_, "h\n", true);
        EXPECT_EQ(output.done(), (std::set<std::string>{"a"}));
        EXPECT_EQ(ReadFile(out_), "h\na\n");
        output.append("b", true, [](const auto& w) { return Rows(w, "b\n"); });
    }
    EXPECT_EQ(ReadFile(out_ + ".done"), journal);

    // A journal that records more than the output holds belongs to another file.
    WriteFile(out_, "h\n");
    EXPECT_THROW(KeywordOutput(out_, "h\n", true), std::runtime_error);
    // No journal at all: nothing is complete, and the output starts over.
    std::filesystem::remove(out_ + ".done");
    KeywordOutput output(out_, "h\n", true);
    EXPECT_TRUE(output.done().empty());
}

TEST_F(KeywordListTest, RefusesWhatIsNotAFile) {
    EXPECT_THROW(KeywordOutput((dir_ / "no-such-folder" / "out.csv").string(), "h\n", false),
                 std::runtime_error);
    EXPECT_THROW(KeywordOutput("/dev/null", "h\n", false), std::runtime_error);
    KeywordOutput output(out_, "h\n", false);
    EXPECT_THROW(output.append("a", true, [](const auto&) { return false; }), std::runtime_error);
    EXPECT_TRUE(output.done().empty());
}

}  // namespace
}  // namespace harvest
