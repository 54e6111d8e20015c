// Proxies: plain http handed to the proxy with the whole URL, https through a
// CONNECT tunnel with TLS to the server itself, the credentials, and what
// happens when the proxy refuses or its variable cannot be used.
#include "net/http_client.h"

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "tests/net/client_test_support.h"
#include "tests/support/recording_proxy.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_pki.h"

namespace {

using clienttest::get;
using clienttest::kAccept;
using clienttest::kUserAgent;
using clienttest::Outcome;
using net::HttpClient;
using net::ProxySettings;
using Kind = net::HttpErrorKind;
using testsupport::HttpResponse;
using testsupport::RecordingProxy;
using testsupport::Reply;
using testsupport::ScriptedServer;
using testsupport::TestPki;

ProxySettings proxyVariables(const std::map<std::string, std::string>& env) {
    return ProxySettings::Read([&env](const char* name) -> const char* {
        const auto found = env.find(name);
        return found == env.end() ? nullptr : found->second.c_str();
    });
}

std::string plainHead(const std::string& requestLine, const std::string& host) {
    return requestLine + "\r\nContent-Type: text/html\r\nHost: " + host + "\r\n" + kAccept +
           kUserAgent;
}

TEST(HttpClientProxy, PlainHttpGoesToTheProxyWithTheWholeUrl) {
    ScriptedServer origin({Reply(HttpResponse("HTTP/1.1 200 OK", "via proxy"))});
    RecordingProxy proxy;
    HttpClient client;
    client.proxies = proxyVariables({{"http_proxy", "http://" + proxy.hostPort()}});
    EXPECT_EQ(client.ProxyFor(origin.url("/")), proxy.hostPort());
    const Outcome outcome = get(client, origin.url("/search?q=a+b"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "via proxy");
    EXPECT_EQ(proxy.received(0),
              plainHead("GET " + origin.url("/search?q=a+b") + " HTTP/1.1", origin.hostHeader()) +
                  "\r\n");
    // Passed on with the path alone, it is what the client sends without a proxy.
    EXPECT_EQ(origin.received(0),
              plainHead("GET /search?q=a+b HTTP/1.1", origin.hostHeader()) + "\r\n");
}

TEST(HttpClientProxy, CredentialsGoToTheProxyOnly) {
    ScriptedServer origin({Reply(HttpResponse("HTTP/1.1 200 OK", "x"))});
    RecordingProxy proxy;
    HttpClient client;
    client.proxies = proxyVariables({{"http_proxy", "http://ann:s%40cret@" + proxy.hostPort()}});
    EXPECT_EQ(client.ProxyFor(origin.url("/")), proxy.hostPort());
    EXPECT_TRUE(get(client, origin.url("/p")).ok);
    EXPECT_EQ(proxy.received(0),
              plainHead("GET " + origin.url("/p") + " HTTP/1.1", origin.hostHeader()) +
                  "Proxy-Authorization: Basic YW5uOnNAY3JldA==\r\n\r\n");
}

TEST(HttpClientProxy, HttpsTunnelsThroughConnectAndTheServerSeesADirectRequest) {
    const demo::TlsServerContext& tls = TestPki::Get().trusted();
    ScriptedServer origin({Reply(HttpResponse("HTTP/1.1 200 OK", "secret page"))}, &tls);
    ScriptedServer direct({Reply(HttpResponse("HTTP/1.1 200 OK", "secret page"))}, &tls);
    RecordingProxy proxy;
    HttpClient client;
    client.proxies = proxyVariables(
        {{"https_proxy", "http://ann:@" + proxy.hostPort()}, {"http_proxy", "http://127.0.0.1:1"}});
    const Outcome outcome = get(client, origin.url("/account?id=7"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "secret page");
    const std::string target = origin.hostHeader();
    EXPECT_EQ(proxy.received(0), "CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
                                     "\r\nProxy-Authorization: Basic YW5uOg==\r\n\r\n");

    HttpClient unproxied;
    unproxied.proxies = ProxySettings();
    EXPECT_TRUE(get(unproxied, direct.url("/account?id=7")).ok);
    std::string seen = origin.received(0);
    seen.replace(seen.find(origin.hostHeader()), target.size(), direct.hostHeader());
    EXPECT_EQ(seen, direct.received(0));
}

TEST(HttpClientProxy, RedirectFromHttpToHttpsChangesFromForwardingToATunnel) {
    ScriptedServer secure({Reply(HttpResponse("HTTP/1.1 200 OK", "landed"))},
                          &TestPki::Get().trusted());
    ScriptedServer plain(
        {Reply(HttpResponse("HTTP/1.1 301 Moved", "", "Location: " + secure.url("/in") + "\r\n"))});
    RecordingProxy proxy;
    HttpClient client;
    const std::string via = "http://" + proxy.hostPort();
    client.proxies = proxyVariables({{"http_proxy", via}, {"https_proxy", via}});
    const Outcome outcome = get(client, plain.url("/out"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "landed");
    ASSERT_EQ(proxy.connectionCount(), 2u);
    EXPECT_EQ(proxy.received(0).substr(0, proxy.received(0).find("\r\n")),
              "GET " + plain.url("/out") + " HTTP/1.1");
    EXPECT_EQ(proxy.received(1).substr(0, proxy.received(1).find("\r\n")),
              "CONNECT " + secure.hostHeader() + " HTTP/1.1");
    EXPECT_EQ(secure.received(0).substr(0, 18), "GET /in HTTP/1.1\r\n");
}

TEST(HttpClientProxy, RefusedTunnelFailsWithTheProxysAnswerAndNoFallBack) {
    ScriptedServer origin({Reply(HttpResponse("HTTP/1.1 200 OK", "x"))}, &TestPki::Get().trusted());
    RecordingProxy proxy("HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n");
    HttpClient client;
    client.proxies = proxyVariables({{"https_proxy", proxy.hostPort()}});
    const Outcome outcome = get(client, origin.url("/"));
    EXPECT_EQ(outcome.kind, Kind::ProxyRefused) << outcome.error;
    EXPECT_EQ(outcome.detail, origin.hostHeader() + ": HTTP/1.1 407 Proxy Authentication Required");
    EXPECT_EQ(origin.connectionCount(), 0u);
    EXPECT_FALSE(client.connected());
}

TEST(HttpClientProxy, UnusableVariableFailsTheRequestsItServes) {
    ScriptedServer origin({Reply(HttpResponse("HTTP/1.1 200 OK", "direct"))});
    HttpClient client;
    client.proxies = proxyVariables({{"http_proxy", "socks5://127.0.0.1:1080"}});
    EXPECT_EQ(client.ProxyFor(origin.url("/")), "");
    const Outcome outcome = get(client, origin.url("/"));
    EXPECT_EQ(outcome.kind, Kind::ProxyInvalid) << outcome.error;
    EXPECT_EQ(outcome.error,
              "Proxy: cannot use the variable http_proxy: the scheme socks5:// is not "
              "supported, only http://");
    EXPECT_EQ(origin.connectionCount(), 0u);
}

TEST(HttpClientProxy, NoProxyHostsGoDirect) {
    ScriptedServer origin({Reply(HttpResponse("HTTP/1.1 200 OK", "direct"))});
    RecordingProxy proxy;
    HttpClient client;
    client.proxies = proxyVariables(
        {{"http_proxy", "http://" + proxy.hostPort()}, {"no_proxy", "localhost,127.0.0.1"}});
    EXPECT_EQ(client.ProxyFor(origin.url("/")), "");
    EXPECT_EQ(get(client, origin.url("/d")).body, "direct");
    EXPECT_EQ(proxy.connectionCount(), 0u);
    EXPECT_EQ(origin.received(0).substr(0, 17), "GET /d HTTP/1.1\r\n");
}

}  // namespace
