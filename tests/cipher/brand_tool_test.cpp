// Black-box tests of the zorvane-brand program: started as a process,
// judged by its exit status, its standard error and the files it leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_bytes.h"
#include "util/settings_file.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class BrandToolTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zorvane-brand-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        work_ = dir_ / "work";
        fs::create_directory(work_);
        plain_ = work_ / "settings.txt";
        dat_ = work_ / "dbsettings.dat";
        out_ = work_ / "out.txt";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs the program with a deadline, so a hang fails the test instead of
    // stalling the suite.
    Outcome Run(const std::vector<std::string>& args) {
        const fs::path out_file = dir_ / "stdout", err_file = dir_ / "stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> all = {ZORVANE_BRAND_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int spawned =
            ::posix_spawn(&pid, ZORVANE_BRAND_PROGRAM, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        Outcome outcome;
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << ZORVANE_BRAND_PROGRAM;
            return outcome;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                ADD_FAILURE() << "zorvane-brand did not finish";
                return outcome;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = ReadFileBytes(out_file);
        outcome.err = ReadFileBytes(err_file);
        return outcome;
    }

    // The files in the work folder: no temporary file may be left behind.
    std::vector<std::string> WorkFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(work_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_, work_, plain_, dat_, out_;
};

TEST_F(BrandToolTest, EncryptThenDecryptGivesTheSameBytes) {
    const std::string text = "<AppName>Zorvane</AppName>\r\n<BranderType>Gold</BranderType>\r\n";
    WriteFileBytes(plain_, text);
    const Outcome encrypted = Run({"encrypt", plain_.string(), dat_.string()});
    ASSERT_EQ(encrypted.status, 0) << encrypted.err;
    EXPECT_EQ(fs::file_size(dat_), text.size() + 20);
    // The program's own settings routine reads what the tool made.
    EXPECT_TRUE(util::DecryptSettingsFile(dat_.string(), (work_ / "check").string()));
    EXPECT_EQ(ReadFileBytes(work_ / "check"), text);

    const Outcome decrypted = Run({"decrypt", dat_.string(), out_.string()});
    ASSERT_EQ(decrypted.status, 0) << decrypted.err;
    EXPECT_EQ(ReadFileBytes(out_), text);
    EXPECT_EQ(WorkFiles(),
              (std::vector<std::string>{"check", "dbsettings.dat", "out.txt", "settings.txt"}));
}

// One changed byte anywhere, salt, verifier, ciphertext or code, makes
// decrypt refuse: exit 1, the message, and PLAIN as it was.
TEST_F(BrandToolTest, DecryptRefusesEveryChangedByteAndWritesNothing) {
    WriteFileBytes(plain_, "<HelpURL>http://example.com/</HelpURL>");
    ASSERT_EQ(Run({"encrypt", plain_.string(), dat_.string()}).status, 0);
    const std::string good = ReadFileBytes(dat_);
    WriteFileBytes(out_, "older text");
    for (std::size_t i = 0; i < good.size(); ++i) {
        std::string damaged = good;
        damaged[i] = static_cast<char>(damaged[i] ^ 0x04);
        WriteFileBytes(dat_, damaged);
        const Outcome outcome = Run({"decrypt", dat_.string(), out_.string()});
        EXPECT_EQ(outcome.status, 1) << "byte " << i;
        EXPECT_NE(outcome.err.find("wrong password or damaged file"), std::string::npos) << i;
        ASSERT_EQ(ReadFileBytes(out_), "older text") << "byte " << i;
    }
    EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"dbsettings.dat", "out.txt", "settings.txt"}));
}

TEST_F(BrandToolTest, DecryptRefusesShortFilesWithoutCreatingPlain) {
    WriteFileBytes(dat_, std::string(19, 'x'));
    const Outcome outcome = Run({"decrypt", dat_.string(), out_.string()});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("wrong password or damaged file"), std::string::npos);
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(BrandToolTest, PasswordOptionChoosesAnotherPassword) {
    WriteFileBytes(plain_, "text");
    ASSERT_EQ(
        Run({"--password", "brander secret", "encrypt", plain_.string(), dat_.string()}).status, 0);
    EXPECT_EQ(Run({"decrypt", dat_.string(), out_.string()}).status, 1);
    EXPECT_FALSE(fs::exists(out_));
    const Outcome outcome =
        Run({"decrypt", dat_.string(), out_.string(), "--password=brander secret"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(ReadFileBytes(out_), "text");
}

TEST_F(BrandToolTest, UsageErrorsExitWithTwoAndTouchNothing) {
    WriteFileBytes(plain_, "text");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"encrypt", plain_.string()},
        {"encrypt", plain_.string(), dat_.string(), "extra"},
        {"scramble", plain_.string(), dat_.string()},
        {"--verbose", "encrypt", plain_.string(), dat_.string()},
        {"encrypt", plain_.string(), dat_.string(), "--password"},
        {"--password", std::string(129, 'p'), "encrypt", plain_.string(), dat_.string()},
    };
    for (const auto& args : cases) {
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.status, 2) << args.size();
        EXPECT_NE(outcome.err.find("usage:"), std::string::npos);
    }
    EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"settings.txt"}));
    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage:"), std::string::npos);
}

TEST_F(BrandToolTest, MissingSourceExitsWithOneAndLeavesTheTargetAlone) {
    WriteFileBytes(dat_, "existing");
    const Outcome outcome = Run({"encrypt", (work_ / "missing").string(), dat_.string()});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("missing"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(dat_), "existing");
    EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"dbsettings.dat"}));
}

}  // namespace
