// https: the same requests as over http inside TLS, certificates that must
// fail and how they say so, servers that stall or break off, and redirects
// and cookies between the two schemes.
#include "net/http_client.h"

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/cookie_store.h"
#include "tests/net/client_test_support.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_pki.h"

namespace {

using clienttest::get;
using clienttest::Outcome;
using clienttest::useShortWaits;
using net::FormDataBody;
using net::HttpClient;
using net::MemoryStream;
using Kind = net::HttpErrorKind;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::ReplyKeepOpen;
using testsupport::Script;
using testsupport::ScriptedServer;
using testsupport::Step;
using testsupport::TestPki;

// The client reads ZORVANE_CA_FILE once, with its first https connection, so
// the tests' CA is in place before any test of the binary runs.
class PkiEnvironment : public ::testing::Environment {
public:
    void SetUp() override { TestPki::Get(); }
};
[[maybe_unused]] const auto* const kPki = ::testing::AddGlobalTestEnvironment(new PkiEnvironment);

const demo::TlsServerContext& trusted() {
    return TestPki::Get().trusted();
}

// "https://127.0.0.1:<port>/..." with another host name for the same server.
std::string withHost(const ScriptedServer& server, const std::string& host,
                     const std::string& path = "/") {
    return "https://" + host + ":" + std::to_string(server.port()) + path;
}

// The harvester's two page requests and the publisher's news POST with the
// update GET after it on the kept connection, as the server received them,
// with the server's own address taken out.
std::string wireOfTheCallers(ScriptedServer& pages, ScriptedServer& news) {
    HttpClient client;
    for (const char* path : {"/search?q=a+b&num=100", "/search?q=a+b&start=100"}) {
        client.Request.Pragma = "no-cache";
        client.Request.CacheControl = "no-cache";
        MemoryStream page;
        client.GetToStream(pages.url(path), page);
        client.Disconnect();
    }
    FormDataBody form;
    form.AddField("action", "lastnews");
    form.AddField("publid", "P 1&2");
    client.PostForm(news.url("/news/news.php"), form);
    MemoryStream update;
    client.GetToStream(news.url("/update/mainappupdate.inf"), update);
    client.Disconnect();

    std::string wire = pages.allReceived() + news.allReceived();
    for (const ScriptedServer* server : {&pages, &news}) {
        const std::string host = server->hostHeader();
        for (auto at = wire.find(host); at != std::string::npos; at = wire.find(host, at)) {
            wire.replace(at, host.size(), "HOST");
        }
    }
    // The boundary of a form is random; both runs must show it in the same places.
    for (auto at = wire.find(form.boundary()); at != std::string::npos;
         at = wire.find(form.boundary(), at)) {
        wire.replace(at, form.boundary().size(), "BOUNDARY");
    }
    return wire;
}

std::vector<Script> callersScripts() {
    return {
        {Step::AwaitRequest(),
         Step::Send(HttpResponse("HTTP/1.1 200 OK", "first", "Set-Cookie: SID=abc; path=/\r\n")),
         Step::Close()},
        Reply(HttpResponse("HTTP/1.1 200 OK", "second"))};
}

std::vector<Script> newsScripts() {
    return {
        {Step::AwaitRequest(),
         Step::Send(HttpResponse("HTTP/1.0 200 OK", "12^Title^2006", "Connection: keep-alive\r\n")),
         Step::AwaitRequest(), Step::Send(HttpResponse("HTTP/1.1 200 OK", "2.1"))}};
}

TEST(HttpClientTls, RequestsInsideTlsAreByteForByteThoseOfHttp) {
    ScriptedServer plainPages(callersScripts());
    ScriptedServer plainNews(newsScripts());
    ScriptedServer tlsPages(callersScripts(), &trusted());
    ScriptedServer tlsNews(newsScripts(), &trusted());
    const std::string plain = wireOfTheCallers(plainPages, plainNews);
    const std::string tls = wireOfTheCallers(tlsPages, tlsNews);
    EXPECT_EQ(tls, plain);
    // Both ran: three connections, four GETs and a POST with its cookie.
    EXPECT_EQ(tlsPages.connectionCount() + tlsNews.connectionCount(), 3u);
    EXPECT_NE(tls.find("Cookie: SID=abc\r\n"), std::string::npos) << tls;
    EXPECT_NE(tls.find("POST /news/news.php HTTP/1.0\r\n"), std::string::npos) << tls;
}

TEST(HttpClientTls, ByNameTheCertificateNameAndTheHostHeaderFollowTheUrl) {
    ScriptedServer server({Reply(HttpResponse("HTTP/1.1 200 OK", "x"))}, &trusted());
    HttpClient client;
    EXPECT_TRUE(get(client, withHost(server, "localhost")).ok);
    EXPECT_NE(server.received(0).find("\r\nHost: localhost:" + std::to_string(server.port())),
              std::string::npos);
}

TEST(HttpClientTls, KeptConnectionCarriesTheNextRequest) {
    ScriptedServer server(
        {{Step::AwaitRequest(), Step::Send(HttpResponse("HTTP/1.1 200 OK", "one")),
          Step::AwaitRequest(), Step::Send(HttpResponse("HTTP/1.1 200 OK", "two"))}},
        &trusted());
    HttpClient client;
    EXPECT_EQ(get(client, server.url("/1")).body, "one");
    EXPECT_TRUE(client.connected());
    EXPECT_EQ(get(client, server.url("/2")).body, "two");
    EXPECT_EQ(server.connectionCount(), 1u);
    client.Disconnect();
    EXPECT_FALSE(client.connected());
}

// Every certificate that must not be trusted fails the operation with a text
// naming the host and the reason, and no request goes out, in TLS or in the clear.
struct CertificateCase {
    const char* name;
    const demo::TlsServerContext* (*context)();
    const char* host;
    Kind kind;
    std::string detail;  // after "<host>: "
};

class HttpClientCertificates : public ::testing::TestWithParam<CertificateCase> {};

TEST_P(HttpClientCertificates, FailWithTheHostAndTheReason) {
    const CertificateCase& c = GetParam();
    ScriptedServer server({Reply(HttpResponse("HTTP/1.1 200 OK", "secret"))}, c.context());
    HttpClient client;
    const Outcome outcome = get(client, withHost(server, c.host));
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.kind, c.kind) << outcome.error;
    EXPECT_EQ(outcome.detail, std::string(c.host) + ": " + c.detail);
    EXPECT_EQ(outcome.error, net::HttpErrorText(c.kind, outcome.detail));
    EXPECT_EQ(outcome.body, "");
    EXPECT_EQ(server.allReceived(), "");
    EXPECT_FALSE(client.connected());
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientCertificates,
    ::testing::Values(CertificateCase{.name = "SelfSigned",
                                      .context = [] { return &TestPki::Get().selfSigned(); },
                                      .host = "127.0.0.1",
                                      .kind = Kind::TlsUntrusted,
                                      .detail = "self-signed certificate"},
                      CertificateCase{.name = "UnknownIssuer",
                                      .context = [] { return &TestPki::Get().unknownIssuer(); },
                                      .host = "localhost",
                                      .kind = Kind::TlsUntrusted,
                                      .detail = "unable to get local issuer certificate"},
                      CertificateCase{.name = "Expired",
                                      .context = [] { return &TestPki::Get().expired(); },
                                      .host = "127.0.0.1",
                                      .kind = Kind::TlsUntrusted,
                                      .detail = "certificate has expired"},
                      CertificateCase{.name = "OtherAddress",
                                      .context = [] { return &TestPki::Get().otherName(); },
                                      .host = "127.0.0.1",
                                      .kind = Kind::TlsNameMismatch,
                                      .detail = "IP address mismatch"},
                      CertificateCase{.name = "OtherName",
                                      .context = [] { return &TestPki::Get().otherName(); },
                                      .host = "localhost",
                                      .kind = Kind::TlsNameMismatch,
                                      .detail = "hostname mismatch"},
                      CertificateCase{.name = "OnlyTls11",
                                      .context = [] { return &TestPki::Get().tls11Only(); },
                                      .host = "127.0.0.1",
                                      .kind = Kind::TlsHandshakeFailed,
                                      .detail = "tlsv1 alert protocol version"}),
    [](const auto& info) { return std::string(info.param.name); });

