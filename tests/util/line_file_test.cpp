#include "util/line_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

namespace {

using Lines = std::vector<std::string>;

struct SplitCase {
    std::string text;
    Lines lines;
};

TEST(SplitLines, EveryLineEndAndTheNulByte) {
    const SplitCase cases[] = {
        {.text = "", .lines = {}},
        {.text = "a", .lines = {"a"}},
        {.text = "a\r\nb\nc\rd", .lines = {"a", "b", "c", "d"}},
        {.text = "a\r\n", .lines = {"a"}},
        {.text = "a\r\n\r\nb", .lines = {"a", "", "b"}},
        {.text = "\n", .lines = {""}},
        {.text = "\n\r", .lines = {"", ""}},
        {.text = "a\r\r\nb", .lines = {"a", "", "b"}},
        {.text = "a\n\rb", .lines = {"a", "", "b"}},
        {.text = std::string("a\nb\0c\nd", 7), .lines = {"a", "b"}},
        {.text = std::string("\0abc", 4), .lines = {}},
        {.text = "\xAF\xFF\x01", .lines = {"\xAF\xFF\x01"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::SplitLines(c.text), c.lines) << "text: " << c.text;
    }
}

TEST(JoinLinesCrLf, EndsEveryLineWithCrLf) {
    EXPECT_EQ(util::JoinLinesCrLf({}), "");
    EXPECT_EQ(util::JoinLinesCrLf({""}), "\r\n");
    EXPECT_EQ(util::JoinLinesCrLf({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

class LineFileTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return (dir_ / name).string(); }

    testsupport::TempDir dir_{"zorvane_line_file"};
};

TEST_F(LineFileTest, WritesCrLfAndReadsBack) {
    const Lines lines = {"first", "", "\xE4\xF6\xFC"};
    util::WriteLineFile(path("f.txt"), lines);
    std::ifstream in(path("f.txt"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes, "first\r\n\r\n\xE4\xF6\xFC\r\n");
    EXPECT_EQ(util::ReadLineFile(path("f.txt")), lines);

    util::WriteLineFile(path("f.txt"), {"x"});
    EXPECT_EQ(util::ReadLineFile(path("f.txt")), Lines{"x"});
}

TEST_F(LineFileTest, FailuresNameThePath) {
    const std::string missing = path("missing.txt");
    try {
        util::ReadLineFile(missing);
        FAIL() << "no error for a missing file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    }
    const std::string inMissingFolder = path("no/such/folder.txt");
    EXPECT_THROW(util::WriteLineFile(inMissingFolder, {"a"}), std::runtime_error);
    EXPECT_THROW(util::ReadLineFile(dir_.path().string()), std::runtime_error);
}

// A FIFO or a device in place of a side file must not stall the program: it
// is refused at once instead of waiting for a writer or reading without end.
TEST_F(LineFileTest, RefusesWhatIsNotARegularFile) {
    const std::string fifo = path("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& source : {fifo, std::string("/dev/zero")}) {
        auto reading = std::async(std::launch::async, [source] { util::ReadLineFile(source); });
        if (reading.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
            // Let a reader blocked in open() go, so the test fails instead of hanging.
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
            }
            reading.wait();
            ADD_FAILURE() << source << " was not refused in time";
            continue;
        }
        EXPECT_THROW(reading.get(), std::runtime_error) << source;
    }
}

TEST_F(LineFileTest, RefusesAnOversizedFile) {
    {
        std::ofstream out(path("big.txt"), std::ios::binary);
        const std::string block(1024 * 1024, 'x');
        for (int i = 0; i < 17; ++i) {
            out << block;
        }
    }
    EXPECT_THROW(util::ReadLineFile(path("big.txt")), std::runtime_error);
}

}  // namespace
