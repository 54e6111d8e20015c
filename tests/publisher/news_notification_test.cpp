// The hint rule and the LastNewsId record in the encrypted settings file.

#include "publisher/news_notification.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/publisher/scripted_host.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"
#include "util/settings_file.h"

namespace {

namespace fs = std::filesystem;
using publisher::ReadLastNewsId;
using publisher::StoreLastNewsId;

struct IdCase {
    const char* text;
    std::int32_t number;
};

TEST(NewsId, OnlyDecimalIntegersInTheSigned32BitRangeCount) {
    const std::vector<IdCase> cases = {
        {.text = "12", .number = 12},
        {.text = "-5", .number = -5},
        {.text = "+7", .number = 7},
        {.text = "007", .number = 7},
        {.text = "2147483647", .number = std::numeric_limits<std::int32_t>::max()},
        {.text = "-2147483648", .number = std::numeric_limits<std::int32_t>::min()},
        {.text = "2147483648", .number = 0},
        {.text = "-2147483649", .number = 0},
        {.text = "99999999999999999999", .number = 0},
        {.text = "", .number = 0},
        {.text = "abc", .number = 0},
        {.text = "12a", .number = 0},
        {.text = " 12", .number = 0},
        {.text = "12 ", .number = 0},
        {.text = "1.5", .number = 0},
        {.text = "0x1A", .number = 0},
        {.text = "+-1", .number = 0},
        {.text = "-", .number = 0},
        {.text = "+", .number = 0},
    };
    for (const IdCase& c : cases) {
        EXPECT_EQ(publisher::NewsIdNumber(c.text), c.number) << '"' << c.text << '"';
    }
}

struct HintCase {
    const char* newest;
    const char* stored;
    bool shown;
};

TEST(NewsHint, ShownOnlyWhenTheNewestIdIsStrictlyGreater) {
    const std::vector<HintCase> cases = {
        {.newest = "12", .stored = "11", .shown = true},
        {.newest = "12", .stored = "12", .shown = false},
        {.newest = "12", .stored = "13", .shown = false},
        {.newest = "12", .stored = "", .shown = true},
        {.newest = "12", .stored = "twelve", .shown = true},
        {.newest = "12", .stored = "99999999999", .shown = true},
        {.newest = "", .stored = "", .shown = false},
        {.newest = "new", .stored = "0", .shown = false},
        {.newest = "", .stored = "-1", .shown = true},
        {.newest = "-3", .stored = "-4", .shown = true},
        {.newest = "3000000000", .stored = "", .shown = false},
    };
    for (const HintCase& c : cases) {
        EXPECT_EQ(publisher::ShowsNewsHint(c.newest, c.stored), c.shown)
            << c.newest << " vs " << c.stored;
    }
    EXPECT_EQ(publisher::NewsHintText("Caf\xE9 $41"), "You've Got A Message!\r\nCaf\xE9 $41");
}

class LastNewsIdFile : public ::testing::Test {
protected:
    void writeSettings(const std::string& plain) { util::ReplaceSettingsFile(path_, plain); }
    std::string settingsText() const { return util::DecryptSettingsText(path_).value_or("<bad>"); }
    std::vector<std::string> folderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    testsupport::TempDir folder_{"zorvane-lastnews"};
    std::string path_ = (folder_ / "dbsettings.dat").string();
};

struct StoreCase {
    const char* name;
    std::string before;
    std::string after;     // the settings text after storing "12"
    std::string readBack;  // what ReadLastNewsId gives then
};

TEST_F(LastNewsIdFile, StoreReplacesTheFirstExactLineOrAppendsAndReadFindsTheFirstElement) {
    const std::string element = "<%%LastNewsId%%>12<%%/LastNewsId%%>\r\n";
    const std::vector<StoreCase> cases = {
        {.name = "no element",
         .before = "<%%AppName%%>Zorvane<%%/AppName%%>\r\nsecond\r\n",
         .after = "<%%AppName%%>Zorvane<%%/AppName%%>\r\nsecond\r\n" + element,
         .readBack = "12"},
        {.name = "element present: only its line changes",
         .before = "a\r\n<%%LastNewsId%%>5<%%/LastNewsId%%>\r\nb\r\n"
                   "<%%LastNewsId%%>6<%%/LastNewsId%%>\r\n",
         .after = "a\r\n" + element + "b\r\n<%%LastNewsId%%>6<%%/LastNewsId%%>\r\n",
         .readBack = "12"},
        {.name = "other text on the element's line goes with it",
         .before = "x<%%LastNewsId%%>5<%%/LastNewsId%%>y\r\n",
         .after = element,
         .readBack = "12"},
        {.name = "lower-case tags are read but not replaced",
         .before = "<%%lastnewsid%%>5<%%/LASTNEWSID%%>\r\n",
         .after = "<%%lastnewsid%%>5<%%/LASTNEWSID%%>\r\n" + element,
         .readBack = "5"},
        {.name = "LF-only and CR-only lines come back with CR LF",
         .before = "a\nb\rc",
         .after = "a\r\nb\r\nc\r\n" + element,
         .readBack = "12"},
        {.name = "empty file", .before = "", .after = element, .readBack = "12"},
    };
    for (const StoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        writeSettings(c.before);
        StoreLastNewsId(path_, "12");
        EXPECT_EQ(settingsText(), c.after);
        EXPECT_EQ(ReadLastNewsId(path_), c.readBack);
        EXPECT_EQ(folderNames(), std::vector<std::string>{"dbsettings.dat"});
    }
}

TEST_F(LastNewsIdFile, ReadGivesTheUntrimmedValueOrEmptyWithoutACompleteElement) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<%%LastNewsId%%> 7 <%%/LastNewsId%%>", " 7 "},
        {"<%%LastNewsId%%><%%/LastNewsId%%>", ""},
        {"<%%LastNewsId%%>7", ""},
        {"7<%%/LastNewsId%%>", ""},
        {"<%%LastNewsId%%>7\n<%%/LastNewsId%%>", "7\r\n"},
    };
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text);
        writeSettings(text);
        EXPECT_EQ(ReadLastNewsId(path_), value);
    }
}

