#include "tools/harvest/keyword_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

// The message of what call throws, or "" when it throws nothing.
template <typename Call>
std::string Refusal(Call&& call) {
    try {
        call();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const JournalOwner kOwner = MakeJournalOwner({"a", "b"}, "csv", "http://google@127.0.0.1:1", 0);

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
        KeywordOutput output(out_, "header\n", kOwner, false);
        output.append("a", true, [](const auto& w) { return Rows(w, "a1\na2\n"); });
        output.append("b", false, [](const auto& w) { return Rows(w, "b1\n"); });
    }
    EXPECT_EQ(ReadFile(out_), "header\na1\na2\nb1\n");
    {
        KeywordOutput output(out_, "header\n", kOwner, true);
        EXPECT_EQ(output.done(), (std::set<std::string>{"a"}));
        EXPECT_EQ(ReadFile(out_), "header\na1\na2\n");
        output.append("b", true, [](const auto& w) { return Rows(w, "b1\nb2\n"); });
    }
    EXPECT_EQ(ReadFile(out_), "header\na1\na2\nb1\nb2\n");
    // Without --resume a new run starts over.
    KeywordOutput fresh(out_, "header\n", kOwner, false);
    EXPECT_TRUE(fresh.done().empty());
    EXPECT_EQ(ReadFile(out_), "header\n");
}

TEST_F(KeywordListTest, ATornLastLineIsAKeywordNotComplete) {
    {
        KeywordOutput output(out_, "h\n", kOwner, false);
        output.append("a", true, [](const auto& w) { return Rows(w, "a\n"); });
        output.append("b", true, [](const auto& w) { return Rows(w, "b\n"); });
    }
    // A crash in the middle of the last record, wherever: "b" counts as not
    // done, and the journal goes on from the record before.
    const std::string journal = ReadFile(out_ + ".done");
    const std::size_t lastLine = journal.rfind('\n', journal.size() - 2) + 1;
    for (std::size_t cut = lastLine + 1; cut < journal.size(); ++cut) {
        WriteFile(out_ + ".done", journal.substr(0, cut));
        WriteFile(out_, "h\na\nb\n");
        {
            KeywordOutput output(out_, "h\n", kOwner, true);
            EXPECT_EQ(output.done(), (std::set<std::string>{"a"})) << cut;
            EXPECT_EQ(ReadFile(out_), "h\na\n");
            output.append("b", true, [](const auto& w) { return Rows(w, "b\n"); });
        }
        EXPECT_EQ(ReadFile(out_ + ".done"), journal) << cut;
    }
}

