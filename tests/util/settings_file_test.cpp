// The settings file routines on real files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "tests/cipher/backend_param.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"
#include "util/settings_file.h"

namespace {

namespace fs = std::filesystem;

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

std::string RandomText(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out) {
        c = static_cast<char>(random());
    }
    return out;
}

class SettingsFileTest : public cipher_test::BackendTest {
protected:
    testsupport::TempDir dir_{"zorvane-settings"};
    fs::path plain_ = dir_ / "dbsettings.sim";
    fs::path encrypted_ = dir_ / "dbsettings.dat";
};
INSTANTIATE_BACKENDS(SettingsFileTest);

TEST_P(SettingsFileTest, RoundTripsFilesAroundTheBufferSize) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, util::kSettingsBufferSize - 1,
                             util::kSettingsBufferSize, 2 * util::kSettingsBufferSize + 3}) {
        const std::string text = RandomText(size, static_cast<unsigned>(size));
        WriteFileBytes(plain_, text);
        util::EncryptSettingsFile(plain_.string(), encrypted_.string());
        EXPECT_EQ(fs::file_size(encrypted_), size + 20);
        fs::remove(plain_);
        EXPECT_TRUE(util::DecryptSettingsFile(encrypted_.string(), plain_.string())) << size;
        EXPECT_TRUE(ReadFileBytes(plain_) == text) << size;
    }
}

// A damaged file still decrypts in full, but is reported as not authentic;
// a 19-byte file leaves an empty plain file, also replacing an older one.
TEST_P(SettingsFileTest, ReportsDamagedAndShortFiles) {
    const std::string text = "<AppName>Zorvane</AppName>\r\n";
    WriteFileBytes(plain_, text);
    util::EncryptSettingsFile(plain_.string(), encrypted_.string());
    std::string damaged = ReadFileBytes(encrypted_);
    damaged[12] ^= 0x01;
    WriteFileBytes(encrypted_, damaged);
    EXPECT_FALSE(util::DecryptSettingsFile(encrypted_.string(), plain_.string()));
    std::string expected = text;
    expected[2] ^= 0x01;
    EXPECT_EQ(ReadFileBytes(plain_), expected);

    WriteFileBytes(encrypted_, damaged.substr(0, 19));
    EXPECT_FALSE(util::DecryptSettingsFile(encrypted_.string(), plain_.string()));
    EXPECT_EQ(fs::file_size(plain_), 0u);
}

TEST_P(SettingsFileTest, OtherPasswordsReadOnlyTheirOwnFiles) {
    WriteFileBytes(plain_, "secret");
    util::EncryptSettingsFile(plain_.string(), encrypted_.string(), "another password");
    EXPECT_FALSE(util::DecryptSettingsFile(encrypted_.string(), plain_.string()));
    EXPECT_EQ(fs::file_size(plain_), 0u);
    EXPECT_TRUE(
        util::DecryptSettingsFile(encrypted_.string(), plain_.string(), "another password"));
    EXPECT_EQ(ReadFileBytes(plain_), "secret");
}

// The source is opened first: a missing one raises and leaves the
// destination as it was.
TEST_P(SettingsFileTest, MissingSourceRaisesAndLeavesTheDestinationAlone) {
    WriteFileBytes(encrypted_, "keep me");
    EXPECT_THROW(util::EncryptSettingsFile((dir_ / "missing").string(), encrypted_.string()),
                 util::SettingsFileError);
    EXPECT_EQ(ReadFileBytes(encrypted_), "keep me");
    WriteFileBytes(plain_, "keep me too");
    EXPECT_THROW(util::DecryptSettingsFile((dir_ / "missing").string(), plain_.string()),
                 util::SettingsFileError);
    EXPECT_EQ(ReadFileBytes(plain_), "keep me too");
}

TEST_P(SettingsFileTest, DestinationThatCannotBeCreatedRaises) {
    WriteFileBytes(plain_, "text");
    EXPECT_THROW(util::EncryptSettingsFile(plain_.string(), (dir_ / "no/such/dir").string()),
                 util::SettingsFileError);
    util::EncryptSettingsFile(plain_.string(), encrypted_.string());
    EXPECT_THROW(util::DecryptSettingsFile(encrypted_.string(), dir_.path().string()),
                 util::SettingsFileError);
}

// Truncating the destination would destroy the source before it was read.
TEST_P(SettingsFileTest, RefusesToWriteAFileOverItself) {
    WriteFileBytes(plain_, "text");
    EXPECT_THROW(util::EncryptSettingsFile(plain_.string(), plain_.string()),
                 util::SettingsFileError);
    EXPECT_EQ(ReadFileBytes(plain_), "text");
    const fs::path link = dir_ / "link";
    fs::create_symlink(plain_, link);
    EXPECT_THROW(util::DecryptSettingsFile(plain_.string(), link.string()),
                 util::SettingsFileError);
    EXPECT_EQ(ReadFileBytes(plain_), "text");
}

