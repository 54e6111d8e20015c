// The update check: the INI reading, the version compare, the bounded
// download and the questions up to the updater start.

#include "publisher/update_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "publisher/ini_file.h"
#include "publisher/publisher_texts.h"
#include "tests/publisher/scripted_host.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scripted_server.h"

namespace {

namespace fs = std::filesystem;
using publisher::UpdateOutcome;
using publisher_test::ScriptedHost;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::ScriptedServer;
using Kind = publisher::PublisherHost::MessageKind;
using Buttons = publisher::PublisherHost::MessageButtons;

std::string Ok200(const std::string& body) {
    return HttpResponse("HTTP/1.1 200 OK", body);
}

std::string Offer(const std::string& version) {
    return "There is a new update: (version " + version +
           ") available for your application!. Do you want download this update now?";
}

const ScriptedHost::Shown kNoUpdate{Kind::Information,
                                    "There's no new updates for this application!", Buttons::Ok};
const ScriptedHost::Shown kMissing{
    Kind::Warning, "The updater module is missing. Please reinstall again the current version!",
    Buttons::Ok};
const ScriptedHost::Shown kCloseQuestion{
    Kind::Information,
    "To update your software the application will close to\n\rreplace some files. Do you want to "
    "update now?",
    Buttons::OkCancel};

ScriptedHost::Shown OfferShown(const std::string& version) {
    return {Kind::Information, Offer(version), Buttons::OkCancel};
}

struct IniCase {
    const char* name;
    std::string text;
    std::string value;
};

TEST(IniValue, NamesWithoutCaseValueAfterTheFirstEqualsTrimmedAndUnquoted) {
    const std::vector<IniCase> cases = {
        {"plain", "[APPLICATION]\r\nName=Zorvane\r\nVersion=2.1\r\n", "2.1"},
        {"names in any case, LF lines", "[application]\nVERSION=3\n", "3"},
        {"blanks around names and value", "  [ Application ]  \n\t version \t=  2.5 \t\n", "2.5"},
        {"first equals sign", "[APPLICATION]\nVersion=a=b\n", "a=b"},
        {"double quotes", "[APPLICATION]\nVersion=\"3.0\"\n", "3.0"},
        {"single quotes", "[APPLICATION]\nVersion= '3.0' \n", "3.0"},
        {"one pair only", "[APPLICATION]\nVersion=\"\"3.0\"\"\n", "\"3.0\""},
        {"unbalanced quote", "[APPLICATION]\nVersion=\"3.0\n", "\"3.0"},
        {"first key wins", "[APPLICATION]\nVersion=1\nVersion=2\n", "1"},
        {"key of another section", "[OTHER]\nVersion=3\n[APPLICATION]\nName=x\n", ""},
        {"first section wins", "[APPLICATION]\nName=x\n[APPLICATION]\nVersion=3\n", ""},
        {"key before any section", "Version=3\n[APPLICATION]\n", ""},
        {"no section", "Version=3\n", ""},
        {"empty value", "[APPLICATION]\nVersion=\n", ""},
        {"no equals sign", "[APPLICATION]\nVersion\n", ""},
        {"empty text", "", ""},
    };
    for (const IniCase& c : cases) {
        EXPECT_EQ(publisher::ReadIniValue(c.text, "APPLICATION", "Version"), c.value) << c.name;
    }
}

TEST(DescriptorVersion, ReadsOnlyPointDecimalsInSinglePrecision) {
    EXPECT_EQ(publisher::DescriptorVersion(" 2.5 "), 2.5f);
    EXPECT_EQ(publisher::DescriptorVersion("2.0000001"), 2.0f);
    EXPECT_EQ(publisher::DescriptorVersion("+3"), 3.0f);
    EXPECT_EQ(publisher::DescriptorVersion("-3"), -3.0f);
    EXPECT_EQ(publisher::DescriptorVersion(".5"), 0.5f);
    EXPECT_EQ(publisher::DescriptorVersion("5."), 5.0f);
    EXPECT_EQ(publisher::DescriptorVersion("25e-1"), 2.5f);
    for (const char* notANumber : {"", " ", "2,1", "2.0.1", ".", "1e", "e1", "2 .1", "v3", "0x3",
                                   "inf", "nan", "1e99", "+-3"}) {
        EXPECT_EQ(publisher::DescriptorVersion(notANumber), 0.0f) << '"' << notANumber << '"';
    }
}

// A program folder of its own for every test, and the update server.
class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("zorvane-update-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string folder() const { return folder_.string() + "/"; }
    fs::path descriptor() const { return folder_ / "mainappupdate.inf"; }
    std::string updater() const { return folder() + "Updater.exe"; }

    void makeUpdater(fs::perms perms = fs::perms::owner_all) {
        testsupport::WriteFileBytes(updater(), "#!/bin/sh\n");
        fs::permissions(updater(), perms);
    }

    UpdateOutcome check(ScriptedServer& server, ScriptedHost& host, bool silent) {
        return publisher::CheckForUpdate(http_, host, server.url("/liveupdate/zorvane/"), silent);
    }

    fs::path folder_;
    net::HttpClient http_;
};

struct VersionCase {
    const char* name;
    std::string descriptor;
    std::optional<std::string> offered;  // the version text in the offer
};

TEST_F(UpdateCheck, OffersOnlyAVersionAboveTheProgramsShownAsWritten) {
    const std::vector<VersionCase> cases = {
        {"2.0", "[APPLICATION]\r\nName=Zorvane\r\nVersion=2.0\r\n", std::nullopt},
        {"2.1", "[APPLICATION]\r\nVersion=2.1\r\n", "2.1"},
        {"3", "[APPLICATION]\r\nVersion=3\r\n", "3"},
        {"1.9", "[APPLICATION]\r\nVersion=1.9\r\n", std::nullopt},
        {"comma", "[APPLICATION]\r\nVersion=2,1\r\n", std::nullopt},
        {"three parts", "[APPLICATION]\r\nVersion=2.0.1\r\n", std::nullopt},
        {"blanks", "[APPLICATION]\r\nVersion= 2.5 \r\n", "2.5"},
        {"within single precision of 2.0", "[APPLICATION]\r\nVersion=2.0000001\r\n", std::nullopt},
        {"2.10 as written", "[APPLICATION]\r\nVersion=2.10\r\n", "2.10"},
        {"quoted", "[application]\nversion=\"3.0\"\n", "3.0"},
        {"empty", "[APPLICATION]\r\nVersion=\r\n", std::nullopt},
        {"no section", "[OTHER]\r\nVersion=3.0\r\n", std::nullopt},
        {"empty file", "", std::nullopt},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({Reply(Ok200(c.descriptor))});
        ScriptedHost host(folder());
        host.answer(true);
        const UpdateOutcome outcome = check(server, host, false);
        EXPECT_EQ(testsupport::ReadFileBytes(descriptor()), c.descriptor);
        if (c.offered) {
            EXPECT_EQ(outcome, UpdateOutcome::UpdaterMissing);
            EXPECT_EQ(host.shown, (std::vector{OfferShown(*c.offered), kMissing}));
        } else {
            EXPECT_EQ(outcome, UpdateOutcome::NoUpdate);
            EXPECT_EQ(host.shown, std::vector{kNoUpdate});
        }
        EXPECT_TRUE(host.started.empty());
    }
}

TEST_F(UpdateCheck, FailedDownloadRemovesTheDescriptorAndIsANoUpdateShownUnlessSilent) {
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/liveupdate/zorvane/";
    ScriptedServer notFound({Reply(HttpResponse("HTTP/1.1 404 Not Found",
                                                "[APPLICATION]\r\n"
                                                "Version=9\r\n"))});
    // A chunked body cut inside a chunk: the client's broken transfer.
    ScriptedServer broken(
        {Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
               "40\r\n[APPLICATION]\r\nVersion=9\r\n")});
    for (const std::string& baseUrl :
         {refused, notFound.url("/liveupdate/zorvane/"), broken.url("/liveupdate/zorvane/")}) {
        for (const bool silent : {false, true}) {
            SCOPED_TRACE(baseUrl + (silent ? " silent" : ""));
            // A descriptor of an earlier check must not be taken for this one's.
            testsupport::WriteFileBytes(descriptor(), "[APPLICATION]\r\nVersion=9\r\n");
            ScriptedHost host(folder());
            host.answer(true);
            EXPECT_EQ(publisher::CheckForUpdate(http_, host, baseUrl, silent),
                      UpdateOutcome::NoUpdate);
            EXPECT_FALSE(fs::exists(descriptor()));
            EXPECT_EQ(host.shown,
                      silent ? std::vector<ScriptedHost::Shown>{} : std::vector{kNoUpdate});
        }
    }
    EXPECT_EQ(notFound.received(0).substr(0, notFound.received(0).find("\r\n")),
              "GET /liveupdate/zorvane/mainappupdate.inf HTTP/1.1");
}