// Nothing complete yet: the output starts over under the journal there is,
// which stays the same file, so that a kill at any moment of a run that
// keeps being resumed leaves no new journal's temporary file behind.
TEST_F(KeywordListTest, AJournalWithNothingCompleteKeepsItsFile) {
    {
        KeywordOutput output(out_, "h\n", kOwner, false);
        output.append("a", false, [](const auto& w) { return Rows(w, "a1\n"); });
    }
    const std::string journal = ReadFile(out_ + ".done");
    struct stat before {};
    ASSERT_EQ(::stat((out_ + ".done").c_str(), &before), 0);
    {
        KeywordOutput output(out_, "h\n", kOwner, true);
        EXPECT_TRUE(output.done().empty());
        EXPECT_EQ(ReadFile(out_), "h\n");
        output.append("a", true, [](const auto& w) { return Rows(w, "a1\n"); });
    }
    struct stat after {};
    ASSERT_EQ(::stat((out_ + ".done").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFile(out_ + ".done").rfind(journal, 0), 0u);
    KeywordOutput resumed(out_, "h\n", kOwner, true);
    EXPECT_EQ(resumed.done(), (std::set<std::string>{"a"}));
}

// --resume takes up only the journal of the same list, site, format and
// limit, and names what differs; the output stays as it was.
TEST_F(KeywordListTest, AJournalOfAnotherRunIsRefused) {
    struct Case {
        const char* name;
        JournalOwner owner;
        const char* named;
    } const cases[] = {
        {.name = "other list",
         .owner = MakeJournalOwner({"a", "c"}, "csv", kOwner.site, 0),
         .named = "another keyword list"},
        {.name = "same keywords, other order",
         .owner = MakeJournalOwner({"b", "a"}, "csv", kOwner.site, 0),
         .named = "another keyword list"},
        {.name = "other site",
         .owner = MakeJournalOwner({"a", "b"}, "csv", "http://yahoo@127.0.0.1:1", 0),
         .named = "the site text \"http://google@127.0.0.1:1\", not \"http://yahoo@127.0.0.1:1\""},
        {.name = "other limit",
         .owner = MakeJournalOwner({"a", "b"}, "csv", kOwner.site, 250),
         .named = "the item limit all, not 250"},
        {.name = "other format",
         .owner = MakeJournalOwner({"a", "b"}, "jsonl", kOwner.site, 0),
         .named = "the format csv, not jsonl"},
    };
    {
        KeywordOutput output(out_, "h\n", kOwner, false);
        output.append("a", true, [](const auto& w) { return Rows(w, "a\n"); });
    }
    const std::string journal = ReadFile(out_ + ".done");
    for (const Case& c : cases) {
        const std::string why = Refusal([&] { KeywordOutput(out_, "h\n", c.owner, true); });
        EXPECT_TRUE(Contains(why, out_ + ".done")) << c.name << ": " << why;
        EXPECT_TRUE(Contains(why, c.named)) << c.name << ": " << why;
        EXPECT_EQ(ReadFile(out_), "h\na\n") << c.name;
        EXPECT_EQ(ReadFile(out_ + ".done"), journal) << c.name;
    }
    // Every difference at once is named at once.
    const std::string why = Refusal(
        [&] { KeywordOutput(out_, "h\n", MakeJournalOwner({"x"}, "jsonl", "s", 3), true); });
    for (const char* named : {"another keyword list", "the site text", "the format csv, not jsonl",
                              "the item limit all, not 3"}) {
        EXPECT_TRUE(Contains(why, named)) << named << ": " << why;
    }
}

TEST_F(KeywordListTest, TheSameListSavedAgainIsTheSameList) {
    WriteFile(dir_ / "lf.txt", "a\nb\n");
    WriteFile(dir_ / "crlf.txt", "\xEF\xBB\xBF a\r\n\r\nb \r\na\r\n");
    EXPECT_EQ(MakeJournalOwner(ReadKeywordList((dir_ / "lf.txt").string()), "csv", "s", 0),
              MakeJournalOwner(ReadKeywordList((dir_ / "crlf.txt").string()), "csv", "s", 0));
    // Every limit of 0 or less means all items.
    EXPECT_EQ(MakeJournalOwner({"a"}, "csv", "s", -5), MakeJournalOwner({"a"}, "csv", "s", 0));
    // A site text with a tab or line end of its own is read back as it was.
    const JournalOwner odd = MakeJournalOwner({"a"}, "csv", "x\ty\\n\nz\r", 0);
    {
        KeywordOutput output(out_, "h\n", odd, false);
        output.append("a", true, [](const auto& w) { return Rows(w, "a\n"); });
    }
    KeywordOutput resumed(out_, "h\n", odd, true);
    EXPECT_EQ(resumed.done(), (std::set<std::string>{"a"}));
}

// One flipped byte anywhere in a whole line of the journal, and --resume
// refuses it, naming the line; it never starts the list over.
TEST_F(KeywordListTest, ADamagedJournalIsRefused) {
    {
        KeywordOutput output(out_, "h\n", kOwner, false);
        output.append("a", true, [](const auto& w) { return Rows(w, "a\n"); });
        output.append("b", true, [](const auto& w) { return Rows(w, "b\n"); });
    }
    const std::string journal = ReadFile(out_ + ".done");
    const std::size_t headerEnd = journal.find('\n') + 1;
    const std::size_t secondEnd = journal.find('\n', headerEnd) + 1;
    // The last line end stays: without it the last line is a torn one.
    for (std::size_t at = 0; at + 1 < journal.size(); ++at) {
        for (const unsigned char flip : {0x01, 0x20, 0x80}) {
            std::string damaged = journal;
            damaged[at] = static_cast<char>(damaged[at] ^ flip);
            WriteFile(out_ + ".done", damaged);
            const std::string why = Refusal([&] { KeywordOutput(out_, "h\n", kOwner, true); });
            const char* named = at < headerEnd   ? "its first line is damaged"
                                : at < secondEnd ? "line 2 is damaged"
                                                 : "line 3 is damaged";
            ASSERT_TRUE(Contains(why, named)) << at << " " << int(flip) << ": " << why;
            ASSERT_EQ(ReadFile(out_), "h\na\nb\n") << at;
        }
    }
    const struct {
        const char* name;
        std::string text;
    } others[] = {
        {.name = "empty", .text = ""},
        {.name = "a first line without its end", .text = journal.substr(0, headerEnd - 1)},
        {.name = "the layout before the journal named its run", .text = "2\ta\n4\tb\n"},
        {.name = "a record line dropped",
         .text = journal.substr(0, headerEnd) + journal.substr(secondEnd)},
    };
    for (const auto& other : others) {
        WriteFile(out_ + ".done", other.text);
        const std::string why = Refusal([&] { KeywordOutput(out_, "h\n", kOwner, true); });
        EXPECT_TRUE(Contains(why, "damaged")) << other.name << ": " << why;
        EXPECT_EQ(ReadFile(out_), "h\na\nb\n") << other.name;
    }
}

TEST_F(KeywordListTest, AJournalThatDoesNotFitTheOutput) {
    {
        KeywordOutput output(out_, "h\n", kOwner, false);
        output.append("a", true, [](const auto& w) { return Rows(w, "a\n"); });
    }
    // A journal that records more than the output holds belongs to another file.
    WriteFile(out_, "h\n");
    EXPECT_TRUE(
        Contains(Refusal([&] { KeywordOutput(out_, "h\n", kOwner, true); }), "records more than"));
    std::filesystem::remove(out_);
    EXPECT_TRUE(
        Contains(Refusal([&] { KeywordOutput(out_, "h\n", kOwner, true); }), "records more than"));

    // Rows without a journal are no list to take up, and stay.
    std::filesystem::remove(out_ + ".done");
    WriteFile(out_, "h\nsomeone's rows\n");
    EXPECT_TRUE(
        Contains(Refusal([&] { KeywordOutput(out_, "h\n", kOwner, true); }), "has no journal"));
    EXPECT_EQ(ReadFile(out_), "h\nsomeone's rows\n");
    // No output, or an empty one, and no journal: the first run of a list
    // started with --resume.
    for (const bool exists : {false, true}) {
        std::filesystem::remove(out_);
        std::filesystem::remove(out_ + ".done");
        if (exists) {
            WriteFile(out_, "");
        }
        KeywordOutput output(out_, "h\n", kOwner, true);
        EXPECT_TRUE(output.done().empty());
        EXPECT_EQ(ReadFile(out_), "h\n");
    }
}

// Two runs on one output: the second is refused before it touches the
// output or the journal, and the first goes on.
TEST_F(KeywordListTest, ARunHoldsItsOutputLocked) {
    KeywordOutput first(out_, "h\n", kOwner, false);
    first.append("a", true, [](const auto& w) { return Rows(w, "a\n"); });
    const std::string journal = ReadFile(out_ + ".done");
    for (const bool resume : {false, true}) {
        EXPECT_TRUE(Contains(Refusal([&] { KeywordOutput(out_, "h\n", kOwner, resume); }),
                             "another zorvane-harvest run is writing it"));
        EXPECT_EQ(ReadFile(out_), "h\na\n");
        EXPECT_EQ(ReadFile(out_ + ".done"), journal);
    }
    first.append("b", true, [](const auto& w) { return Rows(w, "b\n"); });
    EXPECT_EQ(ReadFile(out_), "h\na\nb\n");
}

TEST_F(KeywordListTest, RefusesWhatIsNotAFile) {
    EXPECT_THROW(
        KeywordOutput((dir_ / "no-such-folder" / "out.csv").string(), "h\n", kOwner, false),
        std::runtime_error);
    EXPECT_THROW(KeywordOutput("/dev/null", "h\n", kOwner, false), std::runtime_error);
    KeywordOutput output(out_, "h\n", kOwner, false);
    EXPECT_THROW(output.append("a", true, [](const auto&) { return false; }), std::runtime_error);
    EXPECT_TRUE(output.done().empty());
}

}  // namespace
}  // namespace harvest
