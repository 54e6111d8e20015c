// The shipped engine profiles through the whole harvester: real result pages,
// saved from the engines, served by the demo engine on a loopback port and
// harvested by the real program, row for row against the hits a person sees.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/search/serp_pages.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using nlohmann::json;
using testsupport::ChildProcess;

constexpr int kDeadlineMillis = 30000;
const std::string kSerp = ZORVANE_SERP_DATA;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<json> JsonLines(const std::string& text) {
    std::vector<json> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        rows.push_back(json::parse(line));
    }
    return rows;
}

class HarvestProfiles : public ::testing::Test {
protected:
    void SetUp() override {
        // No profile file of the machine's user may take part.
        std::filesystem::create_directories(folder_ + "home");
        std::filesystem::copy_file(ZORVANE_HARVEST_PATH, folder_ + "zorvane-harvest");
        // The shipped profiles without their pauses between pages.
        json profiles = json::parse(serp::ReadFile(ZORVANE_SHIPPED_PROFILES));
        for (json& profile : profiles["profiles"]) {
            profile["delayMinMs"] = 0;
            profile["delayExtraMs"] = 0;
        }
        std::ofstream(folder_ + "nodelay.json") << profiles.dump(2);
    }

    void serve(const std::string& page, const std::string& charset = "") {
        std::vector<std::string> args{ZORVANE_DEMO_ENGINE_PATH, "--port", "0", "--page", page};
        if (!charset.empty()) {
            args.insert(args.end(), {"--charset", charset});
        }
        engine_ = std::make_unique<ChildProcess>(args);
        port_ = engine_->AwaitListeningPort(kDeadlineMillis);
        ASSERT_FALSE(port_.empty());
    }

    void TearDown() override {
        if (engine_) {
            kill(engine_->pid(), SIGTERM);
            engine_->Wait(kDeadlineMillis);
        }
    }

    std::string loopback() const { return "http://127.0.0.1:" + port_; }

    std::unique_ptr<ChildProcess> harvest(std::vector<std::string> args) {
        args.insert(args.begin(), folder_ + "zorvane-harvest");
        return std::make_unique<ChildProcess>(
            args, std::vector<std::string>{"HOME=" + folder_ + "home",
                                           "XDG_CONFIG_HOME=", "http_proxy=", "https_proxy="});
    }

    testsupport::TempDir dir_{"zorvane_profiles"};
    const std::string folder_ = dir_.pathWithSlash();
    std::string port_;
    std::unique_ptr<ChildProcess> engine_;
};

class RealPage : public HarvestProfiles, public ::testing::WithParamInterface<std::string> {};

// Every organic hit of the page, in order, with its real destination, its
// title as the row's anchor, its snippet and the link as the page wrote it;
// nothing else.
TEST_P(RealPage, GivesEveryHitAndNothingElse) {
    const json truth = json::parse(serp::ReadFile(kSerp + "truth/" + GetParam() + ".json"));
    serve(kSerp + "pages/" + GetParam() + ".html", truth["charset"]);
    const json& hits = truth["results"];
    const std::string profile = serp::ProfileName(truth["profile"]);
    // Built piece by piece: GCC 12 at -O3 warns wrongly about "[" + name + ...
    std::string siteLine = "[";
    siteLine.append(profile).append("] ").append(loopback());
    const bool blocked = truth["kind"] == "blocked";
    const auto run = harvest({"--site", siteLine, "--keyword", truth["query"], "--max",
                              std::to_string(std::max<std::size_t>(hits.size(), 1)), "--format",
                              "jsonl", "--engines", folder_ + "nodelay.json"});
    ASSERT_EQ(run->Wait(kDeadlineMillis), blocked ? 5 : 0) << run->err();
    if (blocked) {
        EXPECT_TRUE(Contains(run->err(), "Blocked by " + profile + ": ")) << run->err();
        EXPECT_EQ(run->out(), "");
        return;
    }
    const std::vector<json> rows = JsonLines(run->out());
    ASSERT_EQ(rows.size(), hits.size()) << run->err();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("hit " + std::to_string(i + 1));
        // A relative link (Sogou's /link?url=...) leads to the server that
        // sent the page: here the loopback one.
        std::string url = hits[i]["url"];
        const std::string rawHref = hits[i]["raw_href"];
        if (rawHref.starts_with("/") && url.ends_with(rawHref)) {
            url = loopback() + url.substr(url.find('/', url.find("://") + 3));
        }
        EXPECT_EQ(rows[i]["position"], i + 1);
        EXPECT_EQ(rows[i]["url"], url);
        EXPECT_EQ(rows[i]["anchor"], hits[i]["title"]);
        EXPECT_EQ(rows[i].value("raw_link", ""), hits[i]["raw_href"]);
        EXPECT_EQ(rows[i].value("snippet", ""),
                  hits[i]["snippet"].is_null() ? "" : hits[i]["snippet"].get<std::string>());
        EXPECT_EQ(rows[i].value("display_url", ""), hits[i].value("display_url", ""));
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, RealPage, ::testing::ValuesIn(serp::PageNames(kSerp)),
                         [](const auto& info) { return serp::TestName(info.param); });

