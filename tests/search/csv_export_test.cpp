#include "search/csv_export.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/temp_dir.h"

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
    // What the folder holds besides `expected`: a temporary file left over.
    std::vector<std::string> strayFiles(const std::vector<std::string>& expected) const {
        std::vector<std::string> stray;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            const std::string name = entry.path().filename();
            if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
                stray.push_back(name);
            }
        }
        return stray;
    }

    testsupport::TempDir dir_{"zorvane_csv"};
    const std::string folder_ = dir_.path().string();
};

// A file size limit makes every write beyond it fail as a full disk does,
// for this process only.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::vector<ResultRow> ManyRows(std::size_t count) {
    std::vector<ResultRow> rows;
    for (std::size_t i = 1; i <= count; ++i) {
        rows.push_back({std::to_string(i), "anchor " + std::to_string(i),
                        "http://www.site" + std::to_string(i) + ".example/", "google"});
    }
    return rows;
}

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

// The disk fills up halfway through the new export: the old one is still
// there, whole, and the half-written file is gone.
TEST_F(CsvExport, AFailedWriteLeavesTheOldFileWhole) {
    const std::string path = folder_ + "/out.csv";
    const std::string old = FormatExport(ManyRows(3));
    std::ofstream(path, std::ios::binary) << old;
    {
        FileSizeLimit limit(16 * 1024);
        try {
            ExportResults(path, ManyRows(5000));
            FAIL() << "no error for a full disk";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(ReadAll(path) == old) << "the old export changed";
    EXPECT_EQ(strayFiles({"out.csv"}), std::vector<std::string>{});
}

// The byte order mark comes once, before the header, and leaves every byte
// after it as the plain export has them, also in a file the size of several
// written pieces.
TEST_F(CsvExport, Utf8BomPrecedesTheSameBytes) {
    const struct {
        const char* name;
        std::vector<ResultRow> rows;
    } cases[] = {
        {.name = "no rows", .rows = {}},
        {.name = "UTF-8 and 8-bit anchors",
         .rows = {{"1", "Caf\xC3\xA9 \"au lait\"", "http://a/", "google"},
                  {"2", "caf\xE9", "http://b/", "google"}}},
        {.name = "many pieces", .rows = ManyRows(2000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string plain = FormatExport(c.rows);
        EXPECT_TRUE(FormatExport(c.rows, {.utf8Bom = true}) == "\xEF\xBB\xBF" + plain);
        const std::string path = folder_ + "/bom.csv";
        ExportResults(path, c.rows, {.utf8Bom = true});
        EXPECT_TRUE(ReadAll(path) == "\xEF\xBB\xBF" + plain);
        ExportResults(path, c.rows);
        EXPECT_TRUE(ReadAll(path) == plain) << "the mark stayed without the option";
    }
}

// Replacing a file keeps who may read it; a new file gets what any new file
// of the user gets.
TEST_F(CsvExport, AReplacedFileKeepsItsPermissionBits) {
    for (const mode_t mode : {0600, 0640, 0604, 0664, 0444}) {
        const std::string path = folder_ + "/out.csv";
        std::ofstream(path) << "old";
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        ExportResults(path, ManyRows(2));
        EXPECT_EQ(ModeOf(path), mode) << std::oct << mode;
        EXPECT_EQ(ReadAll(path), FormatExport(ManyRows(2)));
        std::filesystem::remove(path);
    }
    const mode_t oldMask = umask(027);
    ExportResults(folder_ + "/new.csv", {});
    umask(oldMask);
    EXPECT_EQ(ModeOf(folder_ + "/new.csv"), 0640u);
    EXPECT_EQ(strayFiles({"new.csv"}), std::vector<std::string>{});
}

// A link to an export is followed: the file it names gets the new rows and
// the link stays a link.
TEST_F(CsvExport, ALinkIsFollowedAndKept) {
    std::filesystem::create_directory(folder_ + "/real");
    const std::string real = folder_ + "/real/out.csv";
    std::ofstream(real) << "old";
    const std::string link = folder_ + "/link.csv";
    std::filesystem::create_symlink(real, link);
    ExportResults(link, ManyRows(1));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadAll(real), FormatExport(ManyRows(1)));
    EXPECT_EQ(strayFiles({"real", "link.csv"}), std::vector<std::string>{});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_ + "/real"), {}), 1);
}

// A FIFO or a device is no export: nothing is written into it (a FIFO
// without a reader would block the window for good).
TEST_F(CsvExport, ATargetThatIsNoRegularFileIsRefused) {
    const std::string fifo = folder_ + "/out.csv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A reader, so that a writer is not blocked and anything written shows.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_THROW(ExportResults(fifo, ManyRows(1)), std::runtime_error);
    char byte;
    EXPECT_LE(read(reader, &byte, 1), 0);
    close(reader);
    EXPECT_EQ(strayFiles({"out.csv"}), std::vector<std::string>{});
}

}  // namespace
}  // namespace search
