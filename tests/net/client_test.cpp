// The HTTP client against scripted loopback servers: exact request bytes,
// response classes, bodies, progress events, Disconnect at awkward moments,
// and servers that send anything.
#include "net/http_client.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "net/cookie_store.h"
#include "tests/support/scripted_server.h"

namespace {

using net::FormDataBody;
using net::HttpClient;
using net::HttpError;
using net::HttpProtocolError;
using net::MemoryStream;
using net::WorkMode;
using testsupport::ChunkedResponse;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::ReplyKeepOpen;
using testsupport::Script;
using testsupport::ScriptedServer;
using testsupport::Step;

const std::string kUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)\r\n";
const std::string kAccept = "Accept: text/html, */*\r\n";

// Short waits for the tests that run into read limits; the product keeps its own.
void useShortWaits(HttpClient& client) {
    client.timing.idleSliceMs = 20;
    client.timing.redirectBodyLimitMs = 200;
    client.timing.failureBodyLimitMs = 200;
}

struct Outcome {
    bool ok = false;
    std::string body;
    std::string error;  // what() of the failure
    int code = 0;       // of a protocol error
    std::string errorText;
};

Outcome get(HttpClient& client, const std::string& url) {
    Outcome outcome;
    MemoryStream stream;
    try {
        client.GetToStream(url, stream);
        outcome.ok = true;
    } catch (const HttpProtocolError& e) {
        outcome.error = e.what();
        outcome.code = e.code();
        outcome.errorText = e.errorText();
    } catch (const HttpError& e) {
        outcome.error = e.what();
    }
    outcome.body = stream.data();
    return outcome;
}

std::string formBody(const std::string& boundary,
                     const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                "\"\r\n\r\n" + value + "\r\n";
    }
    return body + "\r\n--" + boundary + "--\r\n";
}

// ---- exact request bytes ----

TEST(HttpClientWire, ResultPageGetOfTheHarvesterClient) {
    ScriptedServer server(
        {Reply(HttpResponse("HTTP/1.1 200 OK", "first", "Set-Cookie: SID=abc; path=/\r\n")),
         Reply(HttpResponse("HTTP/1.1 200 OK", "second"))});
    HttpClient client;
    const auto fetch = [&](const std::string& url) {
        client.Request.Pragma = "no-cache";
        client.Request.CacheControl = "no-cache";
        MemoryStream page;
        client.GetToStream(url, page);
        client.Disconnect();
        return page.data();
    };
    EXPECT_EQ(fetch(server.url("/search?q=a+b&num=100")), "first");
    EXPECT_EQ(fetch(server.url("/search?q=a+b&start=100")), "second");

    const std::string profile =
        "Content-Type: text/html\r\nCache-control: no-cache\r\n"
        "Pragma: no-cache\r\nHost: " +
        server.hostHeader() + "\r\n" + kAccept + kUserAgent;
    EXPECT_EQ(server.received(0), "GET /search?q=a+b&num=100 HTTP/1.1\r\n" + profile + "\r\n");
    EXPECT_EQ(server.received(1),
              "GET /search?q=a+b&start=100 HTTP/1.1\r\n" + profile + "Cookie: SID=abc\r\n\r\n");
}

TEST(HttpClientWire, NewsPostThenUpdateGetOnTheKeptConnection) {
    ScriptedServer server(
        {{Step::AwaitRequest(),
          Step::Send(
              HttpResponse("HTTP/1.0 200 OK", "12^Title^2006", "Connection: keep-alive\r\n")),
          Step::AwaitRequest(), Step::Send(HttpResponse("HTTP/1.1 200 OK", "2.1"))}});
    HttpClient client;
    FormDataBody form;
    form.AddField("action", "lastnews");
    form.AddField("publid", "P 1&2");
    form.AddField("something", "");
    EXPECT_EQ(client.PostForm(server.url("/news/news.php"), form), "12^Title^2006");
    EXPECT_EQ(client.protocolVersion, net::ProtocolVersion::Http11);

    MemoryStream update;
    client.GetToStream(server.url("/update/mainappupdate.inf"), update);
    client.Disconnect();
    EXPECT_EQ(update.data(), "2.1");

    const std::string body =
        formBody(form.boundary(), {{"action", "lastnews"}, {"publid", "P 1&2"}, {"something", ""}});
    ASSERT_EQ(body.size(), form.contentLength());
    const std::string host = "Host: " + server.hostHeader() + "\r\n";
    const std::string contentType = "Content-Type: " + form.contentType() + "\r\n";
    EXPECT_EQ(server.connectionCount(), 1u);
    EXPECT_EQ(server.received(0),
              "POST /news/news.php HTTP/1.0\r\nConnection: keep-alive\r\n" + contentType +
                  "Content-Length: " + std::to_string(body.size()) + "\r\n" + host + kAccept +
                  kUserAgent + "\r\n" + body +
                  "GET /update/mainappupdate.inf HTTP/1.1\r\nConnection: keep-alive\r\n" +
                  contentType + host + kAccept + kUserAgent + "\r\n");
}