TEST_F(LastNewsIdFile, MissingFileStaysMissing) {
    EXPECT_EQ(ReadLastNewsId(path_), "");
    StoreLastNewsId(path_, "12");
    EXPECT_TRUE(folderNames().empty());
}

TEST_F(LastNewsIdFile, FileThatIsNotAuthenticIsLeftAsItIs) {
    writeSettings("<%%AppName%%>Zorvane<%%/AppName%%>\r\n<%%LastNewsId%%>5<%%/LastNewsId%%>\r\n");
    std::string bytes = testsupport::ReadFileBytes(path_);
    bytes[bytes.size() / 2] ^= 0x01;
    for (const std::string& foreign : {bytes, std::string("plain text, not encrypted")}) {
        testsupport::WriteFileBytes(path_, foreign);
        EXPECT_EQ(ReadLastNewsId(path_), "");
        StoreLastNewsId(path_, "12");
        EXPECT_EQ(testsupport::ReadFileBytes(path_), foreign);
        EXPECT_EQ(folderNames(), std::vector<std::string>{"dbsettings.dat"});
    }
}

TEST_F(LastNewsIdFile, IdThatCouldPlantOtherSettingsIsNotStored) {
    const std::string before = "<%%LastNewsId%%>5<%%/LastNewsId%%>\r\n";
    writeSettings(before);
    const std::string untouched = testsupport::ReadFileBytes(path_);
    for (const std::string& id :
         {std::string("6\r\n<%%AffiliateURL%%>http://evil/<%%/AffiliateURL%%>"),
          std::string("6\n7"), std::string("6<%%/LastNewsId%%><%%HelpURL%%>x"),
          std::string("6\0", 2)}) {
        StoreLastNewsId(path_, id);
        EXPECT_EQ(testsupport::ReadFileBytes(path_), untouched);
    }
}

// Only an id the hint rule can compare is stored: anything else it reads as
// 0 anyway, and a news server could grow the brand's file without end.
TEST_F(LastNewsIdFile, OnlyANewsIdIsStored) {
    const std::string before =
        "<%%AppName%%>Zorvane<%%/AppName%%>\r\n<%%LastNewsId%%>5<%%/LastNewsId%%>\r\n";
    writeSettings(before);
    const std::string untouched = testsupport::ReadFileBytes(path_);
    for (const std::string& id : {
             std::string(16 * 1024 * 1024, '9'),
             std::string("2147483648"),
             std::string("-2147483649"),
             std::string("<html><body>BOOKED</body></html>"),
             std::string("not a number"),
             std::string(" 6"),
             std::string("6 "),
             std::string("+-6"),
             std::string(""),
         }) {
        SCOPED_TRACE(id.substr(0, 40));
        StoreLastNewsId(path_, id);
        EXPECT_EQ(testsupport::ReadFileBytes(path_), untouched);
    }
    for (const char* id : {"2147483647", "-2147483648", "+7", "007"}) {
        StoreLastNewsId(path_, id);
        EXPECT_EQ(ReadLastNewsId(path_), id);
    }
    EXPECT_EQ(util::DecryptSettingsText(path_).value_or("").substr(0, 36),
              "<%%AppName%%>Zorvane<%%/AppName%%>\r\n");
}

enum class StoreOutcome { Threw, Stored, Unreadable, OtherFailure, NoUserNamespace };

