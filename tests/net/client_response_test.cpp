// How each class of response ends an operation (success, failure, redirect,
// interim), what a failure response carries, and when the connection is kept.
#include "net/http_client.h"

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "tests/net/client_test_support.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_pki.h"

namespace {

using clienttest::get;
using clienttest::Outcome;
using clienttest::useShortWaits;
using net::FormDataBody;
using net::HttpClient;
using Kind = net::HttpErrorKind;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::Script;
using testsupport::ScriptedServer;
using testsupport::Step;

struct ClassCase {
    const char* name;
    std::vector<std::string> responses;  // one connection each
    bool ok;
    std::string body;
    std::optional<Kind> kind;
    std::string detail;  // the status line of a failure response
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
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.detail, c.detail);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(server.connectionCount(), c.responses.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientClasses,
    ::testing::Values(
        ClassCase{.name = "Ok",
                  .responses = {HttpResponse("HTTP/1.1 200 OK", "hello")},
                  .ok = true,
                  .body = "hello",
                  .kind = {},
                  .detail = "",
                  .code = 0},
        ClassCase{.name = "NoContent",
                  .responses = {"HTTP/1.1 204 No Content\r\n\r\n"},
                  .ok = true,
                  .body = "",
                  .kind = {},
                  .detail = "",
                  .code = 0},
        ClassCase{.name = "ZeroLength",
                  .responses = {HttpResponse("HTTP/1.1 200 OK", "")},
                  .ok = true,
                  .body = "",
                  .kind = {},
                  .detail = "",
                  .code = 0},
        ClassCase{.name = "UntilClose",
                  .responses = {"HTTP/1.0 200 OK\r\n\r\nuntil the end"},
                  .ok = true,
                  .body = "until the end",
                  .kind = {},
                  .detail = "",
                  .code = 0},
        ClassCase{.name = "InvalidLengthReadsUntilClose",
                  .responses = {"HTTP/1.0 200 OK\r\nContent-Length: 12x\r\n\r\nall of it"},
                  .ok = true,
                  .body = "all of it",
                  .kind = {},
                  .detail = "",
                  .code = 0},
        ClassCase{.name = "InterimSkipped",
                  .responses = {"HTTP/1.1 100 Continue\r\n\r\n" +
                                HttpResponse("HTTP/1.1 200 OK", "after")},
                  .ok = true,
                  .body = "after",
                  .kind = {},
                  .detail = "",
                  .code = 0},
        ClassCase{.name = "LocationOnSuccessIsFollowed",
                  .responses = {HttpResponse("HTTP/1.1 200 OK", "first",
                                             "Location: /other\r\nConnection: close\r\n"),
                                HttpResponse("HTTP/1.1 200 OK", "other")},
                  .ok = true,
                  .body = "other",
                  .kind = {},
                  .detail = "",
                  .code = 0},
        ClassCase{.name = "NotFound",
                  .responses = {HttpResponse("HTTP/1.1 404 Not Found", "no such page")},
                  .ok = false,
                  .body = "",
                  .kind = Kind::HttpStatus,
                  .detail = "HTTP/1.1 404 Not Found",
                  .code = 404},
        ClassCase{.name = "NotModifiedFails",
                  .responses = {"HTTP/1.1 304 Not Modified\r\n\r\n"},
                  .ok = false,
                  .body = "",
                  .kind = Kind::HttpStatus,
                  .detail = "HTTP/1.1 304 Not Modified",
                  .code = 304},
        ClassCase{.name = "OtherInterimFails",
                  .responses = {HttpResponse("HTTP/1.1 101 Switching", "")},
                  .ok = false,
                  .body = "",
                  .kind = Kind::HttpStatus,
                  .detail = "HTTP/1.1 101 Switching",
                  .code = 101},
        ClassCase{.name = "Unauthorized",
                  .responses = {HttpResponse("HTTP/1.1 401 Unauthorized", "")},
                  .ok = false,
                  .body = "",
                  .kind = Kind::HttpStatus,
                  .detail = "HTTP/1.1 401 Unauthorized",
                  .code = 401},
        ClassCase{.name = "NotHttp",
                  .responses = {"<html>hello</html>\r\n\r\n"},
                  .ok = false,
                  .body = "",
                  .kind = Kind::HttpStatus,
                  .detail = "<html>hello</html>",
                  .code = -1},
        ClassCase{.name = "CodeNotDecimal",
                  .responses = {"HTTP/1.1 2OO OK\r\n\r\n"},
                  .ok = false,
                  .body = "",
                  .kind = Kind::HttpStatus,
                  .detail = "HTTP/1.1 2OO OK",
                  .code = -1},
        ClassCase{.name = "ClosedBeforeStatus",
                  .responses = {""},
                  .ok = false,
                  .body = "",
                  .kind = Kind::ClosedGracefully,
                  .detail = "",
                  .code = 0},
        ClassCase{.name = "SuccessWithCutHeaders",
                  .responses = {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n"},
                  .ok = false,
                  .body = "",
                  .kind = Kind::HeadersCutShort,
                  .detail = "",
                  .code = 0},
        ClassCase{.name = "RedirectWithCutHeadersIsFollowed",
                  .responses = {"HTTP/1.1 302 Found\r\nLocation: /x\r\n",
                                HttpResponse("HTTP/1.1 200 OK", "x")},
                  .ok = true,
                  .body = "x",
                  .kind = {},
                  .detail = "",
                  .code = 0},
        ClassCase{
            .name = "RelativeLocationResolved",
            .responses = {HttpResponse("HTTP/1.1 301 Moved", "", "Location: ../up/./there?x=1\r\n"),
                          HttpResponse("HTTP/1.1 200 OK", "there")},
            .ok = true,
            .body = "there",
            .kind = {},
            .detail = "",
            .code = 0},
        ClassCase{
            .name = "HugeLengthLyingBigFailsAtClose",
            .responses = {"HTTP/1.1 200 OK\r\nContent-Length: 9000000000000000000\r\n\r\nshort"},
            .ok = false,
            .body = "short",
            .kind = Kind::ClosedGracefully,
            .detail = "",
            .code = 0},
        ClassCase{.name = "LengthLyingSmallCutsTheBody",
                  .responses = {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nhello"},
                  .ok = true,
                  .body = "hel",
                  .kind = {},
                  .detail = "",
                  .code = 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpClientClasses, ProtocolErrorCarriesTheBodyAndKeepsResponseText) {
    ScriptedServer server({Reply(HttpResponse("HTTP/1.1 404 Not Found", "<h1>gone</h1>"))});
    HttpClient client;
    const Outcome outcome = get(client, server.url("/missing"));
    EXPECT_EQ(outcome.errorText, "<h1>gone</h1>");
    EXPECT_NE(client.ResponseText().find("404"), std::string::npos);
    EXPECT_EQ(client.responseCode(), 404);
    // A failure before the next status line leaves the last one in place.
    EXPECT_FALSE(get(client, "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort())).ok);
    EXPECT_EQ(client.ResponseText(), "HTTP/1.1 404 Not Found");
}

TEST(HttpClientResponseHeader, FirstFieldOfTheNameInAnyCaseTrimmed) {
    ScriptedServer server(
        {Reply("HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n"
               "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n"
               "content-type:text/html; charset=ISO-8859-1\r\n"
               "X-Twice: first\r\nx-twice: second\r\n"
               "Retry-After: \t 120  \r\nX-Folded: a\r\n  b\r\n"
               "X-Empty:\r\n\r\nok")});
    HttpClient client;
    EXPECT_EQ(client.responseHeader("Content-Type"), "");  // before any response
    EXPECT_TRUE(get(client, server.url()).ok);
    const std::pair<const char*, const char*> fields[] = {
        {"Content-Type", "text/html; charset=ISO-8859-1"},
        {"CONTENT-TYPE", "text/html; charset=ISO-8859-1"},
        {"X-Twice", "first"},
        {"Retry-After", "120"},
        {"X-Folded", "a b"},
        {"X-Empty", ""},
        {"X-Interim", ""},  // 100 Continue is no response of its own
        {"Content", ""},
        {"", ""},
    };
    for (const auto& [name, value] : fields) {
        EXPECT_EQ(client.responseHeader(name), value) << name;
    }
}

// The fields belong to the response that ResponseText() is the status line
// of: the last of a redirect chain, a failure status too, and they stay when
// a later operation fails before any response.
TEST(HttpClientResponseHeader, OfTheLastResponseReceived) {
    ScriptedServer server(
        {{Step::AwaitRequest(),
          Step::Send(HttpResponse("HTTP/1.1 302 Found", "",
                                  "Location: /next\r\nRetry-After: 1\r\nX-Hop: 1\r\n")),
          Step::AwaitRequest(),
          Step::Send(HttpResponse("HTTP/1.1 200 OK", "page", "Content-Type: text/plain\r\n")),
          Step::AwaitRequest(),
          Step::Send(
              HttpResponse("HTTP/1.1 503 Service Unavailable", "busy", "Retry-After: 30\r\n"))}});
    HttpClient client;
    useShortWaits(client);
    EXPECT_TRUE(get(client, server.url("/first")).ok);
    EXPECT_EQ(client.responseHeader("Content-Type"), "text/plain");
    EXPECT_EQ(client.responseHeader("X-Hop"), "");
    EXPECT_EQ(client.responseHeader("Retry-After"), "");

    const Outcome failed = get(client, server.url("/again"));
    EXPECT_EQ(failed.code, 503);
    EXPECT_EQ(client.responseHeader("Retry-After"), "30");
    EXPECT_EQ(client.responseHeader("Content-Type"), "");

    EXPECT_FALSE(get(client, "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort())).ok);
    EXPECT_EQ(client.ResponseText(), "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(client.responseHeader("Retry-After"), "30");
}

// A header block that breaks off leaves no fields of an earlier response
// beside the new status line.
TEST(HttpClientResponseHeader, NoneFromABrokenHeaderBlock) {
    std::string tooMany = "HTTP/1.1 200 OK\r\n";
    for (std::size_t i = 0; i <= net::kMaxHeaderLines; ++i) {
        tooMany += "X-Many: " + std::to_string(i) + "\r\n";
    }
    ScriptedServer server(
        {Reply(HttpResponse("HTTP/1.1 200 OK", "a", "X-Many: old\r\n")), Reply(tooMany + "\r\n")});
    HttpClient client;
    EXPECT_TRUE(get(client, server.url()).ok);
    EXPECT_EQ(client.responseHeader("X-Many"), "old");
    EXPECT_EQ(get(client, server.url()).kind, Kind::HeaderBlockTooLarge);
    EXPECT_EQ(client.ResponseText(), "HTTP/1.1 200 OK");
    EXPECT_EQ(client.responseHeader("X-Many"), "");
}

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
    EXPECT_FALSE(client.connected());
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientKeepAlive,
    ::testing::Values(
        KeepCase{.name = "Http11Default",
                 .redirect = "HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n",
                 .post = false,
                 .kept = true},
        KeepCase{.name = "Http11Close",
                 .redirect = "HTTP/1.1 302 Found\r\nLocation: /next\r\nConnection:  Close "
                             "\r\nContent-Length: 0\r\n\r\n",
                 .post = false,
                 .kept = false},
        KeepCase{.name = "Http11ProxyClose",
                 .redirect = "HTTP/1.1 302 Found\r\nLocation: /next\r\nProxy-Connection: "
                             "close\r\nContent-Length: 0\r\n\r\n",
                 .post = false,
                 .kept = false},
        KeepCase{.name = "Http10Default",
                 .redirect = "HTTP/1.0 302 Found\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n",
                 .post = true,
                 .kept = false},
        KeepCase{.name = "Http10KeepAlive",
                 .redirect = "HTTP/1.0 302 Found\r\nLocation: /next\r\nConnection: "
                             "Keep-Alive\r\nContent-Length: 0\r\n\r\n",
                 .post = true,
                 .kept = true},
        KeepCase{.name = "Http10ProxyKeepAlive",
                 .redirect = "HTTP/1.1 302 Found\r\nLocation: /next\r\nProxy-Connection: "
                             "keep-alive\r\nContent-Length: 0\r\n\r\n",
                 .post = true,
                 .kept = true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A kept connection that the server closes just as the next GET goes out (its
// close still on the way when the client looked) is tried once more on a new
// connection; once any byte of an answer has come, or on a new connection,
// the failure stands.
struct ReuseCase {
    const char* name;
    std::vector<Script> scripts;  // the first after its kept response, then the next ones
    bool ok;
    std::size_t connections;
};

// Each case in the clear and over TLS, where the close may come with or
// without a close_notify.
class HttpClientReuse : public ::testing::TestWithParam<std::tuple<ReuseCase, bool>> {};

TEST_P(HttpClientReuse, RetriesOnlyARequestThatNoAnswerHasBegun) {
    const auto& [c, overTls] = GetParam();
    std::vector<Script> scripts;
    Script first = {Step::AwaitRequest(), Step::Send(HttpResponse("HTTP/1.1 200 OK", "first", ""))};
    first.insert(first.end(), c.scripts[0].begin(), c.scripts[0].end());
    scripts.push_back(first);
    scripts.insert(scripts.end(), c.scripts.begin() + 1, c.scripts.end());
    ScriptedServer server(scripts, overTls ? &testsupport::TestPki::Get().trusted() : nullptr);
    HttpClient client;
    useShortWaits(client);
    ASSERT_EQ(get(client, server.url("/one")).body, "first");
    const Outcome second = get(client, server.url("/two"));
    EXPECT_EQ(second.ok, c.ok) << second.error;
    EXPECT_EQ(server.connectionCount(), c.connections);
    if (c.ok) {
        EXPECT_EQ(second.body, "second");
        // The request sent again is the request that was lost.
        const std::string lost = server.received(0).substr(server.received(0).find("GET /two"));
        EXPECT_EQ(server.received(1), lost);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientReuse,
    ::testing::Combine(
        ::testing::Values(ReuseCase{.name = "ClosedUnanswered",
                                    .scripts = {{Step::AwaitRequest(), Step::Close()},
                                                Reply(HttpResponse("HTTP/1.1 200 OK", "second",
                                                                   "Connection: close\r\n"))},
                                    .ok = true,
                                    .connections = 2},
                          ReuseCase{.name = "ClosedUnansweredWithoutNotify",
                                    .scripts = {{Step::AwaitRequest(), Step::CloseWithoutNotify()},
                                                Reply(HttpResponse("HTTP/1.1 200 OK", "second",
                                                                   "Connection: close\r\n"))},
                                    .ok = true,
                                    .connections = 2},
                          ReuseCase{.name = "ClosedHalfAnswered",
                                    .scripts = {{Step::AwaitRequest(),
                                                 Step::Send("HTTP/1.1 200 OK\r\nContent-Len"),
                                                 Step::Close()},
                                                Reply(HttpResponse("HTTP/1.1 200 OK", "second",
                                                                   "Connection: close\r\n"))},
                                    .ok = false,
                                    .connections = 1},
                          ReuseCase{.name = "NewConnectionClosedUnanswered",
                                    .scripts = {{Step::AwaitRequest(), Step::Close()},
                                                {Step::AwaitRequest(), Step::Close()}},
                                    .ok = false,
                                    .connections = 2}),
        ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "OverTls" : "");
    });

}  // namespace
