#include "search/page_fetcher.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "run_fixture.h"
#include "tests/support/scripted_server.h"
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

// Every failure keeps the general line and says why after it.
TEST_F(FetchPageTest, FailuresLeaveThePageUntouchedAndSayWhy) {
    const std::string huge(kMaxPageBytes + 1, 'x');
    const demo::HttpReply replies[] = {
        {500, "Internal Server Error", "text/html", "broken"},
        {404, "Not Found", "text/html", ""},
        {200, "OK", "text/html", huge},
    };
    const std::string because[] = {
        "HTTP/1.1 500 Internal Server Error",
        "HTTP/1.1 404 Not Found",
        "Result page larger than the page limit",
    };
    for (std::size_t i = 0; i < std::size(replies); ++i) {
        reply = [&r = replies[i]](const demo::HttpRequest&) { return r; };
        PageBuffer page("kept");
        EXPECT_FALSE(FetchPage(ctx_, url(), page)) << replies[i].status;
        EXPECT_EQ(page.rest(), "kept");
        EXPECT_EQ(host_.mainStatus, std::string(kConnectionError) + " " + because[i]);
    }
    // The gauge starts from 0 for every request, even one that never connects.
    host_.gaugeValue = 77;
    PageBuffer page("kept");
    EXPECT_FALSE(FetchPage(ctx_, "http://127.0.0.1:1/refused", page));
    EXPECT_EQ(host_.mainStatus,
              std::string(kConnectionError) + " Socket Error # 111 Connection refused");
    EXPECT_EQ(host_.gaugeValue, 0);
}

