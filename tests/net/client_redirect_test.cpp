// Redirects: how many are followed, to which host and on which connection,
// what their bodies may do, and what a Location becomes on the wire.
#include "net/http_client.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/net/client_test_support.h"
#include "tests/support/scripted_server.h"

namespace {

using clienttest::get;
using clienttest::kAccept;
using clienttest::kUserAgent;
using clienttest::Outcome;
using clienttest::useShortWaits;
using net::HttpClient;
using net::HttpError;
using net::MemoryStream;
using Kind = net::HttpErrorKind;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::ReplyKeepOpen;
using testsupport::Script;
using testsupport::ScriptedServer;
using testsupport::Step;

TEST(HttpClientRedirects, FifteenRedirectsFail) {
    Script chain;
    for (int i = 1; i <= 20; ++i) {
        chain.push_back(Step::AwaitRequest());
        chain.push_back(
            Step::Send(HttpResponse("HTTP/1.1 302 Found", "body of " + std::to_string(i),
                                    "Location: /r" + std::to_string(i) + "\r\n")));
    }
    ScriptedServer server({chain});
    HttpClient client;
    MemoryStream stream;
    stream.write("keep", 4);
    try {
        client.GetToStream(server.url("/r0"), stream);
        FAIL() << "a redirect loop ended as a page";
    } catch (const HttpError& e) {
        EXPECT_EQ(e.kind(), Kind::TooManyRedirects);
    }
    EXPECT_EQ(stream.data(), "keep");
    const std::string received = server.received(0);
    std::size_t requests = 0;
    for (auto at = received.find("GET "); at != std::string::npos;
         at = received.find("GET ", at + 1)) {
        ++requests;
    }
    EXPECT_EQ(requests, 15u);
    EXPECT_EQ(client.ResponseText(), "HTTP/1.1 302 Found");
}

TEST(HttpClientRedirects, ToASecondServerOnANewConnection) {
    ScriptedServer second({Reply(HttpResponse("HTTP/1.1 200 OK", "from second"))});
    ScriptedServer first({ReplyKeepOpen(HttpResponse(
        "HTTP/1.1 302 Found", "redirect body", "Location: " + second.url("/landing") + "\r\n"))});
    HttpClient client;
    MemoryStream stream;
    client.GetToStream(first.url("/start"), stream);
    EXPECT_EQ(stream.data(), "from second");
    EXPECT_EQ(second.received(0).substr(0, 60),
              ("GET /landing HTTP/1.1\r\nContent-Type: text/html\r\nHost: " + second.hostHeader())
                  .substr(0, 60));
}

TEST(HttpClientRedirects, RedirectBodyThatStallsIsAbandoned) {
    ScriptedServer second({Reply(HttpResponse("HTTP/1.1 200 OK", "landed"))});
    ScriptedServer first({{Step::AwaitRequest(),
                           Step::Send("HTTP/1.1 302 Found\r\nLocation: " + second.url("/") +
                                      "\r\nContent-Length: 100\r\n\r\nonly ten b"),
                           Step::Delay(5000)}});
    HttpClient client;
    useShortWaits(client);
    const Outcome outcome = get(client, first.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "landed");
}

TEST(HttpClientRedirects, StallingFailureBodyIsAReadTimeout) {
    ScriptedServer server({{Step::AwaitRequest(),
                            Step::Send("HTTP/1.1 500 Oops\r\nContent-Length: 100\r\n\r\npartial"),
                            Step::Delay(5000)}});
    HttpClient client;
    useShortWaits(client);
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_EQ(outcome.kind, Kind::ReadTimeout);
    EXPECT_EQ(client.ResponseText(), "HTTP/1.1 500 Oops");
}

TEST(HttpClientRedirects, RedirectToHttpsIsFollowedALineEndFails) {
    const std::string refused =
        "https://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/";
    ScriptedServer server(
        {Reply(HttpResponse("HTTP/1.1 302 Found", "", "Location: " + refused + "\r\n")),
         Reply(HttpResponse("HTTP/1.1 302 Found", "", "Location: /a\rGET /evil HTTP/1.1\r\n"))});
    HttpClient client;
    EXPECT_EQ(get(client, server.url("/")).kind, Kind::SocketError);
    EXPECT_EQ(get(client, server.url("/")).kind, Kind::InvalidUrl);
}

// What a redirect's Location becomes on the wire: never a raw space or control byte.
TEST(HttpClientRedirects, LocationGoesOutPercentEncoded) {
    struct Case {
        const char* name;
        std::string location;
        std::string requestLine;
    };
    const Case cases[] = {
        {.name = "Space", .location = "/a b/c d", .requestLine = "GET /a%20b/c%20d HTTP/1.1"},
        {.name = "SpaceInQuery", .location = "/s?q=a b", .requestLine = "GET /s?q=a%20b HTTP/1.1"},
        {.name = "SpaceInRelative",
         .location = "next page",
         .requestLine = "GET /dir/next%20page HTTP/1.1"},
        {.name = "SmuggledRequestLine",
         .location = "/a HTTP/1.1\x0bX: y",
         .requestLine = "GET /a%20HTTP/1.1%0BX:%20y HTTP/1.1"},
        {.name = "ControlBytes",
         .location = std::string("/c\x01"
                                 "d\x7f\x1b"),
         .requestLine = "GET /c%01d%7F%1B HTTP/1.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(
            {{Step::AwaitRequest(),
              Step::Send(
                  HttpResponse("HTTP/1.1 302 Found", "", "Location: " + c.location + "\r\n")),
              Step::AwaitRequest(), Step::Send(HttpResponse("HTTP/1.1 200 OK", "landed"))}});
        HttpClient client;
        const Outcome outcome = get(client, server.url("/dir/page"));
        EXPECT_TRUE(outcome.ok) << outcome.error;
        const std::string received = server.received(0);
        const auto second = received.find("\r\n\r\n") + 4;
        EXPECT_EQ(received.substr(second, received.find("\r\n", second) - second), c.requestLine);
    }
}

TEST(HttpClientRedirects, SchemeRelativeLocationNamesAnotherHost) {
    ScriptedServer second({Reply(HttpResponse("HTTP/1.1 200 OK", "from second"))});
    ScriptedServer first({Reply(HttpResponse(
        "HTTP/1.1 302 Found", "", "Location: //" + second.hostHeader() + "/landing?x=1\r\n"))});
    HttpClient client;
    const Outcome outcome = get(client, first.url("/start"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "from second");
    EXPECT_EQ(first.connectionCount(), 1u);
    const std::string received = second.received(0);
    EXPECT_EQ(
        received.substr(0, received.find("\r\n\r\n")),
        "GET /landing?x=1 HTTP/1.1\r\nContent-Type: text/html\r\nHost: " + second.hostHeader() +
            "\r\n" + kAccept + kUserAgent.substr(0, kUserAgent.size() - 2));
}

}  // namespace
