// Progress events, the idle callback that keeps the window serviced through
// every wait, and Disconnect from inside them at awkward moments.
#include "net/http_client.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/cookie_store.h"
#include "tests/net/client_test_support.h"
#include "tests/support/scripted_server.h"

namespace {

using clienttest::get;
using clienttest::Outcome;
using clienttest::useShortWaits;
using net::FormDataBody;
using net::HttpClient;
using net::HttpError;
using net::MemoryStream;
using net::WorkMode;
using Kind = net::HttpErrorKind;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::Script;
using testsupport::ScriptedServer;
using testsupport::Step;

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
    EXPECT_FALSE(client.connected());
}

TEST(HttpClientProgress, DisconnectInsideAChunkedBodyFails) {
    ScriptedServer server({{Step::AwaitRequest(),
                            Step::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                       "5\r\nfirst\r\n"),
                            Step::Delay(5000)}});
    HttpClient client;
    client.OnWorkEnd = [&](WorkMode) { client.Disconnect(); };
    const Outcome outcome = get(client, server.url("/"));
    EXPECT_EQ(outcome.kind, Kind::NotConnected);
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
    EXPECT_EQ(outcome.kind, Kind::NotConnected);
    EXPECT_EQ(calls, 3);
    EXPECT_GE(elapsed, std::chrono::milliseconds(3 * 250 - 50));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
    EXPECT_FALSE(client.connected());
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
    std::optional<Kind> nestedFailure;
    client.onIdle = [&] {
        MemoryStream other;
        try {
            client.GetToStream(server.url("/other"), other);
        } catch (const HttpError& e) {
            nestedFailure = e.kind();
        }
        client.Disconnect();
    };
    EXPECT_EQ(get(client, server.url("/")).kind, Kind::NotConnected);
    EXPECT_EQ(nestedFailure, Kind::Busy);
    EXPECT_EQ(server.connectionCount(), 1u);
}

TEST(HttpClientIdle, ConnectIsServicedEverySliceUntilItsLimit) {
    testsupport::StalledListener stalled;
    HttpClient client;
    client.timing.connectLimitMs = 500;
    int calls = 0;
    client.onIdle = [&] { ++calls; };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(get(client, stalled.url()).kind, Kind::ConnectTimedOut);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(calls, 4);  // 125 ms slices
    EXPECT_LE(calls, 5);
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
    EXPECT_FALSE(client.connected());

    client.onIdle = [&] { client.Disconnect(); };
    EXPECT_EQ(get(client, stalled.url()).kind, Kind::NotConnected);
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
        EXPECT_EQ(e.kind(), Kind::NotConnected);
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
    ASSERT_EQ(client.cookies().cookieCount(), 60u);

    client.timing.idleSliceMs = 0;
    int calls = 0;
    client.onIdle = [&] {
        ++calls;
        client.Disconnect();
    };
    // Nothing listens there: had the request been sent, the connect would fail.
    const Outcome outcome =
        get(client, "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/");
    EXPECT_EQ(outcome.kind, Kind::NotConnected);
    EXPECT_GE(calls, 1);
}

TEST(HttpClientIdle, DisconnectWhenIdleDoesNothing) {
    HttpClient client;
    EXPECT_NO_THROW(client.Disconnect());
    EXPECT_NO_THROW(client.Disconnect());
    EXPECT_FALSE(client.connected());
}

}  // namespace
