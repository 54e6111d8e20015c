// The update check: the INI reading, the version compare, the bounded
// download and the questions up to the updater start.

#include "publisher/update_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "publisher/ini_file.h"
#include "publisher/publisher_texts.h"
#include "tests/publisher/scripted_host.h"
#include "tests/publisher/without_root.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using publisher::UpdateOutcome;
namespace texts = publisher::texts;
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
// Without an updater: where the new version is, and whether to open it.
ScriptedHost::Shown MissingShown(const std::string& baseUrl) {
    return {Kind::Question,
            "The updater module is missing. The new version is in the update folder\n" + baseUrl +
                "\nDo you want to open this address in your web browser?",
            Buttons::YesNo};
}
const ScriptedHost::Shown kCloseQuestion{
    Kind::Information,
    "To update your software the application will close to\n\rreplace some files. Do you want to "
    "update now?",
    Buttons::OkCancel};

// The notice of a check that could not be made: where it asked and why not.
ScriptedHost::Shown CheckFailedShown(const std::string& baseUrl, const std::string& reason) {
    return {Kind::Warning,
            "Could not check for updates at " + baseUrl + "mainappupdate.inf:\n" + reason,
            Buttons::Ok};
}

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
        {.name = "plain",
         .text = "[APPLICATION]\r\nName=Zorvane\r\nVersion=2.1\r\n",
         .value = "2.1"},
        {.name = "names in any case, LF lines", .text = "[application]\nVERSION=3\n", .value = "3"},
        {.name = "blanks around names and value",
         .text = "  [ Application ]  \n\t version \t=  2.5 \t\n",
         .value = "2.5"},
        {.name = "first equals sign", .text = "[APPLICATION]\nVersion=a=b\n", .value = "a=b"},
        {.name = "double quotes", .text = "[APPLICATION]\nVersion=\"3.0\"\n", .value = "3.0"},
        {.name = "single quotes", .text = "[APPLICATION]\nVersion= '3.0' \n", .value = "3.0"},
        {.name = "one pair only",
         .text = "[APPLICATION]\nVersion=\"\"3.0\"\"\n",
         .value = "\"3.0\""},
        {.name = "unbalanced quote", .text = "[APPLICATION]\nVersion=\"3.0\n", .value = "\"3.0"},
        {.name = "first key wins", .text = "[APPLICATION]\nVersion=1\nVersion=2\n", .value = "1"},
        {.name = "key of another section",
         .text = "[OTHER]\nVersion=3\n[APPLICATION]\nName=x\n",
         .value = ""},
        {.name = "first section wins",
         .text = "[APPLICATION]\nName=x\n[APPLICATION]\nVersion=3\n",
         .value = ""},
        {.name = "key before any section", .text = "Version=3\n[APPLICATION]\n", .value = ""},
        {.name = "no section", .text = "Version=3\n", .value = ""},
        {.name = "empty value", .text = "[APPLICATION]\nVersion=\n", .value = ""},
        {.name = "no equals sign", .text = "[APPLICATION]\nVersion\n", .value = ""},
        {.name = "empty text", .text = "", .value = ""},
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

TEST(DescriptorVersion, TextLongerThan32CharactersIsNoVersion) {
    ASSERT_EQ(publisher::kMaxVersionLength, 32u);
    EXPECT_EQ(publisher::DescriptorVersion("3." + std::string(30, '0')), 3.0f);
    EXPECT_EQ(publisher::DescriptorVersion("3." + std::string(31, '0')), 0.0f);
    EXPECT_EQ(publisher::DescriptorVersion(std::string(31, ' ') + "3"), 3.0f);
    EXPECT_EQ(publisher::DescriptorVersion(std::string(32, ' ') + "3"), 0.0f);
    EXPECT_FALSE(publisher::IsNewerVersion("3." + std::string(900000, '0')));
}

// A program folder of its own for every test, and the update server.
class UpdateCheck : public ::testing::Test {
protected:
    std::string folder() const { return folder_.pathWithSlash(); }
    fs::path descriptor() const { return folder_ / "mainappupdate.inf"; }
    std::string updater(const std::string& name = "Updater.exe") const { return folder() + name; }

    void makeUpdater(fs::perms perms = fs::perms::owner_all,
                     const std::string& name = "Updater.exe") {
        testsupport::WriteFileBytes(updater(name), "#!/bin/sh\n");
        fs::permissions(updater(name), perms);
    }

