// Black-box tests of the zorvane-brand program: started as a process,
// judged by its exit status, its standard output and error, and the files
// it leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"
#include "util/settings_file.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

using testsupport::ChildProcess;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WaitUntil;
using testsupport::WriteFileBytes;

struct Outcome {
    int status = -1;  // -1 unless the program exited
    int signal = 0;   // the signal that ended it, if one did
    std::string out;
    std::string err;
};

// Long enough for the 64 MB decryption on a busy machine.
constexpr int kDeadlineMillis = 20000;

class BrandToolTest : public testing::Test {
protected:
    void SetUp() override { fs::create_directory(work_); }

    // Runs the program with a deadline, so a hang fails the test instead of
    // stalling the suite. A file size limit makes every write past it fail
    // with EFBIG, the way a full disk fails it, on any file system.
    Outcome Run(const std::vector<std::string>& args, rlim_t fileSizeLimit = RLIM_INFINITY) {
        ChildProcess child(Command(args), {}, fileSizeLimit);
        return Finish(child);
    }

    static std::vector<std::string> Command(const std::vector<std::string>& args) {
        std::vector<std::string> all = {ZORVANE_BRAND_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }

    // Waits for a started program with a deadline and collects its outcome.
    static Outcome Finish(ChildProcess& child) {
        Outcome outcome;
        const int status = child.Wait(kDeadlineMillis);
        if (child.timedOut()) {
            ADD_FAILURE() << "zorvane-brand did not finish";
            return outcome;
        }
        outcome.status = status;
        outcome.signal = child.endSignal();
        outcome.out = child.out();
        outcome.err = child.err();
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

    TempDir dir_{"zorvane-brand-test"};
    fs::path work_ = dir_ / "work";
    fs::path plain_ = work_ / "settings.txt";
    fs::path dat_ = work_ / "dbsettings.dat";
    fs::path out_ = work_ / "out.txt";
    fs::path qss_ = work_ / "main.qss";
    fs::path skin_ = work_ / "mainskin.dat";
};

// The program's own writer makes the settings file, so show is judged
// against what the window would really be given.
void WriteSettings(const fs::path& dat, std::string_view text,
                   std::string_view password = util::kSettingsPassword) {
    util::ReplaceSettingsFile(dat.string(), text, password);
}

// Where two byte strings first differ (npos when equal), so that a failure
// names an offset instead of printing megabytes.
std::size_t FirstDifference(const std::string& a, const std::string& b) {
    const auto [inA, inB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return inA == a.end() && inB == b.end() ? std::string::npos
                                            : static_cast<std::size_t>(inA - a.begin());
}

std::string Uncompressed(const std::string& skin) {
    const QByteArray plain = qUncompress(reinterpret_cast<const uchar*>(skin.data()),
                                         static_cast<qsizetype>(skin.size()));
    return std::string(plain.constData(), static_cast<std::size_t>(plain.size()));
}

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

// The permission bits a file has, without the file type.
mode_t PermissionBits(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A replaced output keeps the old file's permission bits; a new plain text
// is its owner's alone whatever the umask, other new files follow the umask.
TEST_F(BrandToolTest, OutputsKeepTheReplacedModeAndNewPlainTextIsPrivate) {
    struct ModeCase {
        const char* name;
        std::string action;
        mode_t existing;  // 0: no file there before
        mode_t expected;
    };
    const std::vector<ModeCase> cases = {
        {.name = "decrypt over a private file",
         .action = "decrypt",
         .existing = 0600,
         .expected = 0600},
        {.name = "decrypt over a group-readable file",
         .action = "decrypt",
         .existing = 0640,
         .expected = 0640},
        {.name = "decrypt to a new file", .action = "decrypt", .existing = 0, .expected = 0600},
        {.name = "encrypt over a private file",
         .action = "encrypt",
         .existing = 0600,
         .expected = 0600},
        {.name = "encrypt to a new file", .action = "encrypt", .existing = 0, .expected = 0644},
        {.name = "skin over a private file", .action = "skin", .existing = 0600, .expected = 0600},
        {.name = "skin to a new file", .action = "skin", .existing = 0, .expected = 0644},
    };
    WriteFileBytes(plain_, "<%%BranderType%%>Gold<%%/BranderType%%>");
    WriteFileBytes(qss_, "QLabel { color: red; }");
    WriteSettings(dat_, "<%%BranderType%%>Gold<%%/BranderType%%>");
    const fs::path target = work_ / "target";
    const mode_t oldMask = ::umask(022);
    for (const ModeCase& c : cases) {
        fs::remove(target);
        if (c.existing != 0) {
            WriteFileBytes(target, "older");
            ASSERT_EQ(::chmod(target.c_str(), c.existing), 0);
        }
        const std::string source = c.action == "decrypt"   ? dat_.string()
                                   : c.action == "encrypt" ? plain_.string()
                                                           : qss_.string();
        const Outcome outcome = Run({c.action, source, target.string()});
        EXPECT_EQ(outcome.status, 0) << c.name << ": " << outcome.err;
        EXPECT_EQ(PermissionBits(target), c.expected) << c.name;
    }
    ::umask(oldMask);
}

// A target that is there but is no regular file, also behind a link, is
// refused before anything is written, and stays exactly what it was.
TEST_F(BrandToolTest, OutputsRefuseTargetsThatAreNotRegularFiles) {
    WriteFileBytes(plain_, "<%%BranderType%%>Gold<%%/BranderType%%>");
    WriteFileBytes(qss_, "QLabel { color: red; }");
    WriteSettings(dat_, "<%%BranderType%%>Gold<%%/BranderType%%>");
    const fs::path fifo = work_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(work_ / "folder");
    struct TargetCase {
        const char* name;
        fs::path target;
        fs::file_type type;  // what the target is, link not followed
        fs::path linkTo;     // empty when it is no link
    };
    const std::vector<TargetCase> cases = {
        {.name = "FIFO", .target = fifo, .type = fs::file_type::fifo, .linkTo = {}},
        {.name = "folder",
         .target = work_ / "folder",
         .type = fs::file_type::directory,
         .linkTo = {}},
        {.name = "link to a FIFO",
         .target = work_ / "to-fifo",
         .type = fs::file_type::symlink,
         .linkTo = fifo},
        {.name = "link to a device",
         .target = work_ / "to-device",
         .type = fs::file_type::symlink,
         .linkTo = "/dev/null"},
        {.name = "link to a folder",
         .target = work_ / "to-folder",
         .type = fs::file_type::symlink,
         .linkTo = work_ / "folder"},
    };
    for (const TargetCase& c : cases) {
        if (!c.linkTo.empty()) {
            fs::create_symlink(c.linkTo, c.target);
        }
    }
    const std::vector<std::string> before = WorkFiles();
    for (const TargetCase& c : cases) {
        for (const auto& [action, source] :
             {std::pair{"decrypt"s, dat_}, std::pair{"encrypt"s, plain_},
              std::pair{"skin"s, qss_}}) {
            const Outcome outcome = Run({action, source.string(), c.target.string()});
            EXPECT_EQ(outcome.status, 1) << action << " onto " << c.name;
            EXPECT_NE(outcome.err.find("not a regular file: " + c.target.string()),
                      std::string::npos)
                << action << " onto " << c.name << ": " << outcome.err;
            EXPECT_EQ(fs::symlink_status(c.target).type(), c.type) << action << " onto " << c.name;
            if (!c.linkTo.empty()) {
                EXPECT_EQ(fs::read_symlink(c.target), c.linkTo) << action << " onto " << c.name;
            }
            EXPECT_EQ(WorkFiles(), before) << action << " onto " << c.name;
        }
    }
    EXPECT_EQ(fs::symlink_status("/dev/null").type(), fs::file_type::character);
}

// A write that fails (here past a file size limit, as on a full disk) is
// told apart from a file that does not authenticate: the system's error
// under the output's own name, and the old output untouched.
TEST_F(BrandToolTest, WriteFailuresAreReportedWithTheSystemErrorAndTheTargetName) {
    std::string text;
    for (int i = 0; text.size() < 256 * 1024; ++i) {
        text += "<%%Welcome" + std::to_string(i) + "%%>" + std::to_string(i * 7919) + "\r\n";
    }
    WriteFileBytes(plain_, text);
    WriteSettings(dat_, text);
    // Random bytes do not compress, so the skin is as large as the sheet.
    std::string noise(256 * 1024, '\0');
    std::uint32_t state = 1;
    for (char& c : noise) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    WriteFileBytes(qss_, noise);
    const rlim_t limit = 64 * 1024;
    for (const auto& [action, source] :
         {std::pair{"decrypt"s, dat_}, std::pair{"encrypt"s, plain_}, std::pair{"skin"s, qss_}}) {
        WriteFileBytes(out_, "older");
        const std::vector<std::string> before = WorkFiles();
        const Outcome outcome = Run({action, source.string(), out_.string()}, limit);
        EXPECT_EQ(outcome.status, 1) << action;
        EXPECT_NE(outcome.err.find("cannot write " + out_.string() + ": " + std::strerror(EFBIG)),
                  std::string::npos)
            << action << ": " << outcome.err;
        EXPECT_EQ(outcome.err.find("wrong password"), std::string::npos) << action;
        EXPECT_EQ(outcome.err.find(".zorvane-brand-"), std::string::npos) << action;
        EXPECT_EQ(ReadFileBytes(out_), "older") << action;
        EXPECT_EQ(WorkFiles(), before) << action;
    }
}

// A run stopped by a signal while the plain text is half written removes
// its temporary file and ends by that signal; the target is never made.
TEST_F(BrandToolTest, SignalsRemoveTheHalfWrittenOutput) {
    // Large enough that writing it takes far longer than the test needs to
    // notice the temporary file and send the signal.
    const std::string text(std::size_t{64} << 20, 'x');
    WriteSettings(dat_, text);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ChildProcess child(Command({"decrypt", dat_.string(), out_.string()}));
        // Wait for the temporary file to hold plain text: the program is half way.
        bool writing = false;
        WaitUntil(
            [&] {
                std::error_code error;
                for (const auto& entry : fs::directory_iterator(work_, error)) {
                    writing = writing ||
                              (entry.path().filename().string().starts_with(".zorvane-brand-") &&
                               entry.file_size(error) > 0);
                }
                return writing || !child.Running();
            },
            std::chrono::milliseconds(kDeadlineMillis));
        EXPECT_TRUE(writing) << strsignal(signal);
        ::kill(child.pid(), signal);
        const Outcome outcome = Finish(child);
        EXPECT_EQ(outcome.signal, signal) << strsignal(signal) << ": " << outcome.err;
        EXPECT_FALSE(fs::exists(out_)) << strsignal(signal);
        EXPECT_EQ(WorkFiles(), std::vector<std::string>{"dbsettings.dat"}) << strsignal(signal);
    }
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
        {"show"},
        {"show", dat_.string(), out_.string()},
        {"skin", plain_.string()},
        {"skin", plain_.string(), out_.string(), "extra"},
        {"--password", "secret", "skin", plain_.string(), out_.string()},
    };
    for (const auto& args : cases) {
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.status, 2) << args.size();
        // What went wrong, then where to read more: never the whole usage.
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 2) << outcome.err;
        EXPECT_EQ(outcome.err.rfind("zorvane-brand: ", 0), 0u) << outcome.err;
        EXPECT_NE(outcome.err.find("\nRun with --help for usage.\n"), std::string::npos);
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"settings.txt"}));
    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* part : {"--password", "encrypt", "decrypt", "show", "skin", "--version"}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    }
    const Outcome showHelp = Run({"show", "--help"});
    EXPECT_EQ(showHelp.status, 0);
    EXPECT_NE(showHelp.out.find("DAT"), std::string::npos);
    EXPECT_NE(showHelp.out.find("--strict"), std::string::npos);
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "zorvane-brand 2.0\n");
}