// A server that answers a hello in plain HTTP, as a plain server answers
// anything it cannot read.
TEST(HttpClientTls, PlainHttpServerIsAHandshakeFailureNeverAFallBack) {
    ScriptedServer server(
        {{Step::Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n"), Step::Close()}});
    HttpClient client;
    client.timing.connectLimitMs = 5000;
    const Outcome outcome = get(client, withHost(server, "127.0.0.1"));
    EXPECT_EQ(outcome.kind, Kind::TlsHandshakeFailed) << outcome.error;
    EXPECT_EQ(outcome.detail, "127.0.0.1: wrong version number");
    EXPECT_EQ(server.connectionCount(), 1u);
}

// A server that accepts and then says nothing holds the handshake: the window
// is serviced every connect slice, Disconnect ends it at once, and the connect
// limit ends it without one.
TEST(HttpClientTls, StalledHandshakeEndsByDisconnectOrTheConnectLimit) {
    ScriptedServer silent({{Step::Delay(10000)}});
    const std::string url = withHost(silent, "127.0.0.1");

    HttpClient stopped;
    int calls = 0;
    stopped.onIdle = [&] {
        if (++calls == 2) {
            stopped.Disconnect();
        }
    };
    EXPECT_EQ(get(stopped, url).kind, Kind::NotConnected);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(stopped.connected());
    EXPECT_FALSE(stopped.busy());

    HttpClient limited;
    limited.timing.connectLimitMs = 300;
    int slices = 0;
    limited.onIdle = [&] { ++slices; };
    EXPECT_EQ(get(limited, url).kind, Kind::ConnectTimedOut);
    EXPECT_GE(slices, 2);
    EXPECT_FALSE(limited.connected());
}

TEST(HttpClientTls, DisconnectFromTheIdleCallbackEndsABodyRead) {
    ScriptedServer server(
        {{Step::AwaitRequest(), Step::Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello"),
          Step::Delay(10000)}},
        &trusted());
    HttpClient client;
    useShortWaits(client);
    client.onIdle = [&] { client.Disconnect(); };
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "hello");
    EXPECT_FALSE(client.connected());
    // The client is whole afterwards: the next operation works.
    client.onIdle = nullptr;
    ScriptedServer next({Reply(HttpResponse("HTTP/1.1 200 OK", "again"))}, &trusted());
    EXPECT_EQ(get(client, next.url("/")).body, "again");
}

// Half a record that is never finished holds the read like silence: the
// window is serviced every slice and Disconnect keeps the part that came.
TEST(HttpClientTls, HalfARecordWaitsWithTheWindowServiced) {
    ScriptedServer server(
        {{Step::AwaitRequest(), Step::Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n01234"),
          Step::Delay(50), Step::SendHalfRecord("56789"), Step::Delay(2000),
          Step::CloseWithoutNotify()}},
        &trusted());
    HttpClient client;
    useShortWaits(client);
    int calls = 0;
    client.onIdle = [&] {
        if (++calls == 8) {
            client.Disconnect();
        }
    };
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "01234");
    EXPECT_EQ(calls, 8);
}

// How the end of a connection reads: a close_notify, or a close between two
// records (what most servers do), ends a body that runs to the close; a close
// inside a record is a broken connection whatever the framing.
struct EndCase {
    const char* name;
    Script script;
    bool ok;
    Kind kind;
    std::string body;
};

class HttpClientTlsEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(HttpClientTlsEnds, ReadAsTheRecordsSay) {
    const EndCase& c = GetParam();
    ScriptedServer server({c.script}, &trusted());
    HttpClient client;
    useShortWaits(client);
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_EQ(outcome.ok, c.ok) << outcome.error;
    if (!c.ok) {
        EXPECT_EQ(outcome.kind, c.kind) << outcome.error;
    }
    if (c.kind == Kind::TlsBroken) {
        EXPECT_EQ(outcome.detail, "127.0.0.1: the connection closed in the middle of a record");
    }
    EXPECT_EQ(outcome.body, c.body);
}

const std::string kUntilClose = "HTTP/1.0 200 OK\r\n\r\n";
const std::string kLength10 = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientTlsEnds,
    ::testing::Values(
        EndCase{
            .name = "UntilCloseNotify",
            .script = {Step::AwaitRequest(), Step::Send(kUntilClose + "whole body"), Step::Close()},
            .ok = true,
            .kind = Kind::NotConnected,
            .body = "whole body"},
        EndCase{.name = "UntilCloseBetweenRecords",
                .script = {Step::AwaitRequest(), Step::Send(kUntilClose + "whole body"),
                           Step::CloseWithoutNotify()},
                .ok = true,
                .kind = Kind::NotConnected,
                .body = "whole body"},
        EndCase{.name = "UntilCloseInsideARecord",
                .script = {Step::AwaitRequest(), Step::Send(kUntilClose + "first "),
                           Step::SendHalfRecord("second record"), Step::CloseWithoutNotify()},
                .ok = false,
                .kind = Kind::TlsBroken,
                .body = "first "},
        EndCase{.name = "LengthCutInsideARecord",
                .script = {Step::AwaitRequest(), Step::Send(kLength10 + "01234"),
                           Step::SendHalfRecord("56789"), Step::CloseWithoutNotify()},
                .ok = false,
                .kind = Kind::TlsBroken,
                .body = "01234"},
        EndCase{.name = "LengthCutBetweenRecords",
                .script = {Step::AwaitRequest(), Step::Send(kLength10 + "01234"),
                           Step::CloseWithoutNotify()},
                .ok = false,
                .kind = Kind::ClosedGracefully,
                .body = "01234"},
        EndCase{.name = "HeadCutInsideARecord",
                .script = {Step::AwaitRequest(), Step::SendHalfRecord(kLength10 + "0123456789"),
                           Step::CloseWithoutNotify()},
                .ok = false,
                .kind = Kind::TlsBroken,
                .body = ""}),
    [](const auto& info) { return std::string(info.param.name); });