    fs::path cached() const { return cache_ / "zorvane" / "mainappupdate.inf"; }
    std::string cacheFolder() const { return (cache_ / "zorvane").string() + "/"; }

    UpdateOutcome check(ScriptedServer& server, ScriptedHost& host, bool silent) {
        return publisher::CheckForUpdate(http_, host, server.url("/liveupdate/zorvane/"), silent);
    }

    testsupport::TempDir folder_{"zorvane-update"};
    testsupport::TempDir cache_{"zorvane-update-cache"};
    net::HttpClient http_;
};

struct VersionCase {
    const char* name;
    std::string descriptor;
    std::optional<std::string> offered;  // the version text in the offer
};

TEST_F(UpdateCheck, OffersOnlyAVersionAboveTheProgramsShownAsWritten) {
    const std::vector<VersionCase> cases = {
        {.name = "2.0",
         .descriptor = "[APPLICATION]\r\nName=Zorvane\r\nVersion=2.0\r\n",
         .offered = std::nullopt},
        {.name = "2.1", .descriptor = "[APPLICATION]\r\nVersion=2.1\r\n", .offered = "2.1"},
        {.name = "3", .descriptor = "[APPLICATION]\r\nVersion=3\r\n", .offered = "3"},
        {.name = "1.9", .descriptor = "[APPLICATION]\r\nVersion=1.9\r\n", .offered = std::nullopt},
        {.name = "comma",
         .descriptor = "[APPLICATION]\r\nVersion=2,1\r\n",
         .offered = std::nullopt},
        {.name = "three parts",
         .descriptor = "[APPLICATION]\r\nVersion=2.0.1\r\n",
         .offered = std::nullopt},
        {.name = "blanks", .descriptor = "[APPLICATION]\r\nVersion= 2.5 \r\n", .offered = "2.5"},
        {.name = "within single precision of 2.0",
         .descriptor = "[APPLICATION]\r\nVersion=2.0000001\r\n",
         .offered = std::nullopt},
        {.name = "2.10 as written",
         .descriptor = "[APPLICATION]\r\nVersion=2.10\r\n",
         .offered = "2.10"},
        {.name = "quoted", .descriptor = "[application]\nversion=\"3.0\"\n", .offered = "3.0"},
        {.name = "empty", .descriptor = "[APPLICATION]\r\nVersion=\r\n", .offered = std::nullopt},
        {.name = "no section", .descriptor = "[OTHER]\r\nVersion=3.0\r\n", .offered = std::nullopt},
        {.name = "empty file", .descriptor = "", .offered = std::nullopt},
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
            EXPECT_EQ(host.shown, (std::vector{OfferShown(*c.offered),
                                               MissingShown(server.url("/liveupdate/zorvane/"))}));
        } else {
            EXPECT_EQ(outcome, UpdateOutcome::NoUpdate);
            EXPECT_EQ(host.shown, std::vector{kNoUpdate});
        }
        EXPECT_TRUE(host.started.empty());
    }
}

// A check that could not fetch the descriptor knows nothing of a newer
// version: asked for, it says so with the reason instead of "no new updates".
TEST_F(UpdateCheck, FailedDownloadRemovesTheDescriptorAndSaysWhyUnlessSilent) {
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/liveupdate/zorvane/";
    ScriptedServer notFound({Reply(HttpResponse("HTTP/1.1 404 Not Found",
                                                "[APPLICATION]\r\n"
                                                "Version=9\r\n"))});
    // A chunked body cut inside a chunk: the client's broken transfer.
    ScriptedServer broken(
        {Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
               "40\r\n[APPLICATION]\r\nVersion=9\r\n")});
    const struct {
        const char* name;
        std::string baseUrl;
        std::string reason;
    } cases[] = {
        {.name = "nobody listens",
         .baseUrl = refused,
         .reason = "Socket Error # 111 Connection refused"},
        {.name = "no descriptor",
         .baseUrl = notFound.url("/liveupdate/zorvane/"),
         .reason = "HTTP/1.1 404 Not Found"},
        {.name = "cut short",
         .baseUrl = broken.url("/liveupdate/zorvane/"),
         .reason = "Connection Closed Gracefully."},
    };
    for (const auto& c : cases) {
        for (const bool silent : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (silent ? ", silent" : ""));
            // A descriptor of an earlier check must not be taken for this one's.
            testsupport::WriteFileBytes(descriptor(), "[APPLICATION]\r\nVersion=9\r\n");
            ScriptedHost host(folder());
            host.answer(true);
            EXPECT_EQ(publisher::CheckForUpdate(http_, host, c.baseUrl, silent),
                      UpdateOutcome::CheckFailed);
            EXPECT_FALSE(fs::exists(descriptor()));
            EXPECT_EQ(host.shown, silent ? std::vector<ScriptedHost::Shown>{}
                                         : std::vector{CheckFailedShown(c.baseUrl, c.reason)});
        }
    }
    EXPECT_EQ(notFound.received(0).substr(0, notFound.received(0).find("\r\n")),
              "GET /liveupdate/zorvane/mainappupdate.inf HTTP/1.1");
}