TEST_F(UpdateCheck, DownloadIsBoundedToOneMebibyte) {
    const std::string limit(publisher::kMaxDescriptorBytes, 'x');
    struct {
        const char* name;
        std::string response;
        bool ok;
    } const cases[] = {
        {"exactly the limit", Ok200(limit), true},
        {"one byte more, announced", Ok200(limit + "x"), false},
        {"one byte more, chunked", testsupport::ChunkedResponse("HTTP/1.1 200 OK", {limit, "x"}),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({Reply(c.response)});
        ScriptedHost host(folder());
        EXPECT_EQ(publisher::DownloadToFile(http_, host, server.url("/d"), descriptor().string()),
                  c.ok);
        EXPECT_EQ(host.eventRounds, 1);
        EXPECT_EQ(fs::exists(descriptor()), c.ok);
        if (c.ok) {
            EXPECT_EQ(fs::file_size(descriptor()), publisher::kMaxDescriptorBytes);
        }
    }
}

TEST_F(UpdateCheck, EachQuestionCanBeDeclinedAndBothOkStartTheUpdaterWithItsThreeArguments) {
    makeUpdater();
    const std::string descriptorText = "[APPLICATION]\r\nVersion=3.0\r\n";
    struct {
        const char* name;
        std::vector<bool> answers;
        bool silent;
        UpdateOutcome outcome;
        std::vector<ScriptedHost::Shown> shown;
    } const cases[] = {
        {"cancel the offer", {false}, false, UpdateOutcome::Declined, {OfferShown("3.0")}},
        {"cancel the close question",
         {true, false},
         false,
         UpdateOutcome::Declined,
         {OfferShown("3.0"), kCloseQuestion}},
        {"both OK",
         {true, true},
         false,
         UpdateOutcome::UpdaterStarted,
         {OfferShown("3.0"), kCloseQuestion}},
        {"both OK, silent check",
         {true, true},
         true,
         UpdateOutcome::UpdaterStarted,
         {OfferShown("3.0"), kCloseQuestion}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({Reply(Ok200(descriptorText))});
        ScriptedHost host(folder());
        for (const bool answer : c.answers) {
            host.answer(answer);
        }
        EXPECT_EQ(check(server, host, c.silent), c.outcome);
        EXPECT_EQ(host.shown, c.shown);
        if (c.outcome == UpdateOutcome::UpdaterStarted) {
            ASSERT_EQ(host.started.size(), 1u);
            EXPECT_EQ(host.started[0].program, updater());
            EXPECT_EQ(host.started[0].args,
                      (std::vector<std::string>{server.url("/liveupdate/zorvane/"), "2.0", "A"}));
        } else {
            EXPECT_TRUE(host.started.empty());
        }
    }
}

TEST_F(UpdateCheck, UpdaterThatIsNotARegularExecutableFileCountsAsMissing) {
    const std::vector<std::function<void()>> makers = {
        [this] { makeUpdater(fs::perms::owner_read); },
        [this] { fs::create_directory(updater()); },
        [this] { fs::create_symlink(folder() + "gone", updater()); },
    };
    for (const auto& make : makers) {
        fs::remove_all(updater());
        make();
        ScriptedServer server({Reply(Ok200("[APPLICATION]\r\nVersion=3.0\r\n"))});
        ScriptedHost host(folder());
        host.answer(true);
        host.answer(true);
        EXPECT_EQ(check(server, host, true), UpdateOutcome::UpdaterMissing);
        EXPECT_EQ(host.shown, (std::vector{OfferShown("3.0"), kMissing}));
        EXPECT_TRUE(host.started.empty());
    }
}

}  // namespace

TEST_F(UpdateCheck, CheckNestedInARunningRequestLeavesThatRequestAlone) {
    testsupport::StalledListener stalled;
    testsupport::WriteFileBytes(descriptor(), "[APPLICATION]\r\nVersion=9\r\n");
    ScriptedHost host(folder());
    int idleRounds = 0;
    UpdateOutcome nested = UpdateOutcome::UpdaterStarted;
    // The first idle round runs a check inside the blocked connect; only the
    // second ends the connect, so a check that disconnected the client would
    // leave no second round.
    http_.onIdle = [&] {
        if (++idleRounds == 1) {
            nested = publisher::CheckForUpdate(http_, host, stalled.url("/liveupdate/"), false);
        } else {
            http_.Disconnect();
        }
    };
    net::MemoryStream page;
    EXPECT_THROW(http_.GetToStream(stalled.url("/page"), page), net::HttpError);
    EXPECT_EQ(idleRounds, 2);
    EXPECT_EQ(nested, UpdateOutcome::NoUpdate);
    EXPECT_EQ(host.shown, std::vector{kNoUpdate});
    EXPECT_EQ(testsupport::ReadFileBytes(descriptor()), "[APPLICATION]\r\nVersion=9\r\n");
}