TEST_F(BrandToolTest, EncryptAndShowWarnAboutTagsTheProgramSkips) {
    const std::string text =
        "<%%ApplicationName%%>Brand<%%/ApplicationName%%>\r\n"
        "<%%BannerUrl%%>http://b.example/<%%/BannerUrl%%>\r\n"
        "<%%AboutText%%>no end\r\n";
    WriteFileBytes(plain_, text);
    const Outcome encrypt = Run({"encrypt", plain_.string(), dat_.string()});
    ASSERT_EQ(encrypt.status, 0) << encrypt.err;
    const std::string warnings =
        "zorvane-brand: warning: " + plain_.string() +
        ":2: <%%BannerUrl%%> is not a tag the program reads\n"
        "zorvane-brand: warning: " +
        plain_.string() + ":3: <%%AboutText%%> has no end marker; its value is read as empty\n";
    EXPECT_EQ(encrypt.err, warnings);
    const Outcome show = Run({"show", dat_.string()});
    EXPECT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("ApplicationName=Brand\n"), std::string::npos);
    EXPECT_NE(show.err.find(":2: <%%BannerUrl%%> is not a tag"), std::string::npos) << show.err;

    // --strict makes a warning a failure; encrypt then writes nothing.
    EXPECT_EQ(Run({"show", "--strict", dat_.string()}).status, 1);
    fs::remove(dat_);
    const Outcome strict = Run({"encrypt", "--strict", plain_.string(), dat_.string()});
    EXPECT_EQ(strict.status, 1);
    EXPECT_FALSE(fs::exists(dat_));

    WriteFileBytes(plain_, "<%%ApplicationName%%>Brand<%%/ApplicationName%%>\r\n");
    const Outcome clean = Run({"encrypt", "--strict", plain_.string(), dat_.string()});
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.err, "");
}