// http -> https -> (relative, so still https) -> http, and the cookies on the
// way: a Secure cookie set over https goes back over https only.
TEST(HttpClientTls, RedirectsBetweenSchemesCarryOnlyTheCookiesEachMaySee) {
    ScriptedServer end({Reply(HttpResponse("HTTP/1.1 200 OK", "end"))});
    ScriptedServer tls({{Step::AwaitRequest(),
                         Step::Send(HttpResponse("HTTP/1.1 302 Found", "",
                                                 "Location: /b\r\n"
                                                 "Set-Cookie: S=1; path=/; Secure\r\n"
                                                 "Set-Cookie: P=2; path=/\r\n")),
                         Step::AwaitRequest(),
                         Step::Send(HttpResponse("HTTP/1.1 302 Found", "",
                                                 "Location: " + end.url("/c") + "\r\n"))}},
                       &trusted());
    ScriptedServer start(
        {Reply(HttpResponse("HTTP/1.1 302 Found", "", "Location: " + tls.url("/a") + "\r\n"))});
    HttpClient client;
    const Outcome outcome = get(client, start.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "end");

    const std::string secure = tls.received(0);
    EXPECT_EQ(tls.connectionCount(), 1u);
    EXPECT_EQ(secure.substr(0, 18), "GET /a HTTP/1.1\r\nC");
    EXPECT_NE(secure.find("GET /b HTTP/1.1\r\n"), std::string::npos) << secure;
    EXPECT_NE(secure.find("\r\nCookie: P=2; S=1\r\n"), std::string::npos) << secure;
    const std::string clear = end.received(0);
    EXPECT_EQ(clear.substr(0, 18), "GET /c HTTP/1.1\r\nC");
    EXPECT_NE(clear.find("\r\nCookie: P=2\r\n"), std::string::npos) << clear;
    EXPECT_EQ(client.cookies().cookieCount(), 2u);
}

}  // namespace
