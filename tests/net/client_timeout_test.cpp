// The no-progress limit: a server that accepts and says nothing, that stops
// halfway through a head or a body, or that stops reading what is sent,
// fails the request with NoProgressTimeout once the limit has passed.
#include "net/http_client.h"

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "tests/net/client_test_support.h"
#include "tests/support/scripted_server.h"

namespace {

using clienttest::get;
using clienttest::Outcome;
using net::FormDataBody;
using net::HttpClient;
using net::HttpError;
using Kind = net::HttpErrorKind;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::Script;
using testsupport::ScriptedServer;
using testsupport::Step;
using Clock = std::chrono::steady_clock;

// Longer than any server below stays silent, so that a client without the
// limit waits for it.
constexpr int kSilenceMs = 60000;
// The test gives up on a client that waits this long, so that a missing limit
// fails the test instead of hanging the suite.
constexpr auto kTestDeadline = std::chrono::seconds(20);

// A client with a 1 s limit whose idle callback ends the request once the
// test's own deadline has passed.
struct LimitedClient {
    LimitedClient() {
        client.timing.idleSliceMs = 20;
        client.timing.noProgressLimitMs = 1000;
        client.onIdle = [this] {
            if (Clock::now() > deadline) {
                client.Disconnect();
            }
        };
    }
    HttpClient client;
    Clock::time_point deadline = Clock::now() + kTestDeadline;
};

TEST(HttpClientTimeout, SilentServersFailWithTheLimitNamed) {
    struct Case {
        const char* what;
        Script script;
        const char* partialBody = "";
    };
    const Case cases[] = {
        {.what = "accepts and never answers",
         .script = {Step::AwaitRequest(), Step::Delay(kSilenceMs)}},
        {.what = "never even reads the request", .script = {Step::Delay(kSilenceMs)}},
        {.what = "sends the status line, then stalls",
         .script = {Step::AwaitRequest(), Step::Send("HTTP/1.1 200 OK\r\n"),
                    Step::Delay(kSilenceMs)}},
        {.what = "sends the head, then stalls before the body",
         .script = {Step::AwaitRequest(),
                    Step::Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n"),
                    Step::Delay(kSilenceMs)}},
        {.what = "stalls halfway through a body of known length",
         .script = {Step::AwaitRequest(),
                    Step::Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial"),
                    Step::Delay(kSilenceMs)},
         .partialBody = "partial"},
        {.what = "stalls in a chunked body",
         .script = {Step::AwaitRequest(),
                    Step::Send(
                        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nsome\r\n"),
                    Step::Delay(kSilenceMs)},
         .partialBody = "some"},
        {.what = "stalls in a body read up to the close",
         .script = {Step::AwaitRequest(), Step::Send("HTTP/1.0 200 OK\r\n\r\nopen-ended"),
                    Step::Delay(kSilenceMs)},
         .partialBody = "open-ended"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server({c.script});
        LimitedClient limited;
        const Outcome outcome = get(limited.client, server.url("/"));
        EXPECT_EQ(outcome.kind, Kind::NoProgressTimeout) << outcome.error;
        EXPECT_EQ(outcome.detail, "1 s");
        EXPECT_EQ(outcome.error, "Timed out: nothing received or sent for 1 s");
        EXPECT_EQ(outcome.body, c.partialBody);
        EXPECT_FALSE(limited.client.connected());
    }
}

TEST(HttpClientTimeout, LimitNamesMillisecondsWhenNotWholeSeconds) {
    ScriptedServer server({{Step::AwaitRequest(), Step::Delay(kSilenceMs)}});
    LimitedClient limited;
    limited.client.timing.noProgressLimitMs = 300;
    const Outcome outcome = get(limited.client, server.url("/"));
    EXPECT_EQ(outcome.kind, Kind::NoProgressTimeout);
    EXPECT_EQ(outcome.error, "Timed out: nothing received or sent for 300 ms");
}

TEST(HttpClientTimeout, SlowButSteadyServerIsNoTimeout) {
    // Every piece comes within the limit, the whole takes longer than it.
    Script script = {Step::AwaitRequest(),
                     Step::Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n")};
    for (const char* piece : {"a", "b", "c", "d", "e"}) {
        script.push_back(Step::Delay(300));
        script.push_back(Step::Send(piece));
    }
    ScriptedServer server({script});
    LimitedClient limited;
    limited.client.timing.noProgressLimitMs = 1000;
    const Outcome outcome = get(limited.client, server.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "abcde");
}

TEST(HttpClientTimeout, PostToSilentServerFails) {
    // The news service's requests are posts.
    ScriptedServer server({{Step::AwaitRequest(), Step::Delay(kSilenceMs)}});
    LimitedClient limited;
    FormDataBody form;
    form.AddField("PublID", "7");
    try {
        limited.client.PostForm(server.url("/news"), form);
        FAIL() << "the post succeeded";
    } catch (const HttpError& e) {
        EXPECT_EQ(e.kind(), Kind::NoProgressTimeout) << e.what();
    }
}

TEST(HttpClientTimeout, ServerThatStopsReadingFailsTheSend) {
    // Far more than the loopback socket buffers hold, so the send must wait
    // for a server that never reads.
    ScriptedServer server({{Step::Delay(kSilenceMs)}});
    LimitedClient limited;
    FormDataBody form;
    form.AddField("big", std::string(64 * 1024 * 1024, 'x'));
    try {
        limited.client.PostForm(server.url("/news"), form);
        FAIL() << "the post succeeded";
    } catch (const HttpError& e) {
        EXPECT_EQ(e.kind(), Kind::NoProgressTimeout) << e.what();
    }
}

TEST(HttpClientTimeout, DefaultIsAMinuteAndZeroWaitsWithoutEnd) {
    EXPECT_EQ(HttpClient().timing.noProgressLimitMs, 60000);
    // Without a limit only the test's deadline ends the wait.
    ScriptedServer server({{Step::AwaitRequest(), Step::Delay(kSilenceMs)}});
    LimitedClient limited;
    limited.client.timing.noProgressLimitMs = 0;
    limited.deadline = Clock::now() + std::chrono::milliseconds(1500);
    const Outcome outcome = get(limited.client, server.url("/"));
    EXPECT_EQ(outcome.kind, Kind::NotConnected) << outcome.error;
}

TEST(HttpClientTimeout, ShortBodyLimitsKeepTheirOwnKind) {
    // A redirect's body that stalls is given up after its own short limit
    // and the redirect is followed; the no-progress limit is not involved.
    ScriptedServer target({Reply(HttpResponse("HTTP/1.1 200 OK", "landed"))});
    ScriptedServer server({{Step::AwaitRequest(),
                            Step::Send("HTTP/1.1 302 Found\r\nLocation: " + target.url("/") +
                                       "\r\nContent-Length: 100\r\n\r\nhalf"),
                            Step::Delay(kSilenceMs)}});
    LimitedClient limited;
    limited.client.timing.redirectBodyLimitMs = 200;
    limited.client.timing.noProgressLimitMs = 5000;
    const Outcome outcome = get(limited.client, server.url("/"));
    EXPECT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.body, "landed");
}

}  // namespace