// As a user writes it: the engine's name in the site line selects the
// shipped profile, with its own pauses; the CSV keeps its four columns.
TEST_F(HarvestProfiles, BingByNameInTheSiteLine) {
    serve(kSerp + "pages/bing-2022-dan-robitzski.html", "utf-8");
    const auto run = harvest(
        {"--site", "http://bing@127.0.0.1:" + port_, "--keyword", "Dan Robitzski", "--max", "10"});
    ASSERT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    EXPECT_TRUE(Contains(run->out(), "\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n"));
    EXPECT_TRUE(
        Contains(run->out(),
                 "\"1\",\"Meet BV-1, the Newest COVID Variant To Be Terrified Of - "
                 "Futurism\",\"https://futurism.com/neoscope/meet-bv1-newest-covid-variant\""))
        << run->out();
    EXPECT_TRUE(Contains(run->out(), "\"10\","));
    EXPECT_FALSE(Contains(run->out(), "\"11\","));
    EXPECT_TRUE(Contains(run->err(), "/search?q=Dan+Robitzski&first=1"));
}

// The page's next link leads on: the second request asks for the next
// offset, and its hits follow on in one numbering.
TEST_F(HarvestProfiles, FollowsTheNextPage) {
    serve(kSerp + "pages/bing-2022-dan-robitzski.html", "utf-8");
    const auto run =
        harvest({"--site", "[bing] " + loopback(), "--keyword", "Dan Robitzski", "--max", "15",
                 "--format", "jsonl", "--engines", folder_ + "nodelay.json"});
    ASSERT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    const std::vector<json> rows = JsonLines(run->out());
    ASSERT_EQ(rows.size(), 15u);
    EXPECT_EQ(rows[10]["url"], rows[0]["url"]);
    EXPECT_EQ(rows[14]["position"], 15);
    EXPECT_TRUE(Contains(run->err(), "/search?q=Dan+Robitzski&first=11"));
}

// DuckDuckGo's next page is its page's form, posted to /html/.
TEST_F(HarvestProfiles, FollowsTheNextPageForm) {
    serve(kSerp + "pages/duckduckgo-2020-fake-cache-bypass.html", "utf-8");
    const auto run =
        harvest({"--site", "[duckduckgo] " + loopback(), "--keyword", "Fake cache bypass", "--max",
                 "30", "--format", "jsonl", "--engines", folder_ + "nodelay.json"});
    ASSERT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    const std::vector<json> rows = JsonLines(run->out());
    ASSERT_EQ(rows.size(), 30u) << run->err();
    EXPECT_EQ(rows[25]["url"], rows[0]["url"]);
    EXPECT_TRUE(Contains(run->err(), loopback() + "/html/?q=Fake+cache+bypass...")) << run->err();
    EXPECT_TRUE(Contains(run->err(), loopback() + "/html/...")) << run->err();
}

// A page in another charset reaches the rows as UTF-8.
TEST_F(HarvestProfiles, PagesInWindows1252) {
    const std::string page = folder_ + "latin.html";
    std::ofstream(page) << "<html><body><ol id=\"b_results\"><li class=\"b_algo\"><h2><a "
                           "href=\"https://caf\xe9.example/\">Caf\xe9 cr\xe8me \x93quoted\x94"
                           "</a></h2><div class=\"b_caption\"><p>Prix \x80 5</p></div></li>"
                           "</ol></body></html>";
    serve(page, "windows-1252");
    const auto run = harvest({"--site", "[bing] " + loopback(), "--keyword", "café", "--format",
                              "jsonl", "--engines", folder_ + "nodelay.json"});
    ASSERT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    const std::vector<json> rows = JsonLines(run->out());
    ASSERT_EQ(rows.size(), 1u) << run->err();
    EXPECT_EQ(rows[0]["anchor"], "Café crème \u201cquoted\u201d");
    EXPECT_EQ(rows[0]["snippet"], "Prix \u20ac 5");
    EXPECT_TRUE(Contains(run->err(), "q=caf%C3%A9"));
}