// The descriptor decides what the program offers to install: a redirect
// may move it within the update host, never to another scheme, host or port.
TEST_F(UpdateCheck, DescriptorComesOnlyFromTheUpdateHost) {
    const std::string newer = Ok200("[APPLICATION]\r\nVersion=9.0\r\n");
    const std::string path = "/liveupdate/zorvane/mainappupdate.inf";
    const auto found = [](const std::string& location) {
        return Reply(HttpResponse("HTTP/1.1 302 Found", "", "Location: " + location + "\r\n"));
    };
    // Another loopback port is another host; it serves a newer descriptor.
    ScriptedServer other({Reply(newer)});
    const std::string otherPort = std::to_string(other.port());
    const struct {
        const char* name;
        std::vector<testsupport::Script> scripts;
        bool offered;
    } cases[] = {
        {.name = "another port", .scripts = {found(other.url(path))}, .offered = false},
        {.name = "another port, scheme-relative",
         .scripts = {found("//127.0.0.1:" + otherPort + path)},
         .offered = false},
        {.name = "another host name",
         .scripts = {found("http://localhost:" + otherPort + path)},
         .offered = false},
        {.name = "another scheme",
         .scripts = {found("https://127.0.0.1:" + otherPort + path)},
         .offered = false},
        {.name = "within the host first, then away",
         .scripts = {found("/moved/mainappupdate.inf"), found(other.url(path))},
         .offered = false},
        {.name = "within the host",
         .scripts = {found("/moved/mainappupdate.inf"), found("../again/mainappupdate.inf"),
                     Reply(newer)},
         .offered = true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.scripts);
        ScriptedHost host(folder());
        const UpdateOutcome outcome = check(server, host, false);
        if (c.offered) {
            EXPECT_EQ(outcome, UpdateOutcome::Declined);
            EXPECT_EQ(host.shown, std::vector{OfferShown("9.0")});
            EXPECT_EQ(server.connectionCount(), 3u);
        } else {
            EXPECT_EQ(outcome, UpdateOutcome::CheckFailed);
            EXPECT_EQ(host.shown,
                      std::vector{CheckFailedShown(server.url("/liveupdate/zorvane/"),
                                                   std::string(texts::kUpdateRedirectedAway))});
            EXPECT_FALSE(fs::exists(descriptor()));
        }
    }
    EXPECT_EQ(other.connectionCount(), 0u) << "nothing is asked of another host";
}

TEST_F(UpdateCheck, VersionOfNineHundredThousandZerosIsNoVersion) {
    ScriptedServer server(
        {Reply(Ok200("[APPLICATION]\r\nVersion=3." + std::string(900000, '0') + "\r\n"))});
    ScriptedHost host(folder());
    host.answer(true);
    EXPECT_EQ(check(server, host, false), UpdateOutcome::NoUpdate);
    EXPECT_EQ(host.shown, std::vector{kNoUpdate});
}

// What a check observed, packed into a child's exit code.
struct ReadOnlyRun {
    UpdateOutcome outcome = UpdateOutcome::UpdaterStarted;
    std::size_t shown = 0;
    bool threw = false;
    bool inProgramFolder = false;
    bool inCache = false;

    int packed() const {
        return static_cast<int>(outcome) | static_cast<int>(std::min<std::size_t>(shown, 3)) << 3 |
               threw << 5 | inProgramFolder << 6 | inCache << 7;
    }
    static ReadOnlyRun Unpacked(int code) {
        return {.outcome = static_cast<UpdateOutcome>(code & 7),
                .shown = static_cast<std::size_t>(code >> 3 & 3),
                .threw = (code >> 5 & 1) != 0,
                .inProgramFolder = (code >> 6 & 1) != 0,
                .inCache = (code >> 7 & 1) != 0};
    }
    bool operator==(const ReadOnlyRun&) const = default;
};

