#include "search/page_fetcher.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "run_fixture.h"
#include "util/line_file.h"

namespace search {
namespace {

using testing::RunFixture;

constexpr char kConnectionError[] = "Connection error, check if you are connected and url exists.";

// A server of fixed replies by target, for the fetcher's edge cases.
class FetchPageTest : public RunFixture {
protected:
    demo::LoopbackServer server_{[this](const demo::HttpRequest& r) { return reply(r); }};
    std::function<demo::HttpReply(const demo::HttpRequest&)> reply;

    void SetUp() override {
        RunFixture::SetUp();
        server_.Start();
    }
    void TearDown() override {
        server_.Stop();
        RunFixture::TearDown();
    }
    std::string url() const { return server_.baseUrl() + "/page"; }
};

TEST_F(FetchPageTest, StopBeforeTheCallDoesNothing) {
    host_.stop = true;
    PageBuffer page("kept");
    EXPECT_FALSE(FetchPage(ctx_, url(), page));
    EXPECT_EQ(page.rest(), "kept");
    EXPECT_TRUE(host_.mainStatusHistory.empty());
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(FetchPageTest, PageTextIsTheBodyAsCrLfLines) {
    struct Case {
        std::string body;
        std::string text;
    } cases[] = {
        {.body = "", .text = ""},
        {.body = "abc", .text = "abc\r\n"},
        {.body = "a\nb\n", .text = "a\r\nb\r\n"},
        {.body = "a\rb\r\nc", .text = "a\r\nb\r\nc\r\n"},
        {.body = std::string("a\0b", 3), .text = "a\r\n"},
    };
    for (const Case& c : cases) {
        reply = [&c](const demo::HttpRequest&) {
            return demo::HttpReply{200, "OK", "text/html", c.body};
        };
        PageBuffer page("old");
        host_.mainStatusHistory.clear();
        EXPECT_TRUE(FetchPage(ctx_, url(), page));
        EXPECT_EQ(page.rest(), c.text);
        EXPECT_EQ(host_.mainStatusHistory,
                  (std::vector<std::string>{"Getting URL: " + url() + "...",
                                            "Process completed sucessfull!"}));
    }
    const demo::HttpRequest sent = server_.requests().back();
    EXPECT_EQ(sent.header("Pragma"), "no-cache");
    EXPECT_EQ(sent.header("Cache-control"), "no-cache");
    EXPECT_EQ(http_.Request.Pragma, "no-cache");
}

TEST_F(FetchPageTest, ProgressMovesTheGaugeToItsMaximum) {
    const std::string body(100000, 'x');
    reply = [&body](const demo::HttpRequest&) {
        return demo::HttpReply{200, "OK", "text/html", body};
    };
    PageBuffer page;
    EXPECT_TRUE(FetchPage(ctx_, url(), page));
    EXPECT_EQ(host_.gaugeMaxValue, 100000);
    EXPECT_EQ(host_.gaugeValue, 100000);
}

TEST_F(FetchPageTest, FailuresLeaveThePageUntouched) {
    const std::string huge(kMaxPageBytes + 1, 'x');
    const demo::HttpReply replies[] = {
        {500, "Internal Server Error", "text/html", "broken"},
        {404, "Not Found", "text/html", ""},
        {200, "OK", "text/html", huge},
    };
    for (const demo::HttpReply& r : replies) {
        reply = [&r](const demo::HttpRequest&) { return r; };
        PageBuffer page("kept");
        EXPECT_FALSE(FetchPage(ctx_, url(), page)) << r.status;
        EXPECT_EQ(page.rest(), "kept");
        EXPECT_EQ(host_.mainStatus, kConnectionError);
    }
    // The gauge starts from 0 for every request, even one that never connects.
    host_.gaugeValue = 77;
    PageBuffer page("kept");
    EXPECT_FALSE(FetchPage(ctx_, "http://127.0.0.1:1/refused", page));
    EXPECT_EQ(host_.mainStatus, kConnectionError);
    EXPECT_EQ(host_.gaugeValue, 0);
}

// Stop pressed while the body arrives: the download returns with part of the
// body, which is discarded.
TEST_F(FetchPageTest, StopDuringTheBodyIsReportedAfterTheGet) {
    reply = [](const demo::HttpRequest&) {
        demo::HttpReply r{200, "OK", "text/html", std::string(200000, 'x')};
        r.stallAfter = 1000;
        return r;
    };
    host_.onProcessEvents = [this] {
        if (host_.gaugeValue > 0 && !host_.stop) {
            StopSearch(host_, http_);
        }
    };
    PageBuffer page("kept");
    EXPECT_FALSE(FetchPage(ctx_, url(), page));
    EXPECT_EQ(page.rest(), "kept");
    EXPECT_EQ(host_.mainStatusHistory.end()[-2], "Proccess aborted by user.");
    EXPECT_EQ(host_.mainStatus, "Process aborted by user.");
}

// Stop pressed while the client waits for the reply: the download fails.
TEST_F(FetchPageTest, StopWhileWaitingIsReportedAsAFailure) {
    reply = [](const demo::HttpRequest&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        return demo::HttpReply{200, "OK", "text/html", "late"};
    };
    host_.onProcessEvents = [this] {
        if (!host_.stop) {
            StopSearch(host_, http_);
        }
    };
    PageBuffer page("kept");
    EXPECT_FALSE(FetchPage(ctx_, url(), page));
    EXPECT_EQ(page.rest(), "kept");
    EXPECT_EQ(host_.mainStatus, "Proccess aborted by user.");
}

// The page text follows the program's line-file rules exactly.
TEST(PageTextFromBytes, MatchesTheLineFileRules) {
    std::mt19937 rng(99);
    const char alphabet[] = {'a', '\r', '\n', '\0', 'b'};
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        const int len = static_cast<int>(rng() % 24);
        for (int i = 0; i < len; ++i) {
            bytes.push_back(alphabet[rng() % std::size(alphabet)]);
        }
        ASSERT_EQ(PageTextFromBytes(bytes), util::JoinLinesCrLf(util::SplitLines(bytes))) << round;
    }
}

}  // namespace
}  // namespace search