TEST(HttpClientWire, FailedPostLeavesHttp11AndAFullRedirectBudget) {
    HttpClient client;
    FormDataBody form;
    form.AddField("a", "");
    const std::string refused = "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort());
    EXPECT_THROW(client.PostForm(refused + "/news.php", form), HttpError);
    EXPECT_EQ(client.protocolVersion, net::ProtocolVersion::Http11);

    Script chain;
    for (int i = 1; i <= 14; ++i) {
        chain.push_back(Step::AwaitRequest());
        chain.push_back(Step::Send(HttpResponse("HTTP/1.1 302 Found", "moved",
                                                "Location: /r" + std::to_string(i) + "\r\n")));
    }
    chain.push_back(Step::AwaitRequest());
    chain.push_back(Step::Send(HttpResponse("HTTP/1.1 200 OK", "final")));
    ScriptedServer server({chain});
    const Outcome outcome = get(client, server.url("/r0"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "final");
    const std::string received = server.received(0);
    EXPECT_EQ(received.substr(0, received.find("\r\n")), "GET /r0 HTTP/1.1");
    EXPECT_NE(received.find("GET /r14 HTTP/1.1\r\nConnection: keep-alive\r\nContent-Type: " +
                            form.contentType() + "\r\n"),
              std::string::npos);
}

TEST(HttpClientWire, UrlPartsThatNeverReachTheWire) {
    ScriptedServer server({Reply(HttpResponse("HTTP/1.1 200 OK", "x"))});
    HttpClient client;
    const std::string url = "http://user:secret@" + server.hostHeader() + "\\dir\\page.php?a=1#top";
    const Outcome outcome = get(client, url);
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(server.received(0),
              "GET /dir/page.php?a=1 HTTP/1.1\r\nContent-Type: text/html\r\n"
              "Host: " +
                  server.hostHeader() + "\r\n" + kAccept + kUserAgent + "\r\n");
}

TEST(HttpClientWire, RedirectedPostIsSentAgainWithItsBody) {
    ScriptedServer server(
        {Reply(HttpResponse("HTTP/1.0 302 Found", "", "Location: /second.php\r\n")),
         Reply(HttpResponse("HTTP/1.0 200 OK", "done"))});
    HttpClient client;
    FormDataBody form;
    form.AddField("id", "7");
    EXPECT_EQ(client.PostForm(server.url("/first.php"), form), "done");
    const std::string first = server.received(0);
    const std::string second = server.received(1);
    EXPECT_EQ(second.substr(0, 30), "POST /second.php HTTP/1.0\r\nCon");
    EXPECT_EQ(first.substr(first.find("\r\n\r\n")), second.substr(second.find("\r\n\r\n")));
}

// ---- response classes ----

struct ClassCase {
    const char* name;
    std::vector<std::string> responses;  // one connection each
    bool ok;
    std::string body;
    std::string error;
    int code;
};

class HttpClientClasses : public ::testing::TestWithParam<ClassCase> {};

TEST_P(HttpClientClasses, EndsAsTheClassSays) {
    const ClassCase& c = GetParam();
    std::vector<Script> scripts;
    for (const auto& response : c.responses) {
        scripts.push_back(Reply(response));
    }
    ScriptedServer server(scripts);
    HttpClient client;
    useShortWaits(client);
    const Outcome outcome = get(client, server.url("/dir/page"));
    EXPECT_EQ(outcome.ok, c.ok) << outcome.error;
    EXPECT_EQ(outcome.body, c.body);
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(server.connectionCount(), c.responses.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientClasses,
    ::testing::Values(
        ClassCase{"Ok", {HttpResponse("HTTP/1.1 200 OK", "hello")}, true, "hello", "", 0},
        ClassCase{"NoContent", {"HTTP/1.1 204 No Content\r\n\r\n"}, true, "", "", 0},
        ClassCase{"ZeroLength", {HttpResponse("HTTP/1.1 200 OK", "")}, true, "", "", 0},
        ClassCase{
            "UntilClose", {"HTTP/1.0 200 OK\r\n\r\nuntil the end"}, true, "until the end", "", 0},
        ClassCase{"InvalidLengthReadsUntilClose",
                  {"HTTP/1.0 200 OK\r\nContent-Length: 12x\r\n\r\nall of it"},
                  true,
                  "all of it",
                  "",
                  0},
        ClassCase{"InterimSkipped",
                  {"HTTP/1.1 100 Continue\r\n\r\n" + HttpResponse("HTTP/1.1 200 OK", "after")},
                  true,
                  "after",
                  "",
                  0},
        ClassCase{
            "LocationOnSuccessIsFollowed",
            {HttpResponse("HTTP/1.1 200 OK", "first", "Location: /other\r\nConnection: close\r\n"),
             HttpResponse("HTTP/1.1 200 OK", "other")},
            true,
            "other",
            "",
            0},
        ClassCase{"NotFound",
                  {HttpResponse("HTTP/1.1 404 Not Found", "no such page")},
                  false,
                  "",
                  "HTTP/1.1 404 Not Found",
                  404},
        ClassCase{"NotModifiedFails",
                  {"HTTP/1.1 304 Not Modified\r\n\r\n"},
                  false,
                  "",
                  "HTTP/1.1 304 Not Modified",
                  304},
        ClassCase{"OtherInterimFails",
                  {HttpResponse("HTTP/1.1 101 Switching", "")},
                  false,
                  "",
                  "HTTP/1.1 101 Switching",
                  101},
        ClassCase{"Unauthorized",
                  {HttpResponse("HTTP/1.1 401 Unauthorized", "")},
                  false,
                  "",
                  "HTTP/1.1 401 Unauthorized",
                  401},
        ClassCase{"NotHttp", {"<html>hello</html>\r\n\r\n"}, false, "", "<html>hello</html>", -1},
        ClassCase{"CodeNotDecimal", {"HTTP/1.1 2OO OK\r\n\r\n"}, false, "", "HTTP/1.1 2OO OK", -1},
        ClassCase{"ClosedBeforeStatus", {""}, false, "", "Connection Closed Gracefully.", 0},
        ClassCase{"SuccessWithCutHeaders",
                  {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n"},
                  false,
                  "",
                  "Undefined situation",
                  0},
        ClassCase{"RedirectWithCutHeadersIsFollowed",
                  {"HTTP/1.1 302 Found\r\nLocation: /x\r\n", HttpResponse("HTTP/1.1 200 OK", "x")},
                  true,
                  "x",
                  "",
                  0},
        ClassCase{"RelativeLocationResolved",
                  {HttpResponse("HTTP/1.1 301 Moved", "", "Location: ../up/./there?x=1\r\n"),
                   HttpResponse("HTTP/1.1 200 OK", "there")},
                  true,
                  "there",
                  "",
                  0},
        ClassCase{"HugeLengthLyingBigFailsAtClose",
                  {"HTTP/1.1 200 OK\r\nContent-Length: 9000000000000000000\r\n\r\nshort"},
                  false,
                  "short",
                  "Connection Closed Gracefully.",
                  0},
        ClassCase{"LengthLyingSmallCutsTheBody",
                  {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nhello"},
                  true,
                  "hel",
                  "",
                  0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpClientClasses, ProtocolErrorCarriesTheBodyAndKeepsResponseText) {
    ScriptedServer server({Reply(HttpResponse("HTTP/1.1 404 Not Found", "<h1>gone</h1>"))});
    HttpClient client;
    const Outcome outcome = get(client, server.url("/missing"));
    EXPECT_EQ(outcome.errorText, "<h1>gone</h1>");
    EXPECT_NE(client.ResponseText().find("404"), std::string::npos);
    EXPECT_EQ(client.ResponseCode(), 404);
    // A failure before the next status line leaves the last one in place.
    EXPECT_FALSE(get(client, "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort())).ok);
    EXPECT_EQ(client.ResponseText(), "HTTP/1.1 404 Not Found");
}

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
        EXPECT_STREQ(e.what(), "Too many redirects.");
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
    EXPECT_EQ(outcome.error, "Read Timeout");
    EXPECT_EQ(client.ResponseText(), "HTTP/1.1 500 Oops");
}

// ---- keep-alive ----

struct KeepCase {
    const char* name;
    std::string redirect;  // the first response, a redirect to /next on the same server
    bool post;             // HTTP/1.0 through PostForm
    bool kept;
};

class HttpClientKeepAlive : public ::testing::TestWithParam<KeepCase> {};

TEST_P(HttpClientKeepAlive, ReusesTheConnectionOnlyWhenTheResponseAllows) {
    const KeepCase& c = GetParam();
    ScriptedServer server(
        {{Step::AwaitRequest(), Step::Send(c.redirect), Step::AwaitRequest(),
          Step::Send(HttpResponse("HTTP/1.1 200 OK", "kept", "Connection: close\r\n"))},
         Reply(HttpResponse("HTTP/1.1 200 OK", "new", "Connection: close\r\n"))});
    HttpClient client;
    std::string body;
    if (c.post) {
        FormDataBody form;
        form.AddField("x", "1");
        body = client.PostForm(server.url("/"), form);
    } else {
        body = get(client, server.url("/")).body;
    }
    EXPECT_EQ(body, c.kept ? "kept" : "new");
    EXPECT_FALSE(client.Connected());
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientKeepAlive,
    ::testing::Values(KeepCase{"Http11Default",
                               "HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n",
                               false, true},
                      KeepCase{"Http11Close",
                               "HTTP/1.1 302 Found\r\nLocation: /next\r\nConnection:  Close "
                               "\r\nContent-Length: 0\r\n\r\n",
                               false, false},
                      KeepCase{"Http11ProxyClose",
                               "HTTP/1.1 302 Found\r\nLocation: /next\r\nProxy-Connection: "
                               "close\r\nContent-Length: 0\r\n\r\n",
                               false, false},
                      KeepCase{"Http10Default",
                               "HTTP/1.0 302 Found\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n",
                               true, false},
                      KeepCase{"Http10KeepAlive",
                               "HTTP/1.0 302 Found\r\nLocation: /next\r\nConnection: "
                               "Keep-Alive\r\nContent-Length: 0\r\n\r\n",
                               true, true},
                      KeepCase{"Http10ProxyKeepAlive",
                               "HTTP/1.1 302 Found\r\nLocation: /next\r\nProxy-Connection: "
                               "keep-alive\r\nContent-Length: 0\r\n\r\n",
                               true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- bodies ----

TEST(HttpClientBody, ChunkedBodyWithExtensionTextAfterTheSize) {
    const std::string chunk26 = "abcdefghijklmnopqrstuvwxyz";
    ScriptedServer server(
        {Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
               "3\r\nabc\r\n1a some words\r\n" +
               chunk26 + "\r\n0\r\n\r\n")});
    HttpClient client;
    std::vector<std::int64_t> begins;
    int ends = 0;
    client.OnWorkBegin = [&](WorkMode mode, std::int64_t max) {
        EXPECT_EQ(mode, WorkMode::Read);
        begins.push_back(max);
    };
    client.OnWorkEnd = [&](WorkMode) { ++ends; };
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "abc" + chunk26);
    EXPECT_EQ(begins, (std::vector<std::int64_t>{3, 26}));
    EXPECT_EQ(ends, 2);
}

TEST(HttpClientBody, WritesFromTheCallersPositionIntoAFileAndCutsBack) {
    char path[] = "/tmp/zorvane-net-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ScriptedServer server({Reply("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nonly this")});
    {
        net::FileStream file(path);
        file.write("XYZ", 3);
        HttpClient client;
        // The body is cut short, which fails; the file keeps what arrived.
        EXPECT_THROW(client.GetToStream(server.url("/"), file), HttpError);
        EXPECT_EQ(file.size(), 12u);
        EXPECT_EQ(file.position(), 12u);
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "XYZonly this");
    ::unlink(path);
}

// Only a length-announced body sizes the caller's stream (enlarged up front, cut
// to what arrived); the other forms write from the position and leave the rest.
TEST(HttpClientBody, OnlyALengthAnnouncedBodySizesTheStream) {
    struct Case {
        const char* name;
        std::string response;
        std::string stream;  // "0123456789" positioned at 2 before the call
    };
    const Case cases[] = {
        {"Length", HttpResponse("HTTP/1.1 200 OK", "ab"), "01ab"},

        {"Chunked", ChunkedResponse("HTTP/1.1 200 OK", {"ab"}), "01ab456789"},
        {"UntilClose", "HTTP/1.0 200 OK\r\n\r\nab", "01ab456789"},
        {"ZeroLength", HttpResponse("HTTP/1.1 200 OK", ""), "0123456789"},
        {"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", "0123456789"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({Reply(c.response)});
        HttpClient client;
        MemoryStream stream;
        stream.write("0123456789", 10);
        stream.seek(2);
        client.GetToStream(server.url("/"), stream);
        EXPECT_EQ(stream.data(), c.stream);
    }
    // A body cut short fails, and the stream is cut back to what arrived.
    ScriptedServer server({Reply("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\nab")});
    HttpClient client;
    MemoryStream stream;
    stream.write("0123456789", 10);
    stream.seek(2);
    EXPECT_THROW(client.GetToStream(server.url("/"), stream), HttpError);
    EXPECT_EQ(stream.data(), "01ab");
}

// ---- progress events and Disconnect ----

struct Event {
    char kind;  // 'b' begin, 'w' work, 'e' end
    WorkMode mode;
    std::int64_t count;
    bool operator==(const Event&) const = default;
};

void record(HttpClient& client, std::vector<Event>& events) {
    client.OnWorkBegin = [&](WorkMode m, std::int64_t n) { events.push_back({'b', m, n}); };
    client.OnWork = [&](WorkMode m, std::int64_t n) { events.push_back({'w', m, n}); };
    client.OnWorkEnd = [&](WorkMode m) { events.push_back({'e', m, 0}); };
}

TEST(HttpClientProgress, LengthBodyInPiecesOfTheReceiveBuffer) {
    const std::string body(100000, 'b');
    ScriptedServer server(
        {{Step::AwaitRequest(), Step::Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n"),
          Step::Delay(100), Step::Send(body), Step::Close()}});
    HttpClient client;
    std::vector<Event> events;
    record(client, events);
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_EQ(outcome.body, body);
    const auto r = WorkMode::Read;
    EXPECT_EQ(events, (std::vector<Event>{{'b', r, 100000},
                                          {'w', r, 32768},
                                          {'w', r, 65536},
                                          {'w', r, 98304},
                                          {'w', r, 100000},
                                          {'e', r, 0}}));
}

TEST(HttpClientProgress, NoEventsWithoutABodyAndWriteEventsForAPost) {
    ScriptedServer server(
        {Reply("HTTP/1.1 204 No Content\r\n\r\n"), Reply(HttpResponse("HTTP/1.0 200 OK", ""))});
    HttpClient client;
    std::vector<Event> events;
    record(client, events);
    EXPECT_TRUE(get(client, server.url("/")).ok);
    EXPECT_TRUE(events.empty());
    FormDataBody form;
    form.AddField("a", "");
    client.PostForm(server.url("/"), form);
    const auto w = WorkMode::Write;
    EXPECT_EQ(events, (std::vector<Event>{{'b', w, 104}, {'w', w, 104}, {'e', w, 0}}));
}

TEST(HttpClientProgress, DisconnectFromTheWorkEventReturnsThePartialBody) {
    ScriptedServer server(
        {{Step::AwaitRequest(), Step::Send("HTTP/1.1 200 OK\r\nContent-Length: 200000\r\n\r\n"),
          Step::Delay(100), Step::Send(std::string(200000, 'p')), Step::Delay(5000)}});
    HttpClient client;
    std::vector<Event> events;
    record(client, events);
    client.OnWork = [&](WorkMode m, std::int64_t n) {
        events.push_back({'w', m, n});
        client.Disconnect();
    };
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, std::string(32768, 'p'));
    EXPECT_EQ(events.back(), (Event{'e', WorkMode::Read, 0}));
    EXPECT_FALSE(client.Connected());
}

TEST(HttpClientProgress, DisconnectInsideAChunkedBodyFails) {
    ScriptedServer server({{Step::AwaitRequest(),
                            Step::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                       "5\r\nfirst\r\n"),
                            Step::Delay(5000)}});
    HttpClient client;
    client.OnWorkEnd = [&](WorkMode) { client.Disconnect(); };
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_EQ(outcome.error, "Not Connected");
    EXPECT_EQ(outcome.body, "first");
}

TEST(HttpClientIdle, ServerThatNeverAnswersKeepsTheWindowServiced) {
    ScriptedServer server({{Step::AwaitRequest(), Step::Delay(10000)}});
    HttpClient client;
    int calls = 0;
    client.onIdle = [&] {
        if (++calls == 3) {
            client.Disconnect();
        }
    };
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = get(client, server.url("/"));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(outcome.error, "Not Connected");
    EXPECT_EQ(calls, 3);
    EXPECT_GE(elapsed, std::chrono::milliseconds(3 * 250 - 50));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
    EXPECT_FALSE(client.Connected());
}

TEST(HttpClientIdle, DisconnectDuringALengthBodyReturnsWhatArrived) {
    ScriptedServer server(
        {{Step::AwaitRequest(), Step::Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello"),
          Step::Delay(10000)}});
    HttpClient client;
    useShortWaits(client);
    client.onIdle = [&] { client.Disconnect(); };
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "hello");
}

TEST(HttpClientIdle, SecondOperationFromANestedHandlerIsRefused) {
    ScriptedServer server({{Step::AwaitRequest(), Step::Delay(10000)}});
    HttpClient client;
    useShortWaits(client);
    std::string nestedError;
    client.onIdle = [&] {
        MemoryStream other;
        try {
            client.GetToStream(server.url("/other"), other);
        } catch (const HttpError& e) {
            nestedError = e.what();
        }
        client.Disconnect();
    };
    EXPECT_EQ(get(client, server.url("/")).error, "Not Connected");
    EXPECT_EQ(nestedError, "Client is busy.");
    EXPECT_EQ(server.connectionCount(), 1u);
}

TEST(HttpClientIdle, ConnectIsServicedEverySliceUntilItsLimit) {
    testsupport::StalledListener stalled;
    HttpClient client;
    client.timing.connectLimitMs = 500;
    int calls = 0;
    client.onIdle = [&] { ++calls; };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(get(client, stalled.url()).error, "Connect timed out.");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(calls, 4);  // 125 ms slices
    EXPECT_LE(calls, 5);
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
    EXPECT_FALSE(client.Connected());

    client.onIdle = [&] { client.Disconnect(); };
    EXPECT_EQ(get(client, stalled.url()).error, "Not Connected");
}

// A server that keeps trickling data never leaves a slice empty; the window is
// serviced all the same, so Stop still works.
TEST(HttpClientIdle, SteadyTrickleStillServicesTheWindow) {
    Script trickle = {Step::AwaitRequest(), Step::Send("HTTP/1.0 200 OK\r\n\r\n")};
    for (int i = 0; i < 100; ++i) {
        trickle.push_back(Step::Send("x"));
        trickle.push_back(Step::Delay(10));
    }
    ScriptedServer server({trickle});
    HttpClient client;
    client.timing.idleSliceMs = 100;
    int calls = 0;
    client.onIdle = [&] {
        if (++calls == 2) {
            client.Disconnect();
        }
    };
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(calls, 2);
    EXPECT_LT(outcome.body.size(), 100u);
}

// A server that never reads a large POST body: the send waits, and Disconnect
// from the idle callback ends it.
TEST(HttpClientIdle, ServerThatStopsReadingCannotBlockASend) {
    ScriptedServer server({{Step::Delay(10000)}});
    HttpClient client;
    client.timing.idleSliceMs = 20;
    int calls = 0;
    client.onIdle = [&] {
        if (++calls == 3) {
            client.Disconnect();
        }
    };
    FormDataBody form;
    form.AddField("big", std::string(64 * 1024 * 1024, 'v'));
    try {
        client.PostForm(server.url("/"), form);
        FAIL() << "the send completed against a server that reads nothing";
    } catch (const HttpError& e) {
        EXPECT_STREQ(e.what(), "Not Connected");
    }
    EXPECT_EQ(calls, 3);
}

// Building the request is local work that can take long (megabytes of cookies);
// it services the window too, and a Disconnect there sends nothing. A slice of
// 0 ms services at every chance, so the first one shows.
TEST(HttpClientIdle, BuildingTheCookieHeaderServicesTheWindow) {
    std::string cookies;
    for (int i = 0; i < 60; ++i) {
        cookies +=
            "Set-Cookie: c" + std::to_string(i) + "=" + std::string(4000, 'v') + "; path=/\r\n";
    }
    ScriptedServer server({Reply(HttpResponse("HTTP/1.1 200 OK", "", cookies))});
    HttpClient client;
    ASSERT_TRUE(get(client, server.url("/")).ok);
    ASSERT_EQ(client.Cookies().cookieCount(), 60u);

    client.timing.idleSliceMs = 0;
    int calls = 0;
    client.onIdle = [&] {
        ++calls;
        client.Disconnect();
    };
    // Nothing listens there: had the request been sent, the connect would fail.
    const Outcome outcome =
        get(client, "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/");
    EXPECT_EQ(outcome.error, "Not Connected");
    EXPECT_GE(calls, 1);
}

TEST(HttpClientIdle, DisconnectWhenIdleDoesNothing) {
    HttpClient client;
    EXPECT_NO_THROW(client.Disconnect());
    EXPECT_NO_THROW(client.Disconnect());
    EXPECT_FALSE(client.Connected());
}

// ---- bad input ----

struct BadCase {
    const char* name;
    std::string response;
    bool ok;
    std::string body;
    std::string error;
};

class HttpClientBadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(HttpClientBadInput, EndsWithAReturnOrAnError) {
    const BadCase& c = GetParam();
    ScriptedServer server({Reply(c.response)});
    HttpClient client;
    useShortWaits(client);
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_EQ(outcome.ok, c.ok) << outcome.error;
    EXPECT_EQ(outcome.body, c.body);
    EXPECT_EQ(outcome.error, c.error);
}

// Two bytes of chunk data, then a second chunk-size line as given followed by
// "cd" and the end of the body.
std::string chunkedWithSizeLine(const std::string& sizeLine) {
    return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n" + sizeLine +
           "\r\ncd\r\n0\r\n\r\n";
}

std::string manyCookies(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) {
        lines += "Set-Cookie: c" + std::to_string(i) + "=v\r\n";
    }
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientBadInput,
    ::testing::Values(
        BadCase{"LongStatusLine", "HTTP/1.1 200 " + std::string(16400, 'k') + "\r\n\r\n", false, "",
                "Max line length exceeded."},
        BadCase{"LongStatusLineWithoutEnd", "HTTP/1.1 200 " + std::string(40000, 'k'), false, "",
                "Max line length exceeded."},
        BadCase{"LongestStatusLineAccepted",
                HttpResponse("HTTP/1.1 200 " + std::string(16384 - 13, 'k'), "fine"), true, "fine",
                ""},
        BadCase{"LongHeaderLine",
                "HTTP/1.1 200 OK\r\nX-Long: " + std::string(16400, 'h') + "\r\n\r\n", false, "",
                "Max line length exceeded."},
        BadCase{"LongChunkSizeLine",
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(16400, '0') +
                    "1\r\na\r\n0\r\n\r\n",
                false, "", "Max line length exceeded."},
        BadCase{"ChunkSizeNotHex", chunkedWithSizeLine("zz"), false, "ab", "Invalid chunk size."},
        BadCase{"ChunkSizeNegative", chunkedWithSizeLine("-1"), false, "ab", "Invalid chunk size."},
        BadCase{"ChunkSizeEmpty", chunkedWithSizeLine(""), false, "ab", "Invalid chunk size."},
        BadCase{"ChunkSizeWithTrailingJunk", chunkedWithSizeLine("2g"), false, "ab",
                "Invalid chunk size."},
        BadCase{"ChunkSizeWithExtension", chunkedWithSizeLine("2;name=\"v\""), true, "abcd", ""},
        BadCase{"ChunkSizeWithBlankAndText", chunkedWithSizeLine("2\tnote"), true, "abcd", ""},
        BadCase{"CloseBeforeTheAnnouncedLength",
                "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", false, "hello",
                "Connection Closed Gracefully."},
        BadCase{"TwoDifferentLengths",
                "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 5\r\n\r\nhello", false, "",
                "Conflicting Content-Length."},
        BadCase{"DifferentLengthsInOneList", "HTTP/1.1 200 OK\r\nContent-Length: 5, 2\r\n\r\nhello",
                false, "", "Conflicting Content-Length."},
        BadCase{"SameLengthRepeated",
                "HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-length: 5, 5\r\n\r\nhello", true,
                "hello", ""},
        BadCase{"ChunkedWinsOverLength",
                "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: "
                "chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
                true, "hello", ""},
        BadCase{"ChunkedIgnoresConflictingLengths",
                "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n"
                "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
                true, "hello", ""},
        BadCase{
            "ChunkSizeTooBig",
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffffffffffffffffff\r\nab\r\n",
            false, "", "Invalid chunk size."},
        BadCase{"ChunkBiggerThanWhatArrives",
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\nab",
                false, "ab", "Connection Closed Gracefully."},
        BadCase{"EndlessHeaderLines",
                "HTTP/1.1 200 OK\r\n" +
                    [] {
                        std::string lines;
                        for (int i = 0; i < 1200; ++i) {
                            lines += "X: y\r\n";
                        }
                        return lines;
                    }() +
                    "\r\n",
                false, "", "Header block too large."},
        BadCase{"TooManyCookies", HttpResponse("HTTP/1.1 200 OK", "", manyCookies(600)), false, "",
                "Too many cookies."},
        BadCase{"EndlessInterimResponses",
                [] {
                    std::string all;
                    for (int i = 0; i < 50; ++i) {
                        all += "HTTP/1.1 100 Continue\r\n\r\n";
                    }
                    return all;
                }(),
                false, "", "Too many interim responses."},
        BadCase{"NulAndControlBytesInHeaders",
                HttpResponse("HTTP/1.1 200 OK", "ok", std::string("X-Bin: a\0b\x01\r\n", 13)), true,
                "ok", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A short response cut after every possible byte: each cut ends the operation
// with the outcome its position implies. Only the whole body succeeds; a cut
// inside it fails with every byte so far.
TEST(HttpClientBadInput, ServerClosesAfterEveryByte) {
    struct Form {
        std::string response;
        std::string body;
        std::size_t bodyStart;  // first byte after the header block
        std::size_t dataStart;  // first byte of the body's data
        std::size_t complete;   // from this cut on the operation succeeds
        std::string partialBody(std::size_t cut) const {
            return cut <= dataStart ? "" : body.substr(0, std::min(cut - dataStart, body.size()));
        }
    };
    const std::string lengthResponse = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
    const std::string chunkedResponse =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n";
    const Form forms[] = {{lengthResponse, "hello", lengthResponse.find("hello"),
                           lengthResponse.find("hello"), lengthResponse.size()},
                          {chunkedResponse, "hello", chunkedResponse.find("5\r\n"),
                           chunkedResponse.find("hello"), chunkedResponse.find("0\r\n") + 3}};
    for (const Form& form : forms) {
        std::vector<Script> scripts;
        for (std::size_t cut = 0; cut <= form.response.size(); ++cut) {
            scripts.push_back(Reply(form.response.substr(0, cut)));
        }
        ScriptedServer server(scripts);
        HttpClient client;
        const std::size_t statusEnd = form.response.find('\n') + 1;
        for (std::size_t cut = 0; cut <= form.response.size(); ++cut) {
            SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes of " + form.response);
            const Outcome outcome = get(client, server.url("/"));
            client.Disconnect();
            if (cut < statusEnd) {
                EXPECT_EQ(outcome.error, "Connection Closed Gracefully.");
            } else if (cut < form.bodyStart) {
                EXPECT_EQ(outcome.error, "Undefined situation");
            } else if (cut >= form.complete) {
                EXPECT_TRUE(outcome.ok) << outcome.error;
                EXPECT_EQ(outcome.body, form.partialBody(cut));
            } else {
                EXPECT_EQ(outcome.error, "Connection Closed Gracefully.");
                EXPECT_EQ(outcome.body, form.partialBody(cut));
            }
        }
    }
}

struct UrlFailure {
    const char* name;
    std::string url;
    std::string errorStart;
};

class HttpClientUrlFailures : public ::testing::TestWithParam<UrlFailure> {};

TEST_P(HttpClientUrlFailures, FailWithTheirText) {
    HttpClient client;
    const Outcome outcome = get(client, GetParam().url);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error.substr(0, GetParam().errorStart.size()), GetParam().errorStart)
        << outcome.error;
    if (GetParam().errorStart.empty()) {
        EXPECT_EQ(outcome.error, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientUrlFailures,
    ::testing::Values(
        UrlFailure{"Https", "https://127.0.0.1/", "IOHandler value is not valid"},
        UrlFailure{"UnknownScheme", "ftp://127.0.0.1/file", ""},
        UrlFailure{"NoScheme", "www.example.com/search", ""},
        UrlFailure{"Unresolvable", "http://no-such-host.invalid/", "Socket Error # "},
        UrlFailure{"Refused", "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/",
                   "Socket Error # 111\r\n"},
        UrlFailure{"BadPort", "http://127.0.0.1:99999/", "Invalid port number"},
        UrlFailure{"LineEndInUrl", "http://127.0.0.1/a\r\nX-Injected: 1", "Invalid URL."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpClientRedirects, RedirectToHttpsOrALineEndFails) {
    ScriptedServer server(
        {Reply(HttpResponse("HTTP/1.1 302 Found", "", "Location: https://127.0.0.1/\r\n")),
         Reply(HttpResponse("HTTP/1.1 302 Found", "", "Location: /a\rGET /evil HTTP/1.1\r\n"))});
    HttpClient client;
    EXPECT_EQ(get(client, server.url("/")).error, "IOHandler value is not valid");
    EXPECT_EQ(get(client, server.url("/")).error, "Invalid URL.");
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

TEST(HttpClientPost, ReplyBeyondTheLimitFails) {
    const std::string big(net::kMaxPostReplyBytes + 1, 'r');
    ScriptedServer server({Reply("HTTP/1.0 200 OK\r\n\r\n" + big)});
    HttpClient client;
    FormDataBody form;
    form.AddField("a", "b");
    try {
        client.PostForm(server.url("/"), form);
        FAIL() << "a reply beyond the limit was accepted";
    } catch (const HttpError& e) {
        EXPECT_STREQ(e.what(), "Response body too large.");
    }
}

TEST(HttpClientCookies, StoreLivesWithTheClientAndFollowsRedirects) {
    ScriptedServer server(
        {{Step::AwaitRequest(),
          Step::Send(HttpResponse("HTTP/1.1 302 Found", "",
                                  "Location: /b/page\r\nSet-Cookie: A=1; path=/\r\n"
                                  "Set-Cookie: B=2; path=/b/\r\n")),
          Step::AwaitRequest(), Step::Send(HttpResponse("HTTP/1.1 200 OK", "done"))}});
    HttpClient client;
    EXPECT_TRUE(get(client, server.url("/a")).ok);
    const std::string received = server.received(0);
    const std::string second = received.substr(received.find("GET /b/page"));
    EXPECT_NE(second.find("\r\nCookie: B=2; A=1\r\n"), std::string::npos) << second;
    EXPECT_EQ(client.Cookies().cookieCount(), 2u);
}

}  // namespace