TEST_F(HarvestProfiles, ABlockPageEndsWithItsOwnExitCode) {
    const std::string page = folder_ + "blocked.html";
    std::ofstream(page) << "<html><head><title>Ecosia: IP Blocked</title></head>"
                           "<body><h1>IP blocked</h1></body></html>";
    serve(page);
    const auto run = harvest({"--site", "http://ecosia@127.0.0.1:" + port_, "--keyword", "x"});
    EXPECT_EQ(run->Wait(kDeadlineMillis), 5) << run->err();
    EXPECT_TRUE(Contains(run->err(), "Blocked by ecosia: ")) << run->err();
    EXPECT_TRUE(Contains(run->out(), "\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n"));
}

// A page with content in which a pass recognises neither a hit nor a next
// link (here a real 2022 Google page for the built-in Google pass) is named
// in its outcome line, and a run of nothing but such pages has exit code 6.
// A page some pass reads, an empty page and a block keep their outcome.
TEST_F(HarvestProfiles, APageNoPassCanReadHasItsOwnExitCode) {
    const std::string google2022 = kSerp + "pages/google-2022-evan-colborne.html";
    const std::string empty = folder_ + "empty.html";
    std::ofstream{empty};
    const std::string captcha = folder_ + "captcha.html";
    std::ofstream(captcha) << "<html><body><form id='captcha-form' action='/sorry/index'>"
                              "<input name='q'></form></body></html>";
    const std::string builtIn =
        "0 items; The page held no hits this pass can read: the engine may have changed its "
        "pages; an engine profile may serve.";
    struct Case {
        const char* what;
        std::string page;
        std::string tag;  // before the loopback URL; empty: the built-in pass by its name
        int exitCode;
        std::string notice;  // in the outcome line; empty: no notice
    } const cases[] = {
        {.what = "built-in pass on a 2022 Google page",
         .page = google2022,
         .tag = "",
         .exitCode = 6,
         .notice = builtIn},
        {.what = "a profile on another engine's page",
         .page = google2022,
         .tag = "[bing] ",
         .exitCode = 6,
         .notice = "0 items; The page held no hits engine profile bing can read: the engine may "
                   "have changed its pages; the profile may need updating."},
        {.what = "a second pass reads the page",
         .page = google2022,
         .tag = "[google, google-web] ",
         .exitCode = 0,
         .notice = builtIn},
        {.what = "an empty page", .page = empty, .tag = "", .exitCode = 0, .notice = ""},
        {.what = "a block goes before an unreadable page",
         .page = captcha,
         .tag = "[google, google-web] ",
         .exitCode = 5,
         .notice = builtIn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serve(c.page, "utf-8");
        const std::string site =
            c.tag.empty() ? "http://google@127.0.0.1:" + port_ : c.tag + loopback();
        const auto run = harvest(
            {"--site", site, "--keyword", "Evan Colborne", "--engines", folder_ + "nodelay.json"});
        EXPECT_EQ(run->Wait(kDeadlineMillis), c.exitCode) << run->err();
        EXPECT_EQ(Contains(run->err(), "can read"), !c.notice.empty()) << run->err();
        if (!c.notice.empty()) {
            EXPECT_TRUE(Contains(run->err(), "\n" + c.notice + "\n")) << run->err();
        }
        EXPECT_EQ(run->out().rfind("\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n", 0), 0u);
        kill(engine_->pid(), SIGTERM);
        engine_->Wait(kDeadlineMillis);
        engine_.reset();
    }
}

// A keyword list is 6 only when the pages of all its keywords were such
// pages; each keyword still counts as complete, so --resume moves on.
TEST_F(HarvestProfiles, AKeywordListOfUnreadablePagesIsCompleteAndEndsWith6) {
    serve(kSerp + "pages/google-2022-evan-colborne.html", "utf-8");
    const std::string list = folder_ + "keywords.txt";
    const std::string csv = folder_ + "rows.csv";
    std::ofstream(list) << "evan\ncolborne\n";
    const auto run =
        harvest({"--site", "http://google@127.0.0.1:" + port_, "--keywords", list, "--csv", csv});
    EXPECT_EQ(run->Wait(kDeadlineMillis), 6) << run->err();
    const std::string journal = serp::ReadFile(csv + ".done");
    EXPECT_TRUE(Contains(journal, "\tevan\n")) << journal;
    EXPECT_TRUE(Contains(journal, "\tcolborne\n")) << journal;
}

// A user's profile whose hits expression counts the whole page for every
// hit, and a page of 20 000 hits for it.
struct RunawayProfile {
    std::string engines;
    std::string page;
};

RunawayProfile WriteRunawayProfile(const std::string& folder) {
    const RunawayProfile files{.engines = folder + "runaway.json", .page = folder + "runaway.html"};
    std::ofstream(files.engines) << R"({"profiles": [{"name": "runaway", "select": "runaway",
        "path": "/search?q={query}", "hits": "//div[@class='hit'][count(//div) > 0]",
        "link": "a/@href", "title": "a", "next": "//a[@id='next']"}]})";
    std::ofstream page(files.page);
    page << "<html><body>";
    for (int i = 0; i < 20000; ++i) {
        page << "<div class='hit'><a href='https://h" << i << ".example/'>t</a></div>";
    }
    page << "<a id='next' href='/search?page=2'>Next</a></body></html>";
    return files;
}

