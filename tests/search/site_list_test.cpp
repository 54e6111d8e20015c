// The site lines from the program's sites.txt and the user's, and the lines
// the user's file keeps.
#include "search/site_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace search {
namespace {

namespace fs = std::filesystem;

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;
using Lines = std::vector<std::string>;

std::string Numbered(int count, const std::string& prefix) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += prefix + std::to_string(i) + "\r\n";
    }
    return text;
}

class SiteListTest : public ::testing::Test {
protected:
    std::string programFile() const { return (dir_ / "program/sites.txt").string(); }
    std::string userFile() const { return (dir_ / "config/zorvane/sites.txt").string(); }

    void write(const std::string& path, const std::optional<std::string>& bytes) {
        fs::remove_all(path);
        if (bytes) {
            fs::create_directories(fs::path(path).parent_path());
            WriteFileBytes(path, *bytes);
        }
    }

    testsupport::TempDir dir_{"zorvane_site_list"};
};

TEST_F(SiteListTest, TheUsersLinesFollowTheProgramsOnce) {
    const struct {
        const char* name;
        std::optional<std::string> program = std::nullopt;
        std::optional<std::string> user = std::nullopt;
        Lines lines;
        bool programMissing = false;
    } cases[] = {
        {.name = "neither file", .lines = {}, .programMissing = true},
        {.name = "the program's alone",
         .program = "http://a\r\n\r\nhttp://a\r\n",
         .lines = {"http://a", "", "http://a"}},
        {.name = "the user's alone",
         .user = "[bing] http://b\n",
         .lines = {"[bing] http://b"},
         .programMissing = true},
        {.name = "an empty program file and the user's",
         .program = "",
         .user = "http://u",
         .lines = {"http://u"}},
        {.name = "after the program's; repeats and blank lines of the user's left out",
         .program = "http://a\r\nhttp://b\r\n",
         .user = "http://b\r\n\r\n \t\r\nhttp://c\nhttp://a\rhttp://c\r\nhttp://b \r\n",
         .lines = {"http://a", "http://b", "http://c", "http://b "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write(programFile(), c.program);
        write(userFile(), c.user);
        const SiteList list = ReadSiteList(programFile(), userFile());
        EXPECT_EQ(list.lines, c.lines);
        EXPECT_EQ(list.programFileMissing, c.programMissing);
        EXPECT_TRUE(list.errors.empty());
    }
}

TEST_F(SiteListTest, AThousandLinesInAll) {
    write(programFile(), Numbered(998, "p"));
    write(userFile(), Numbered(5, "u"));
    SiteList list = ReadSiteList(programFile(), userFile());
    ASSERT_EQ(list.lines.size(), kMaxSiteLines);
    EXPECT_EQ(list.lines[997], "p997");
    EXPECT_EQ(list.lines[998], "u0");
    EXPECT_EQ(list.lines[999], "u1");

    write(programFile(), std::string(5000, '\n'));
    write(userFile(), "http://u\r\n");
    EXPECT_EQ(ReadSiteList(programFile(), userFile()).lines, Lines(1000, ""));
    // No user file at all: the program's lines alone.
    write(programFile(), "http://a\r\n");
    EXPECT_EQ(ReadSiteList(programFile(), "").lines, Lines{"http://a"});
}

TEST_F(SiteListTest, AnUnreadableFileIsNamedAndTheOtherStillRead) {
    // A folder in a file's place cannot be read.
    write(programFile(), std::nullopt);
    fs::create_directories(programFile());
    write(userFile(), "http://u\r\n");
    SiteList list = ReadSiteList(programFile(), userFile());
    EXPECT_EQ(list.lines, Lines{"http://u"});
    EXPECT_FALSE(list.programFileMissing);
    ASSERT_EQ(list.errors.size(), 1u);
    EXPECT_NE(list.errors[0].find(programFile()), std::string::npos) << list.errors[0];

    fs::remove_all(programFile());
    write(programFile(), "http://a\r\n");
    fs::remove_all(userFile());
    fs::create_directories(userFile());
    list = ReadSiteList(programFile(), userFile());
    EXPECT_EQ(list.lines, Lines{"http://a"});
    ASSERT_EQ(list.errors.size(), 1u);
    EXPECT_NE(list.errors[0].find(userFile()), std::string::npos) << list.errors[0];
}

TEST(TypedSiteLine, LongLinesAndLineBreaksAreRefused) {
    const struct {
        std::string line;
        TypedSiteLine check;
    } cases[] = {
        {.line = "", .check = TypedSiteLine::Usable},
        {.line = "[bing] https://www.bing.com", .check = TypedSiteLine::Usable},
        {.line = std::string(kMaxTypedSiteLineBytes, 'x'), .check = TypedSiteLine::Usable},
        {.line = std::string(kMaxTypedSiteLineBytes + 1, 'x'), .check = TypedSiteLine::TooLong},
        {.line = "http://a\rhttp://b", .check = TypedSiteLine::LineBreak},
        {.line = "http://a\n", .check = TypedSiteLine::LineBreak},
        {.line = std::string("http://a\0b", 10), .check = TypedSiteLine::LineBreak},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckTypedSiteLine(c.line), c.check) << c.line.substr(0, 40);
    }
}

TEST_F(SiteListTest, ARememberedLineIsAddedOnceWithItsFolder) {
    ASSERT_FALSE(fs::exists(fs::path(userFile()).parent_path()));
    EXPECT_TRUE(RememberSiteLine(userFile(), "[bing] http://b"));
    EXPECT_EQ(ReadFileBytes(userFile()), "[bing] http://b\r\n");
    EXPECT_FALSE(RememberSiteLine(userFile(), "[bing] http://b"));
    EXPECT_FALSE(RememberSiteLine(userFile(), " \t"));
    EXPECT_EQ(ReadFileBytes(userFile()), "[bing] http://b\r\n");

    // A file the user wrote keeps its lines, now with CR LF ends.
    write(userFile(), "http://x\nhttp://y");
    EXPECT_TRUE(RememberSiteLine(userFile(), "http://z"));
    EXPECT_EQ(ReadFileBytes(userFile()), "http://x\r\nhttp://y\r\nhttp://z\r\n");
    write(programFile(), "http://x\r\n");
    EXPECT_EQ(ReadSiteList(programFile(), userFile()).lines,
              (Lines{"http://x", "http://y", "http://z"}));
    // Nothing but the file itself in the folder: no temporary file is left.
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(userFile()).parent_path()),
                            fs::directory_iterator()),
              1);
}

TEST_F(SiteListTest, ALineThatCannotBeKeptLeavesTheFileAsItWas) {
    EXPECT_THROW(RememberSiteLine(userFile(), "http://a\r\nhttp://b"), std::invalid_argument);
    EXPECT_THROW(RememberSiteLine(userFile(), std::string(kMaxTypedSiteLineBytes + 1, 'x')),
                 std::invalid_argument);
    EXPECT_FALSE(fs::exists(userFile()));

    // A full list takes no more; a line it holds is still no error.
    const std::string full = Numbered(1000, "u");
    write(userFile(), full);
    try {
        RememberSiteLine(userFile(), "http://one-more");
        ADD_FAILURE() << "a full list took a line";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(userFile()), std::string::npos) << e.what();
    }
    EXPECT_FALSE(RememberSiteLine(userFile(), "u999"));
    EXPECT_EQ(ReadFileBytes(userFile()), full);

    // A file in the folder's place.
    fs::remove_all(dir_ / "config");
    WriteFileBytes(dir_ / "config", "not a folder");
    EXPECT_THROW(RememberSiteLine(userFile(), "http://a"), std::runtime_error);
    EXPECT_EQ(ReadFileBytes(dir_ / "config"), "not a folder");
}

}  // namespace
}  // namespace search