TEST_F(BrandToolTest, MissingSourceExitsWithOneAndLeavesTheTargetAlone) {
    WriteFileBytes(dat_, "existing");
    const Outcome outcome = Run({"encrypt", (work_ / "missing").string(), dat_.string()});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("missing"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(dat_), "existing");
    EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"dbsettings.dat"}));
}

struct ShowCase {
    const char* name;
    std::string text;
    std::string expected;
    std::string warnings;  // after "zorvane-brand: warning: DAT"
};

// Values pass through the start-up reader first (lines rejoined with CR LF,
// the affiliate id put into the URL, families up to the first gap), so the
// expected lines show what the window is given, not what the file says.
TEST_F(BrandToolTest, ShowPrintsWhatTheStartUpReaderTakes) {
    const std::vector<ShowCase> cases = {
        {.name = "every field",
         .text = "<%%ApplicationName%%>Caf\xE9 Finder<%%/ApplicationName%%>\r\n"
                 "<%%BranderCode%%>BR-17<%%/BranderCode%%>\n"
                 "<%%BranderType%%>Gold<%%/BranderType%%>\n"
                 "<%%AffiliateURL%%>http://aff.example/?a=%%AFFILIATEID%%&b=%%AFFILIATEID%%"
                 "<%%/AffiliateURL%%>\n"
                 "<%%AffiliateTYPE%%>cpc<%%/AffiliateTYPE%%>\n"
                 "<%%AffiliateID%%>A42<%%/AffiliateID%%>\n"
                 "<%%MasterNewsBaseURL%%>http://m.example/news<%%/MasterNewsBaseURL%%>\n"
                 "<%%PlatinumNewsBaseURL%%>http://p.example/news<%%/PlatinumNewsBaseURL%%>\n"
                 "<%%GoldNewsBaseURL%%>http://g.example/news<%%/GoldNewsBaseURL%%>\n"
                 "<%%MasterPublID%%>M1<%%/MasterPublID%%>\n"
                 "<%%PlatinumPublID%%>P2<%%/PlatinumPublID%%>\n"
                 "<%%GoldPublID%%>G3<%%/GoldPublID%%>\n"
                 "<%%MakeMoneyButton%%>Earn Now<%%/MakeMoneyButton%%>\n"
                 "<%%AppHelpURL%%>http://help.example/<%%/AppHelpURL%%>\n"
                 "<%%CopyrightYears%%>2006-2008<%%/CopyrightYears%%>\n"
                 "<%%CopyrightCompany%%>C:\\Brands\\Co<%%/CopyrightCompany%%>\n"
                 "<%%AboutText%%>One\r\nTwo\nThree\rFour<%%/AboutText%%>\n"
                 "<%%Welcome1%%><html>first</html><%%/Welcome1%%>\n"
                 "<%%Welcome2%%><p>second\r\npage</p><%%/Welcome2%%>\n"
                 "<%%Welcome3%%>third<%%/Welcome3%%>\n"
                 "<%%Banner1%%>banner1.gif^http://b.example/1<%%/Banner1%%>\n"
                 "<%%Banner2%%>banner2.gif^http://b.example/2<%%/Banner2%%>\n"
                 "<%%Link1%%>Cars^http://l.example/cars<%%/Link1%%>\n"
                 "<%%Link2%%>Boats^http://l.example/boats<%%/Link2%%>\n"
                 "<%%Link4%%>never read: Link3 is missing<%%/Link4%%>\n",
         .expected = "ApplicationName=Caf\xE9 Finder\n"
                     "BranderCode=BR-17\n"
                     "BranderType=Gold\n"
                     "AffiliateURL=http://aff.example/?a=A42&b=A42\n"
                     "AffiliateTYPE=cpc\n"
                     "AffiliateID=A42\n"
                     "MasterNewsBaseURL=http://m.example/news\n"
                     "PlatinumNewsBaseURL=http://p.example/news\n"
                     "GoldNewsBaseURL=http://g.example/news\n"
                     "MasterPublID=M1\n"
                     "PlatinumPublID=P2\n"
                     "GoldPublID=G3\n"
                     "MakeMoneyButton=Earn Now\n"
                     "AppHelpURL=http://help.example/\n"
                     "CopyrightYears=2006-2008\n"
                     "CopyrightCompany=C:\\\\Brands\\\\Co\n"
                     "AboutText=One\\r\\nTwo\\r\\nThree\\r\\nFour\n"
                     "Welcome[1]=<html>first</html>\n"
                     "Welcome[2]=<p>second\\r\\npage</p>\n"
                     "Welcome[3]=third\n"
                     "Banner[1]=banner1.gif^http://b.example/1\n"
                     "Banner[2]=banner2.gif^http://b.example/2\n"
                     "Link[1]=Cars^http://l.example/cars\n"
                     "Link[2]=Boats^http://l.example/boats\n"
                     "NewsButtonVisible=true\n",
         .warnings = ":29: <%%Link4%%> follows a missing or empty entry of its family; it is "
                     "skipped\n"},
        {.name = "empty text",
         .text = "",
         .expected = "ApplicationName=\nBranderCode=\nBranderType=\nAffiliateURL=\n"
                     "AffiliateTYPE=\nAffiliateID=\nMasterNewsBaseURL=\nPlatinumNewsBaseURL=\n"
                     "GoldNewsBaseURL=\nMasterPublID=\nPlatinumPublID=\nGoldPublID=\n"
                     "MakeMoneyButton=Make Money\nAppHelpURL=\nCopyrightYears=\n"
                     "CopyrightCompany=\nAboutText=\nNewsButtonVisible=false\n",
         .warnings = ""},
    };
    for (const ShowCase& c : cases) {
        WriteSettings(dat_, c.text);
        const Outcome outcome = Run({"show", dat_.string()});
        EXPECT_EQ(outcome.status, 0) << c.name << ": " << outcome.err;
        EXPECT_EQ(outcome.out, c.expected) << c.name;
        EXPECT_EQ(outcome.err,
                  c.warnings.empty() ? "" : "zorvane-brand: warning: " + dat_.string() + c.warnings)
            << c.name;
    }
    // show decrypts in memory: no plain copy, not even for a moment's temporary file.
    EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"dbsettings.dat"}));
}