// Every installed copy has a program folder the user cannot write: the
// descriptor goes to the user's cache folder, and a silent check shows
// nothing even when no folder takes it.
TEST_F(UpdateCheck, ReadOnlyProgramFolderUsesTheCacheFolderAndASilentCheckShowsNothing) {
    fs::permissions(folder_.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                        fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    const struct {
        const char* name;
        bool silent;
        bool cacheWritable;
        ReadOnlyRun expected;
    } cases[] = {
        {.name = "silent",
         .silent = true,
         .cacheWritable = true,
         .expected = {.outcome = UpdateOutcome::NoUpdate, .shown = 0, .inCache = true}},
        {.name = "asked for",
         .silent = false,
         .cacheWritable = true,
         .expected = {.outcome = UpdateOutcome::NoUpdate, .shown = 1, .inCache = true}},
        {.name = "silent, cache not writable either",
         .silent = true,
         .cacheWritable = false,
         .expected = {.outcome = UpdateOutcome::NoUpdate, .shown = 0}},
        {.name = "asked for, cache not writable either: the failure says why",
         .silent = false,
         .cacheWritable = false,
         .expected = {.shown = 0, .threw = true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(cache_ / "zorvane");
        // The child of a root run is one of the others.
        fs::permissions(cache_.path(), c.cacheWritable
                                           ? fs::perms::all
                                           : fs::perms::owner_read | fs::perms::owner_exec |
                                                 fs::perms::others_read | fs::perms::others_exec);
        ScriptedServer server({Reply(Ok200("[APPLICATION]\r\nVersion=2.0\r\n"))});
        const std::optional<int> code = publisher_test::RunWithoutRoot([&] {
            net::HttpClient http;
            ScriptedHost host(folder(), cacheFolder());
            ReadOnlyRun run;
            try {
                run.outcome = publisher::CheckForUpdate(
                    http, host, server.url("/liveupdate/zorvane/"), c.silent);
            } catch (const std::runtime_error&) {
                run.threw = true;
            }
            run.shown = host.shown.size();
            run.inProgramFolder = fs::exists(descriptor());
            run.inCache = fs::exists(cached());
            return run.packed();
        });
        if (!code) {
            GTEST_SKIP() << "root, and no user namespace to give root up in";
        }
        ASSERT_GE(*code, 0);
        EXPECT_EQ(ReadOnlyRun::Unpacked(*code), c.expected);
        if (c.expected.inCache) {
            EXPECT_EQ(testsupport::ReadFileBytes(cached()), "[APPLICATION]\r\nVersion=2.0\r\n");
            EXPECT_EQ(fs::status(cache_ / "zorvane").permissions() & fs::perms::all,
                      fs::perms::owner_all);
        }
    }
    fs::permissions(cache_.path(), fs::perms::owner_all);
}

TEST_F(UpdateCheck, DownloadIsBoundedToOneMebibyte) {
    const std::string limit(publisher::kMaxDescriptorBytes, 'x');
    struct {
        const char* name;
        std::string response;
        bool ok;
    } const cases[] = {
        {.name = "exactly the limit", .response = Ok200(limit), .ok = true},
        {.name = "one byte more, announced", .response = Ok200(limit + "x"), .ok = false},
        {.name = "one byte more, chunked",
         .response = testsupport::ChunkedResponse("HTTP/1.1 200 OK", {limit, "x"}),
         .ok = false},
    };
    const std::optional<std::string> tooLarge = "The download is too large.";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({Reply(c.response)});
        ScriptedHost host(folder());
        EXPECT_EQ(publisher::DownloadToFile(http_, host, server.url("/d"), descriptor().string()),
                  c.ok ? std::nullopt : tooLarge);
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
        {.name = "cancel the offer",
         .answers = {false},
         .silent = false,
         .outcome = UpdateOutcome::Declined,
         .shown = {OfferShown("3.0")}},
        {.name = "cancel the close question",
         .answers = {true, false},
         .silent = false,
         .outcome = UpdateOutcome::Declined,
         .shown = {OfferShown("3.0"), kCloseQuestion}},
        {.name = "both OK",
         .answers = {true, true},
         .silent = false,
         .outcome = UpdateOutcome::UpdaterStarted,
         .shown = {OfferShown("3.0"), kCloseQuestion}},
        {.name = "both OK, silent check",
         .answers = {true, true},
         .silent = true,
         .outcome = UpdateOutcome::UpdaterStarted,
         .shown = {OfferShown("3.0"), kCloseQuestion}},
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
    for (const std::string name : {"updater", "Updater.exe"}) {
        const std::vector<std::function<void()>> makers = {
            [&] { makeUpdater(fs::perms::owner_read, name); },
            [&] { fs::create_directory(updater(name)); },
            [&] { fs::create_symlink(folder() + "gone", updater(name)); },
        };
        for (const auto& make : makers) {
            SCOPED_TRACE(name);
            fs::remove_all(updater(name));
            make();
            ScriptedServer server({Reply(Ok200("[APPLICATION]\r\nVersion=3.0\r\n"))});
            ScriptedHost host(folder());
            host.answer(true);
            host.answer(false);
            EXPECT_EQ(check(server, host, true), UpdateOutcome::UpdaterMissing);
            EXPECT_EQ(host.shown, (std::vector{OfferShown("3.0"),
                                               MissingShown(server.url("/liveupdate/zorvane/"))}));
            EXPECT_TRUE(host.started.empty());
        }
        fs::remove_all(updater(name));
    }
}

// A brander ships "updater" for Linux; a copy made as the program always was
// has "Updater.exe". Either starts with the same three arguments, and the
// Linux one is taken when both are there.
TEST_F(UpdateCheck, EitherUpdaterNameStartsAndTheLinuxOneComesFirst) {
    const struct {
        const char* name;
        std::vector<std::string> present;
        std::string started;
        std::vector<std::string> notRunnable = {};
    } cases[] = {
        {.name = "updater", .present = {"updater"}, .started = "updater"},
        {.name = "Updater.exe", .present = {"Updater.exe"}, .started = "Updater.exe"},
        {.name = "both", .present = {"Updater.exe", "updater"}, .started = "updater"},
        {.name = "an updater that cannot run",
         .present = {"Updater.exe"},
         .started = "Updater.exe",
         .notRunnable = {"updater"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name : {"updater", "Updater.exe"}) {
            fs::remove_all(updater(name));
        }
        for (const std::string& name : c.present) {
            makeUpdater(fs::perms::owner_all, name);
        }
        for (const std::string& name : c.notRunnable) {
            makeUpdater(fs::perms::owner_read, name);
        }
        ScriptedServer server({Reply(Ok200("[APPLICATION]\r\nVersion=3.0\r\n"))});
        ScriptedHost host(folder());
        host.answer(true);
        host.answer(true);
        EXPECT_EQ(check(server, host, false), UpdateOutcome::UpdaterStarted);
        EXPECT_EQ(host.shown, (std::vector{OfferShown("3.0"), kCloseQuestion}));
        ASSERT_EQ(host.started.size(), 1u);
        EXPECT_EQ(host.started[0].program, updater(c.started));
        EXPECT_EQ(host.started[0].args,
                  (std::vector<std::string>{server.url("/liveupdate/zorvane/"), "2.0", "A"}));
        EXPECT_TRUE(host.opened.empty());
    }
}

// Without an updater the accepted offer is no dead end: the user learns
// where the new version is, and Yes opens that address in the browser.
TEST_F(UpdateCheck, WithoutAnUpdaterYesOpensTheUpdateFolderAndNoDoesNothing) {
    for (const bool yes : {true, false}) {
        for (const bool silent : {false, true}) {
            SCOPED_TRACE(std::string(yes ? "Yes" : "No") + (silent ? ", silent" : ""));
            ScriptedServer server({Reply(Ok200("[APPLICATION]\r\nVersion=3.0\r\n"))});
            const std::string base = server.url("/liveupdate/zorvane/");
            ScriptedHost host(folder());
            host.answer(true);
            host.answer(yes);
            EXPECT_EQ(check(server, host, silent), UpdateOutcome::UpdaterMissing);
            EXPECT_EQ(host.shown, (std::vector{OfferShown("3.0"), MissingShown(base)}));
            EXPECT_EQ(host.opened, yes ? std::vector{base} : std::vector<std::string>{});
            EXPECT_TRUE(host.started.empty());
        }
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
    EXPECT_EQ(nested, UpdateOutcome::CheckFailed);
    EXPECT_EQ(host.shown,
              std::vector{CheckFailedShown(stalled.url("/liveupdate/"), "Client is busy.")});
    EXPECT_EQ(testsupport::ReadFileBytes(descriptor()), "[APPLICATION]\r\nVersion=9\r\n");
}
