// The demo publisher answered by the program's own news client and update
// check, in-process, and the built program once from the outside.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "publisher/news_client.h"
#include "publisher/publisher_texts.h"
#include "publisher/update_check.h"
#include "tests/publisher/scripted_host.h"
#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"
#include "tools/demo_engine/loopback_server.h"
#include "tools/demo_publisher/demo_news.h"
#include "util/decode_dollar_hex.h"

namespace {

namespace fs = std::filesystem;
using publisher::NewsBrand;
using publisher::NewsClient;
using publisher_test::ScriptedHost;

constexpr int kDeadlineMillis = 10000;

NewsBrand DemoBrand(const std::string& baseUrl, std::string publisherId = "demo") {
    NewsBrand brand;
    brand.BranderType = "Master";
    brand.BranderCode = "ZV-DEMO";
    brand.MasterPublID = std::move(publisherId);
    brand.MasterNewsBaseURL = baseUrl;
    return brand;
}

// The service in-process, on a free loopback port.
class DemoPublisher : public ::testing::Test {
protected:
    void SetUp() override { server_.Start(); }

    std::string url(const std::string& path) const { return server_.baseUrl() + path; }

    demo::PublisherOptions options_;
    demo::LoopbackServer server_{[this](const demo::HttpRequest& request) {
        return demo::PublisherReply(request, options_);
    }};
    net::HttpClient http_;
    ScriptedHost host_;
};

TEST_F(DemoPublisher, AnswersTheListTheLastItemAndDecodableDetails) {
    NewsClient news(http_, host_, DemoBrand(url("/news/")));
    std::vector<std::string> list;
    ASSERT_TRUE(news.FetchNewsList("demo", "ZV-DEMO", "BM", "UA", list));
    EXPECT_EQ(list, (std::vector<std::string>{"3^Zorvane 3.0 is ready: OK to update^2026-12-01",
                                              "2^Caf\xE9 talk: five engines, one grid^2026-11-15",
                                              "1^Welcome to the Zorvane news^2026-11-01"}));
    std::string id, title;
    ASSERT_TRUE(news.FetchLastNews("demo", "ZV-DEMO", "BM", "UA", id, title, false));
    EXPECT_EQ(id, "3");
    EXPECT_EQ(title, "Zorvane 3.0 is ready: OK to update");
    for (const demo::NewsItem& item : demo::DemoNewsItems()) {
        std::string html;
        ASSERT_TRUE(news.FetchNewsDetails("demo", "ZV-DEMO", "BM", "UA", item.id, html));
        EXPECT_EQ(html, item.html);
    }
    EXPECT_TRUE(host_.shown.empty());
}

TEST_F(DemoPublisher, AnswersEachErrorWhenAskedAndForUnknownUsersAndNews) {
    struct {
        const char* name;
        std::string basePath;
        std::string publisherId;
        std::string newsId;
        std::string_view message;
    } const cases[] = {
        {.name = "unknown publisher id",
         .basePath = "/news/",
         .publisherId = "someone",
         .newsId = "1",
         .message = publisher::texts::kInvalidUser},
        {.name = "unknown news id",
         .basePath = "/news/",
         .publisherId = "demo",
         .newsId = "99",
         .message = publisher::texts::kInvalidNews},
        {.name = "CONNECTIONFAIL",
         .basePath = "/fail/CONNECTIONFAIL/",
         .publisherId = "demo",
         .newsId = "1",
         .message = publisher::texts::kConnectionFail},
        {.name = "INVALIDUSER",
         .basePath = "/x/fail/INVALIDUSER/",
         .publisherId = "demo",
         .newsId = "1",
         .message = publisher::texts::kInvalidUser},
        {.name = "INVALIDPRODUCT",
         .basePath = "/fail/INVALIDPRODUCT/",
         .publisherId = "demo",
         .newsId = "1",
         .message = publisher::texts::kInvalidProduct},
        {.name = "INVALIDNEWS",
         .basePath = "/fail/INVALIDNEWS/",
         .publisherId = "demo",
         .newsId = "1",
         .message = publisher::texts::kInvalidNews},
        {.name = "EMPTY",
         .basePath = "/fail/EMPTY/",
         .publisherId = "demo",
         .newsId = "1",
         .message = publisher::texts::kNoReply},
        {.name = "500",
         .basePath = "/fail/500/",
         .publisherId = "demo",
         .newsId = "1",
         .message = publisher::texts::kNoReply},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHost host;
        NewsClient news(http_, host, DemoBrand(url(c.basePath), c.publisherId));
        std::string html;
        EXPECT_FALSE(news.FetchNewsDetails(c.publisherId, "ZV-DEMO", "BM", "UA", c.newsId, html));
        EXPECT_EQ(host.texts(), std::vector<std::string>{std::string(c.message)});
    }
}

TEST_F(DemoPublisher, ServesTheBuiltInDescriptorOrTheFoldersOne) {
    const testsupport::TempDir folder("zorvane-demo-pub");
    fs::create_directories(folder / "program");
    const std::string programFolder = (folder / "program").string() + "/";
    const std::string base = url("/liveupdate/zorvane/");

    ScriptedHost offered(programFolder);
    EXPECT_EQ(publisher::CheckForUpdate(http_, offered, base, true),
              publisher::UpdateOutcome::Declined);
    EXPECT_EQ(offered.texts(),
              std::vector<std::string>{std::string(publisher::texts::kUpdateOfferStart) + "3.0" +
                                       std::string(publisher::texts::kUpdateOfferEnd)});

    options_.folder = (folder / "served").string();
    fs::create_directories(options_.folder);
    ScriptedHost missing(programFolder);
    EXPECT_EQ(publisher::CheckForUpdate(http_, missing, base, false),
              publisher::UpdateOutcome::CheckFailed);
    EXPECT_EQ(missing.texts(),
              std::vector<std::string>{std::string(publisher::texts::kUpdateCheckFailed) + base +
                                       "mainappupdate.inf:\nHTTP/1.1 404 Not Found"});
    EXPECT_FALSE(fs::exists(programFolder + "mainappupdate.inf"));

    testsupport::WriteFileBytes(folder / "served" / "mainappupdate.inf",
                                "[APPLICATION]\r\nVersion=2.0\r\n");
    ScriptedHost same(programFolder);
    EXPECT_EQ(publisher::CheckForUpdate(http_, same, base, false),
              publisher::UpdateOutcome::NoUpdate);
    EXPECT_EQ(testsupport::ReadFileBytes(programFolder + "mainappupdate.inf"),
              "[APPLICATION]\r\nVersion=2.0\r\n");
}

TEST(DemoPublisherEscapes, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const std::string escaped = demo::EscapeDollarHex(all);
    EXPECT_EQ(escaped.find('\xAF'), std::string::npos);
    EXPECT_EQ(escaped.find('^'), std::string::npos);
    EXPECT_EQ(util::DecodeDollarHex(escaped), all);
}

TEST(DemoPublisherProgram, ListensOnAFreePortAndLogsEveryRequestLine) {
    testsupport::ChildProcess child({ZORVANE_DEMO_PUBLISHER_PATH, "--port", "0"});
    ASSERT_TRUE(child.ReadUntil([&] { return child.out().find('\n') != std::string::npos; },
                                kDeadlineMillis));
    const std::string prefix = "zorvane-demo-publisher listening on ";
    ASSERT_EQ(child.out().substr(0, prefix.size()), prefix);
    const std::string baseUrl =
        child.out().substr(prefix.size(), child.out().find('\n') - prefix.size());
    ASSERT_EQ(baseUrl.substr(0, 17), "http://127.0.0.1:");

    net::HttpClient http;
    ScriptedHost host;
    NewsClient news(http, host, DemoBrand(baseUrl + "/news/"));
    std::string id, title;
    EXPECT_TRUE(news.FetchLastNews("demo", "ZV-DEMO", "BM", "UA", id, title, false));
    EXPECT_EQ(id, "3");
    ASSERT_TRUE(child.ReadUntil(
        [&] {
            return child.err().find("POST /news/getlastnews.php HTTP/1.0\n") != std::string::npos;
        },
        kDeadlineMillis))
        << child.err();
    kill(child.pid(), SIGTERM);
    EXPECT_EQ(child.Wait(kDeadlineMillis), 0);
}

TEST(DemoPublisherProgram, RefusesBadArguments) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{},
          {"--port"},
          {"--port", "65536"},
          {"--port", "x"},
          {"--port", "0", "--folder", "/nonexistent/zorvane"},
          {"--colour", "red"}}) {
        std::vector<std::string> argv = {ZORVANE_DEMO_PUBLISHER_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        testsupport::ChildProcess child(argv);
        EXPECT_EQ(child.Wait(kDeadlineMillis), 2) << testing::PrintToString(args);
    }
}

}  // namespace
