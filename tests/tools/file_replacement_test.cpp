#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "search/file_replace.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"
#include "tools/harvest/fatal_signal.h"

namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename());
    }
    return names;
}

bool WriteText(const search::PieceWriter& write) {
    return write("new rows\n");
}

class FileReplacementTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFileBytes(out_, "old rows\n"); }

    testsupport::TempDir dir_{"zorvane_replace"};
    const std::string out_ = (dir_ / "out.csv").string();
};

// The temporary file is there from the start, so that an output that cannot
// be written is known before the work for it; given up, it goes.
TEST_F(FileReplacementTest, TheTemporaryFileIsMadeAtOnce) {
    {
        search::FileReplacement file(out_);
        EXPECT_EQ(Names(dir_.path()).size(), 2u);
    }
    EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"out.csv"}));
    EXPECT_EQ(ReadFileBytes(out_), "old rows\n");

    search::FileReplacement file(out_);
    file.commit(WriteText);
    EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"out.csv"}));
    EXPECT_EQ(ReadFileBytes(out_), "new rows\n");
}

TEST_F(FileReplacementTest, AnOutputThatCannotBeWrittenFailsAtOnce) {
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        // Refused to root as well.
        {.name = "folder is a file", .path = out_ + "/rows.csv"},
        {.name = "no such folder", .path = (dir_ / "missing" / "rows.csv").string()},
        {.name = "proc", .path = "/proc/zorvane-rows.csv"},
        {.name = "a device", .path = "/dev/null"},
    };
    for (const auto& c : cases) {
        try {
            search::FileReplacement file(c.path);
            ADD_FAILURE() << c.name << ": no failure";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << c.name;
        }
    }
    EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"out.csv"}));
}

// A signal that ends the program takes the temporary file with it, whether
// it comes while the output waits for its rows or in the middle of them.
TEST_F(FileReplacementTest, AFatalSignalLeavesNoTemporaryFile) {
    const struct {
        const char* name;
        bool whileWriting;
    } cases[] = {
        {.name = "waiting", .whileWriting = false},
        {.name = "writing", .whileWriting = true},
    };
    for (const auto& c : cases) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // As the harvester's handler takes a second signal.
            ::signal(SIGTERM, harvest::EndBySignal);
            search::FileReplacement file(out_);
            if (!c.whileWriting) {
                ::raise(SIGTERM);
            }
            file.commit([](const search::PieceWriter& write) {
                write("half of the rows\n");
                ::raise(SIGTERM);
                return write("the other half\n");
            });
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << c.name;
        EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"out.csv"})) << c.name;
        EXPECT_EQ(ReadFileBytes(out_), "old rows\n") << c.name;
    }
}

}  // namespace