TEST_F(BrandToolTest, ShowReadsWithThePasswordOption) {
    WriteSettings(dat_, "<%%BranderCode%%>BR-9<%%/BranderCode%%>", "brander secret");
    const Outcome outcome = Run({"--password", "brander secret", "show", dat_.string()});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out.substr(0, outcome.out.find("BranderType=")),
              "ApplicationName=\nBranderCode=BR-9\n");
}

// A file that is not authentic prints nothing at all, so a script reading the
// output never takes a damaged file's defaults for the brand's values.
TEST_F(BrandToolTest, ShowRefusesWhatIsNotAuthenticAndPrintsNothing) {
    WriteSettings(dat_, "<%%BranderType%%>Gold<%%/BranderType%%>");
    const std::string good = ReadFileBytes(dat_);
    std::string damaged = good;
    damaged.back() = static_cast<char>(damaged.back() ^ 0x01);
    struct RefusedCase {
        const char* name;
        std::string bytes;
        std::vector<std::string> options;
    };
    const std::vector<RefusedCase> cases = {
        {.name = "damaged", .bytes = damaged, .options = {}},
        {.name = "wrong password", .bytes = good, .options = {"--password=not it"}},
        {.name = "cut short", .bytes = good.substr(0, 19), .options = {}},
        {.name = "empty", .bytes = "", .options = {}},
    };
    for (const RefusedCase& c : cases) {
        WriteFileBytes(dat_, c.bytes);
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"show", dat_.string()});
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.status, 1) << c.name;
        EXPECT_EQ(outcome.out, "") << c.name;
        EXPECT_NE(outcome.err.find("wrong password or damaged file"), std::string::npos) << c.name;
    }
}

