// The exact bytes the client sends: the harvester's and the publisher's
// requests, what a failed POST leaves behind, what of a URL never goes out,
// and the cookies that the next request carries.
#include "net/http_client.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "net/cookie_store.h"
#include "tests/net/client_test_support.h"
#include "tests/support/scripted_server.h"

namespace {

using clienttest::get;
using clienttest::kAccept;
using clienttest::kUserAgent;
using clienttest::Outcome;
using net::FormDataBody;
using net::HttpClient;
using net::HttpError;
using net::MemoryStream;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::Script;
using testsupport::ScriptedServer;
using testsupport::Step;

std::string formBody(const std::string& boundary,
                     const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                "\"\r\n\r\n" + value + "\r\n";
    }
    return body + "\r\n--" + boundary + "--\r\n";
}

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

// Extra fields go after all of the client's own, the cookie included, in
// their order; one that could break the request's lines never goes out.
TEST(HttpClientWire, ExtraHeadersFollowTheClientsOwnFields) {
    ScriptedServer server(
        {Reply(HttpResponse("HTTP/1.1 200 OK", "first", "Set-Cookie: SID=abc; path=/\r\n")),
         Reply(HttpResponse("HTTP/1.1 200 OK", "second"))});
    HttpClient client;
    client.Request.extraHeaders = {
        {"Accept-Language", "de-DE, en;q=0.5"},
        {"Bad\r\nName", "x"},
        {"X-Split", "a\r\nX-Injected: 1"},
        {"X-Nul", std::string("a\0b", 3)},
        {"", "no name"},
        {"X Blank", "v"},
        {"X-Colon:", "v"},
        {"X-Api-Key", "k1"},
    };
    EXPECT_TRUE(get(client, server.url("/a")).ok);
    EXPECT_TRUE(get(client, server.url("/b")).ok);
    const std::string own =
        "Content-Type: text/html\r\nHost: " + server.hostHeader() + "\r\n" + kAccept + kUserAgent;
    const std::string extra = "Accept-Language: de-DE, en;q=0.5\r\nX-Api-Key: k1\r\n";
    EXPECT_EQ(server.received(0), "GET /a HTTP/1.1\r\n" + own + extra + "\r\n");
    EXPECT_EQ(server.received(1),
              "GET /b HTTP/1.1\r\n" + own + "Cookie: SID=abc\r\n" + extra + "\r\n");
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

// A url-encoded form goes out as HTTP/1.1 on the kept connection, its
// Content-Type for that request only, the body's bytes exactly as given.
TEST(HttpClientWire, UrlEncodedPostOnTheKeptConnection) {
    ScriptedServer server(
        {{Step::AwaitRequest(), Step::Send(HttpResponse("HTTP/1.1 200 OK", "page 2")),
          Step::AwaitRequest(), Step::Send(HttpResponse("HTTP/1.1 200 OK", "page 3"))}});
    HttpClient client;
    const std::string body = "q=a+b&s=30&nextParams=&kl=wt-wt";
    MemoryStream page;
    client.PostToStream(server.url("/html/"), body, page);
    EXPECT_EQ(page.data(), "page 2");
    MemoryStream next;
    client.GetToStream(server.url("/html/?s=60"), next);
    client.Disconnect();
    EXPECT_EQ(next.data(), "page 3");

    const std::string host = "Host: " + server.hostHeader() + "\r\n";
    EXPECT_EQ(server.connectionCount(), 1u);
    EXPECT_EQ(server.received(0),
              "POST /html/ HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "Content-Length: 31\r\n" +
                  host + kAccept + kUserAgent + "\r\n" + body +
                  "GET /html/?s=60 HTTP/1.1\r\nContent-Type: text/html\r\n" + host + kAccept +
                  kUserAgent + "\r\n");
}

// As browsers do: a posted form that is redirected is fetched with GET and
// no body, unless 307 or 308 ask for it to be posted again.
TEST(HttpClientWire, RedirectedUrlEncodedPostBecomesAGet) {
    for (const int code : {301, 302, 303, 307, 308}) {
        SCOPED_TRACE(code);
        ScriptedServer server({Reply(HttpResponse("HTTP/1.1 " + std::to_string(code) + " Moved", "",
                                                  "Location: /second\r\nConnection: close\r\n")),
                               Reply(HttpResponse("HTTP/1.1 200 OK", "done"))});
        HttpClient client;
        MemoryStream page;
        client.PostToStream(server.url("/first"), "a=1", page);
        client.Disconnect();
        EXPECT_EQ(page.data(), "done");
        const std::string second = server.received(1);
        const bool again = code == 307 || code == 308;
        EXPECT_EQ(second.substr(0, second.find("\r\n")),
                  again ? "POST /second HTTP/1.1" : "GET /second HTTP/1.1");
        EXPECT_EQ(second.substr(second.find("\r\n\r\n")), again ? "\r\n\r\na=1" : "\r\n\r\n");
        EXPECT_EQ(second.find("Content-Length") != std::string::npos, again);
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
    EXPECT_EQ(client.cookies().cookieCount(), 2u);
}

}  // namespace