// A page whose expressions outrun their budget fails, says so, and the run
// ends as one that got no page.
TEST_F(HarvestProfiles, APageOverItsBudgetFails) {
    const RunawayProfile files = WriteRunawayProfile(folder_);
    serve(files.page, "utf-8");
    const auto run = harvest(
        {"--site", "[runaway] " + loopback(), "--keyword", "x", "--engines", files.engines});
    EXPECT_EQ(run->Wait(kDeadlineMillis), 3) << run->err();
    EXPECT_TRUE(Contains(run->err(),
                         "Page not read whole: the profile's XPath expressions took "
                         "more than 10000000 steps"))
        << run->err();
    EXPECT_EQ(run->out(), "\"Pos\",\"Anchor\",\"URL\",\"Engine Site\"\r\n");
}

// Ctrl-C while a page is being read ends the run then, not once the page is
// read.
TEST_F(HarvestProfiles, CtrlCWhileReadingAPageStopsTheRun) {
    const RunawayProfile files = WriteRunawayProfile(folder_);
    serve(files.page, "utf-8");
    const auto run = harvest(
        {"--site", "[runaway] " + loopback(), "--keyword", "x", "--engines", files.engines});
    ASSERT_TRUE(run->ReadUntil(
        [&] { return Contains(run->err(), "Process completed sucessfull!"); }, kDeadlineMillis))
        << run->err();
    kill(run->pid(), SIGINT);
    EXPECT_EQ(run->Wait(kDeadlineMillis), 0) << run->err();
    EXPECT_TRUE(Contains(run->err(), "Process aborted by user.\n")) << run->err();
    EXPECT_FALSE(Contains(run->err(), "Page not read whole")) << run->err();
}

// A broken file is named with the place of the fault, and the run goes on
// with the profiles that loaded; --list-engines shows what a line can use.
TEST_F(HarvestProfiles, ABrokenFileIsNamedAndSkipped) {
    const std::string broken = folder_ + "broken.json";
    std::ofstream(broken) << "{\"profiles\": [\n  {\"name\": \"x\",\n  }\n]}";
    const auto list = harvest({"--list-engines", "--engines", broken});
    EXPECT_EQ(list->Wait(kDeadlineMillis), 0);
    EXPECT_TRUE(Contains(list->err(), broken + ": line 3")) << list->err();
    for (const char* name :
         {"google\t", "google backlinks\t", "bing\t", "yahoo-web\t", "google-web\t",
          "google-basic\t", "brave\t", "ecosia\t", "duckduckgo\t"}) {
        EXPECT_TRUE(Contains(list->out(), name)) << name << "\n" << list->out();
    }
}

}  // namespace