TEST_F(BrandToolTest, ShowOfAMissingFileNamesIt) {
    const fs::path missing = work_ / "no-such-settings.dat";
    const Outcome outcome = Run({"show", missing.string()});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(missing.string()), std::string::npos) << outcome.err;
}

TEST_F(BrandToolTest, SkinIsTheStyleSheetAsQtCompressesIt) {
    struct SkinCase {
        const char* name;
        std::string qss;
    };
    std::string atLimit;
    for (int i = 0; atLimit.size() < (std::size_t{4} << 20); ++i) {
        atLimit +=
            "QLabel#l" + std::to_string(i) + " { color: #" + std::to_string(i % 999) + "; }\n";
    }
    atLimit.resize(std::size_t{4} << 20);
    const std::vector<SkinCase> cases = {
        {.name = "typical",
         .qss = "QMainWindow { background: #202020; }\r\n"
                "QLabel { font-family: \"Caf\xC3\xA9\"; }\r\n/* \\ \x00 */\n"s},
        {.name = "empty", .qss = ""},
        {.name = "4 MiB", .qss = atLimit},
    };
    for (const SkinCase& c : cases) {
        WriteFileBytes(qss_, c.qss);
        WriteFileBytes(skin_, "older skin");
        const Outcome outcome = Run({"skin", qss_.string(), skin_.string()});
        ASSERT_EQ(outcome.status, 0) << c.name << ": " << outcome.err;
        const std::string skin = ReadFileBytes(skin_);
        EXPECT_EQ(FirstDifference(Uncompressed(skin), c.qss), std::string::npos) << c.name;
        // Byte for byte qCompress's form, size prefix included: the window
        // may rely on any part of it.
        const QByteArray expected = qCompress(reinterpret_cast<const uchar*>(c.qss.data()),
                                              static_cast<qsizetype>(c.qss.size()));
        EXPECT_EQ(FirstDifference(skin, expected.toStdString()), std::string::npos) << c.name;
        EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"main.qss", "mainskin.dat"})) << c.name;
    }
}

// Every refusal happens before an output file exists, so none is left.
TEST_F(BrandToolTest, SkinRefusesWhatIsNotAReadableStyleSheet) {
    const fs::path fifo = dir_ / "pipe.qss";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path tooLarge = dir_ / "large.qss";
    WriteFileBytes(tooLarge, std::string((std::size_t{4} << 20) + 1, ' '));
    struct RefusedCase {
        fs::path qss;
        std::string message;
    };
    const std::vector<RefusedCase> cases = {
        {.qss = dir_ / "missing.qss", .message = "missing.qss"},
        {.qss = dir_.path(), .message = "not a regular file"},
        {.qss = fifo, .message = "not a regular file"},
        {.qss = tooLarge, .message = "larger than 4 MiB"},
    };
    for (const RefusedCase& c : cases) {
        const Outcome outcome = Run({"skin", c.qss.string(), skin_.string()});
        EXPECT_EQ(outcome.status, 1) << c.qss;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.qss << ": " << outcome.err;
        EXPECT_EQ(WorkFiles(), std::vector<std::string>{}) << c.qss;
    }
}

}  // namespace