// A new plain copy is its owner's alone whatever the umask; an existing one
// keeps its permission bits.
TEST_P(SettingsFileTest, NewPlainCopyIsPrivate) {
    util::ReplaceSettingsFile(encrypted_.string(), "text");
    const mode_t oldMask = ::umask(022);
    EXPECT_TRUE(util::DecryptSettingsFile(encrypted_.string(), plain_.string()));
    EXPECT_EQ(fs::status(plain_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(plain_, fs::perms::owner_all | fs::perms::group_read);
    EXPECT_TRUE(util::DecryptSettingsFile(encrypted_.string(), plain_.string()));
    EXPECT_EQ(fs::status(plain_).permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read);
    ::umask(oldMask);
}

// A full disk must not pass for a good encrypted file.
TEST_P(SettingsFileTest, WriteFailureRaises) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    WriteFileBytes(plain_, "text");
    EXPECT_THROW(util::EncryptSettingsFile(plain_.string(), "/dev/full"), util::SettingsFileError);
}

// A full disk is a failure to write, with the system's error and the file's
// name, never a file that did not authenticate.
TEST_P(SettingsFileTest, WriteFailuresCarryTheirKindFileAndError) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    WriteFileBytes(plain_, "text");
    util::ReplaceSettingsFile(encrypted_.string(), "text");
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"encrypt", [&] { util::EncryptSettingsFile(plain_.string(), "/dev/full"); }},
        {"decrypt", [&] { util::DecryptSettingsFile(encrypted_.string(), "/dev/full"); }},
    };
    for (const auto& [name, run] : cases) {
        try {
            run();
            ADD_FAILURE() << name << ": no error";
        } catch (const util::SettingsFileError& error) {
            EXPECT_EQ(error.kind(), util::SettingsFileError::Kind::kWrite) << name;
            EXPECT_EQ(error.path(), "/dev/full") << name;
            EXPECT_EQ(error.error(), ENOSPC) << name;
            EXPECT_STREQ(error.what(), "cannot write /dev/full: No space left on device") << name;
        }
    }
}

// A FIFO, a device or a folder as the source is refused without waiting on
// it or reading it without end, and the destination stays untouched.
TEST_P(SettingsFileTest, SourcesOtherThanRegularFilesAreRefused) {
    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& source :
         {fifo.string(), std::string("/dev/zero"), dir_.path().string()}) {
        EXPECT_THROW(util::DecryptSettingsFile(source, plain_.string()), util::SettingsFileError)
            << source;
        EXPECT_THROW(util::EncryptSettingsFile(source, encrypted_.string()),
                     util::SettingsFileError)
            << source;
    }
    EXPECT_FALSE(fs::exists(plain_));
    EXPECT_FALSE(fs::exists(encrypted_));
}

// Reading into memory: the text comes back only from an authentic file, and
// no plain file appears beside the encrypted one.
TEST_P(SettingsFileTest, DecryptsIntoMemoryOnlyAuthenticFiles) {
    const std::string text = "<%%ApplicationName%%>Example<%%/ApplicationName%%>\r\n";
    util::ReplaceSettingsFile(encrypted_.string(), text);
    EXPECT_EQ(util::DecryptSettingsText(encrypted_.string()), text);
    EXPECT_EQ(util::DecryptSettingsText(encrypted_.string(), "another password"), std::nullopt);
    std::string damaged = ReadFileBytes(encrypted_);
    damaged.back() ^= 0x01;
    WriteFileBytes(encrypted_, damaged);
    EXPECT_EQ(util::DecryptSettingsText(encrypted_.string()), std::nullopt);
    WriteFileBytes(encrypted_, damaged.substr(0, 19));
    EXPECT_EQ(util::DecryptSettingsText(encrypted_.string()), std::nullopt);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);

    EXPECT_THROW(util::DecryptSettingsText((dir_ / "missing").string()), util::SettingsFileError);
    EXPECT_THROW(util::DecryptSettingsText("/dev/zero"), util::SettingsFileError);
    fs::resize_file(encrypted_, util::kMaxSettingsFileSize + 1);
    EXPECT_THROW(util::DecryptSettingsText(encrypted_.string()), util::SettingsFileError);
}

// Replacing goes through a new file and a rename: the old file's permission
// bits stay, and a failure leaves the old file whole and no stray file.
TEST_P(SettingsFileTest, ReplacesTheFileWholeOrNotAtAll) {
    util::ReplaceSettingsFile(encrypted_.string(), "old");
    fs::permissions(encrypted_, fs::perms::owner_read | fs::perms::owner_write);
    util::ReplaceSettingsFile(encrypted_.string(), "new");
    EXPECT_EQ(util::DecryptSettingsText(encrypted_.string()), "new");
    EXPECT_EQ(fs::status(encrypted_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    const std::string before = ReadFileBytes(encrypted_);
    fs::create_directory(dir_ / "in-the-way");
    EXPECT_THROW(util::ReplaceSettingsFile((dir_ / "in-the-way").string(), "x"),
                 util::SettingsFileError);
    EXPECT_THROW(util::ReplaceSettingsFile((dir_ / "no/such/dir/file").string(), "x"),
                 util::SettingsFileError);
    EXPECT_EQ(ReadFileBytes(encrypted_), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

}  // namespace