// Stores id where the folder's rights count. Root writes into any folder, so
// as root the store runs in a child that gave root up by entering a user
// namespace of its own, where the test's files belong to nobody it knows.
StoreOutcome StoreWithoutRoot(const std::string& path, std::string_view id,
                              const std::string& readBefore) {
    const auto attempt = [&] {
        try {
            if (ReadLastNewsId(path) != readBefore) {
                return StoreOutcome::Unreadable;
            }
            StoreLastNewsId(path, id);
            return StoreOutcome::Stored;
        } catch (const util::SettingsFileError&) {
            return StoreOutcome::Threw;
        } catch (...) {
            return StoreOutcome::OtherFailure;
        }
    };
    if (::geteuid() != 0) {
        return attempt();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(static_cast<int>(::unshare(CLONE_NEWUSER) == 0 ? attempt()
                                                               : StoreOutcome::NoUserNamespace));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return StoreOutcome::OtherFailure;
    }
    return static_cast<StoreOutcome>(WEXITSTATUS(status));
}

TEST_F(LastNewsIdFile, StoreIntoAFolderThatCannotBeWrittenThrowsAndKeepsTheOldFile) {
    writeSettings("<%%LastNewsId%%>5<%%/LastNewsId%%>\r\n");
    const std::string before = testsupport::ReadFileBytes(path_);
    // Readable by everyone, writable by no one.
    fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(folder_.path(), fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
    fs::permissions(folder_.path(), fs::perms::owner_write, fs::perm_options::remove);
    const StoreOutcome outcome = StoreWithoutRoot(path_, "12", "5");
    if (outcome == StoreOutcome::NoUserNamespace) {
        GTEST_SKIP() << "root, and no user namespace to give root up in";
    }
    EXPECT_EQ(outcome, StoreOutcome::Threw);
    EXPECT_EQ(testsupport::ReadFileBytes(path_), before);
    EXPECT_EQ(ReadLastNewsId(path_), "5");
    EXPECT_EQ(folderNames(), std::vector<std::string>{"dbsettings.dat"});
}

struct CheckCase {
    const char* name;
    const char* branderType;
    std::string reply;
    std::optional<std::string> settings;  // nullopt: no settings file
    std::optional<std::string> hint;
};

TEST_F(LastNewsIdFile, StartupCheckAsksSilentlyAndHintsOnlyAtANewerItem) {
    const auto stored = [](const char* id) {
        return std::string("<%%AppName%%>Z<%%/AppName%%>\r\n<%%LastNewsId%%>") + id +
               "<%%/LastNewsId%%>\r\n";
    };
    const std::string newest = "12^Big news $41\xAFOK";
    const std::vector<CheckCase> cases = {
        {.name = "newer",
         .branderType = "Master",
         .reply = newest,
         .settings = stored("11"),
         .hint = "You've Got A Message!\r\nBig news $41"},
        {.name = "same",
         .branderType = "Master",
         .reply = newest,
         .settings = stored("12"),
         .hint = std::nullopt},
        {.name = "older",
         .branderType = "Master",
         .reply = newest,
         .settings = stored("13"),
         .hint = std::nullopt},
        {.name = "nothing stored",
         .branderType = "Master",
         .reply = newest,
         .settings = std::nullopt,
         .hint = "You've Got A Message!\r\nBig news $41"},
        {.name = "no news, stored id negative",
         .branderType = "Master",
         .reply = "OK",
         .settings = stored("-1"),
         .hint = "You've Got A Message!\r\n"},
        {.name = "no news",
         .branderType = "Master",
         .reply = "OK",
         .settings = stored(""),
         .hint = std::nullopt},
        {.name = "error reply",
         .branderType = "Master",
         .reply = "CONNECTIONFAIL",
         .settings = stored("11"),
         .hint = std::nullopt},
        {.name = "no tier",
         .branderType = "Free",
         .reply = newest,
         .settings = stored("11"),
         .hint = std::nullopt},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path_);
        if (c.settings) {
            writeSettings(*c.settings);
        }
        testsupport::ScriptedServer server(
            {testsupport::Reply(testsupport::HttpResponse("HTTP/1.1 200 OK", c.reply))});
        publisher::NewsBrand brand;
        brand.BranderType = c.branderType;
        brand.BranderCode = "ZV";
        brand.MasterPublID = "pub";
        brand.MasterNewsBaseURL = server.url("/news/");
        net::HttpClient http;
        publisher_test::ScriptedHost host;
        publisher::NewsClient news(http, host, brand);
        EXPECT_EQ(publisher::CheckLastNews(news, brand, path_), c.hint);
        EXPECT_TRUE(host.shown.empty());
        EXPECT_EQ(server.connectionCount(), c.branderType == std::string("Free") ? 0u : 1u);
        if (c.settings) {
            EXPECT_EQ(settingsText(), *c.settings);
        }
    }
}

}  // namespace