// The causes that only a server of scripted bytes, a name that never
// resolves or a faulty URL can show.
TEST_F(FetchPageTest, EveryCauseIsNamed) {
    testsupport::Script loop;
    for (int i = 0; i < 20; ++i) {
        loop.push_back(testsupport::Step::AwaitRequest());
        loop.push_back(testsupport::Step::Send(
            testsupport::HttpResponse("HTTP/1.1 302 Found", "", "Location: /page\r\n")));
    }
    testsupport::ScriptedServer redirecting({loop});
    // Garbage instead of the end of the proxy's answer to CONNECT.
    testsupport::ScriptedServer proxy(
        {{testsupport::Step::AwaitRequest(),
          testsupport::Step::Send("HTTP/1.1 200 Connection established\r\n" +
                                  std::string(20000, 'g'))}});
    const std::string statusLine = "HTTP/1.1 404 Not \x1b[31mFound\x07" + std::string(600, 'z');
    testsupport::ScriptedServer hostile(
        {testsupport::Reply(testsupport::HttpResponse(statusLine, ""))});

    struct Case {
        const char* what;
        std::string url;
        bool throughProxy = false;
        std::string because;  // the whole reason, or its start when it ends in "*"
    };
    const Case cases[] = {
        {.what = "redirect loop",
         .url = redirecting.url("/page"),
         .because = "Too many redirects."},
        {.what = "a name that never resolves",
         .url = "http://no-such-host.invalid/page",
         .because = "Socket Error # *"},
        {.what = "garbage after CONNECT",
         .url = "https://www.example.com/page",
         .throughProxy = true,
         .because = "Max line length exceeded."},
        {.what = "control bytes and a long status line",
         .url = hostile.url("/page"),
         .because = "HTTP/1.1 404 Not [31mFound " + std::string(500 - 28, 'z') + "..."},
        {.what = "no scheme",
         .url = "127.0.0.1/page",
         .because = "Not an absolute URL (no \"://\")."},
        {.what = "another scheme",
         .url = "ftp://127.0.0.1/page",
         .because = "The URL's scheme is neither http nor https."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string proxyUrl = proxy.url("");
        http_.proxies = c.throughProxy ? net::ProxySettings::Read([&proxyUrl](const char* name) {
            return std::string_view(name) == "https_proxy" ? proxyUrl.c_str() : nullptr;
        })
                                       : net::ProxySettings();
        PageBuffer page("kept");
        EXPECT_FALSE(FetchPage(ctx_, c.url, page));
        EXPECT_EQ(page.rest(), "kept");
        const std::string expected = std::string(kConnectionError) + " " + c.because;
        if (c.because.ends_with('*')) {
            EXPECT_TRUE(host_.mainStatus.starts_with(expected.substr(0, expected.size() - 1)) &&
                        host_.mainStatus.size() > expected.size())
                << host_.mainStatus;
        } else {
            EXPECT_EQ(host_.mainStatus, expected);
        }
    }
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

// A page in another encoding reaches the scan as UTF-8, whether the header or
// only a <meta> names it; a UTF-8 page passes byte for byte.
TEST_F(FetchPageTest, PagesInOtherCharsetsAreScannedAsUtf8) {
    const auto googlePage = [](const std::string& head, const std::string& anchor) {
        return "<html><head>" + head + "</head><body><ol>\n<li class=g><h3 class=r>" +
               "<a href=\"http://www.site.example/\">" + anchor + "</a></h3></li>\n</ol>";
    };
    struct Case {
        const char* name;
        std::string contentType;
        std::string body;
        std::string anchor;
        bool asItCame;  // the page text is the body's, byte for byte
    } cases[] = {
        {.name = "latin-1 by header",
         .contentType = "text/html; charset=ISO-8859-1",
         .body = googlePage("", "Caf\xE9 cr\xE8me"),
         .anchor = "Caf\xC3\xA9 cr\xC3\xA8me",
         .asItCame = false},
        {.name = "windows-1252 by meta",
         .contentType = "text/html",
         .body = googlePage(
             "<meta http-equiv='Content-Type' content='text/html; charset=windows-1252'>",
             "\x93<b>Caf\xE9</b>\x94 \x80"),
         .anchor = "\xE2\x80\x9C"
                   "Caf\xC3\xA9\xE2\x80\x9D \xE2\x82\xAC",
         .asItCame = false},
        {.name = "latin1 by header is windows-1252",
         .contentType = "text/html; charset=latin1",
         .body = googlePage("",
                            "\x93"
                            "Caf\xE9\x94"),
         .anchor = "\xE2\x80\x9C"
                   "Caf\xC3\xA9\xE2\x80\x9D",
         .asItCame = false},
        {.name = "unknown header label, meta obeyed",
         .contentType = "text/html; charset=x-no-such-charset",
         .body = googlePage("<meta charset=iso-8859-1>",
                            "\x93"
                            "Caf\xE9\x94"),
         .anchor = "\xE2\x80\x9C"
                   "Caf\xC3\xA9\xE2\x80\x9D",
         .asItCame = false},
        {.name = "utf-8 by header",
         .contentType = "text/html; charset=utf-8",
         .body = googlePage("<meta charset=iso-8859-1>", "Caf\xC3\xA9 \xE6\x97\xA5"),
         .anchor = "Caf\xC3\xA9 \xE6\x97\xA5",
         .asItCame = true},
        {.name = "undeclared",
         .contentType = "text/html",
         .body = googlePage("", "Caf\xC3\xA9 cr\xE8me"),
         .anchor = "Caf\xC3\xA9 crme",
         .asItCame = true},
    };
    for (const Case& c : cases) {
        reply = [&c](const demo::HttpRequest&) {
            return demo::HttpReply{200, "OK", c.contentType, c.body};
        };
        PageBuffer page;
        ASSERT_TRUE(FetchPage(ctx_, url(), page)) << c.name;
        if (c.asItCame) {
            EXPECT_EQ(page.rest(), PageTextFromBytes(c.body)) << c.name;
        }
        host_.rows.clear();
        ScanPage(Engine::Google, page, host_, settings_);
        ASSERT_EQ(host_.rows.size(), 1u) << c.name;
        EXPECT_EQ(host_.rows[0].anchor, c.anchor) << c.name;
    }
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
