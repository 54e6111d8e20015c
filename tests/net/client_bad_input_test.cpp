// Servers that send anything: overlong lines, broken framing, endless header
// blocks, cookies or interim responses, a close after every byte; and URLs
// the client refuses before it connects.
#include "net/http_client.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/net/client_test_support.h"
#include "tests/support/scripted_server.h"

namespace {

using clienttest::get;
using clienttest::Outcome;
using clienttest::useShortWaits;
using net::HttpClient;
using Kind = net::HttpErrorKind;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::Script;
using testsupport::ScriptedServer;

struct BadCase {
    const char* name;
    std::string response;
    bool ok;
    std::string body;
    std::optional<Kind> kind;
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
    EXPECT_EQ(outcome.kind, c.kind);
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
        BadCase{.name = "LongStatusLine",
                .response = "HTTP/1.1 200 " + std::string(16400, 'k') + "\r\n\r\n",
                .ok = false,
                .body = "",
                .kind = Kind::LineTooLong},
        BadCase{.name = "LongStatusLineWithoutEnd",
                .response = "HTTP/1.1 200 " + std::string(40000, 'k'),
                .ok = false,
                .body = "",
                .kind = Kind::LineTooLong},
        BadCase{.name = "LongestStatusLineAccepted",
                .response = HttpResponse("HTTP/1.1 200 " + std::string(16384 - 13, 'k'), "fine"),
                .ok = true,
                .body = "fine",
                .kind = std::nullopt},
        BadCase{.name = "LongHeaderLine",
                .response = "HTTP/1.1 200 OK\r\nX-Long: " + std::string(16400, 'h') + "\r\n\r\n",
                .ok = false,
                .body = "",
                .kind = Kind::LineTooLong},
        BadCase{.name = "LongChunkSizeLine",
                .response = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                            std::string(16400, '0') + "1\r\na\r\n0\r\n\r\n",
                .ok = false,
                .body = "",
                .kind = Kind::LineTooLong},
        BadCase{.name = "ChunkSizeNotHex",
                .response = chunkedWithSizeLine("zz"),
                .ok = false,
                .body = "ab",
                .kind = Kind::InvalidChunkSize},
        BadCase{.name = "ChunkSizeNegative",
                .response = chunkedWithSizeLine("-1"),
                .ok = false,
                .body = "ab",
                .kind = Kind::InvalidChunkSize},
        BadCase{.name = "ChunkSizeEmpty",
                .response = chunkedWithSizeLine(""),
                .ok = false,
                .body = "ab",
                .kind = Kind::InvalidChunkSize},
        BadCase{.name = "ChunkSizeWithTrailingJunk",
                .response = chunkedWithSizeLine("2g"),
                .ok = false,
                .body = "ab",
                .kind = Kind::InvalidChunkSize},
        BadCase{.name = "ChunkSizeWithExtension",
                .response = chunkedWithSizeLine("2;name=\"v\""),
                .ok = true,
                .body = "abcd",
                .kind = std::nullopt},
        BadCase{.name = "ChunkSizeWithBlankAndText",
                .response = chunkedWithSizeLine("2\tnote"),
                .ok = true,
                .body = "abcd",
                .kind = std::nullopt},
        BadCase{.name = "CloseBeforeTheAnnouncedLength",
                .response = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello",
                .ok = false,
                .body = "hello",
                .kind = Kind::ClosedGracefully},
        BadCase{
            .name = "TwoDifferentLengths",
            .response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 5\r\n\r\nhello",
            .ok = false,
            .body = "",
            .kind = Kind::ConflictingLength},
        BadCase{.name = "DifferentLengthsInOneList",
                .response = "HTTP/1.1 200 OK\r\nContent-Length: 5, 2\r\n\r\nhello",
                .ok = false,
                .body = "",
                .kind = Kind::ConflictingLength},
        BadCase{
            .name = "SameLengthRepeated",
            .response = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-length: 5, 5\r\n\r\nhello",
            .ok = true,
            .body = "hello",
            .kind = std::nullopt},
        BadCase{.name = "ChunkedWinsOverLength",
                .response = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: "
                            "chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
                .ok = true,
                .body = "hello",
                .kind = std::nullopt},
        BadCase{.name = "ChunkedIgnoresConflictingLengths",
                .response = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n"
                            "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
                .ok = true,
                .body = "hello",
                .kind = std::nullopt},
        BadCase{.name = "ChunkSizeTooBig",
                .response = "HTTP/1.1 200 OK\r\nTransfer-Encoding: "
                            "chunked\r\n\r\nfffffffffffffffffff\r\nab\r\n",
                .ok = false,
                .body = "",
                .kind = Kind::InvalidChunkSize},
        BadCase{.name = "ChunkBiggerThanWhatArrives",
                .response =
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\nab",
                .ok = false,
                .body = "ab",
                .kind = Kind::ClosedGracefully},
        BadCase{.name = "EndlessHeaderLines",
                .response = "HTTP/1.1 200 OK\r\n" +
                            [] {
                                std::string lines;
                                for (int i = 0; i < 1200; ++i) {
                                    lines += "X: y\r\n";
                                }
                                return lines;
                            }() +
                            "\r\n",
                .ok = false,
                .body = "",
                .kind = Kind::HeaderBlockTooLarge},
        BadCase{.name = "TooManyCookies",
                .response = HttpResponse("HTTP/1.1 200 OK", "", manyCookies(600)),
                .ok = false,
                .body = "",
                .kind = Kind::TooManyCookies},
        BadCase{.name = "EndlessInterimResponses",
                .response =
                    [] {
                        std::string all;
                        for (int i = 0; i < 50; ++i) {
                            all += "HTTP/1.1 100 Continue\r\n\r\n";
                        }
                        return all;
                    }(),
                .ok = false,
                .body = "",
                .kind = Kind::TooManyInterimResponses},
        BadCase{.name = "NulAndControlBytesInHeaders",
                .response = HttpResponse("HTTP/1.1 200 OK", "ok",
                                         std::string("X-Bin: a\0b\x01\r\n", 13)),
                .ok = true,
                .body = "ok",
                .kind = std::nullopt}),
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
    const Form forms[] = {{.response = lengthResponse,
                           .body = "hello",
                           .bodyStart = lengthResponse.find("hello"),
                           .dataStart = lengthResponse.find("hello"),
                           .complete = lengthResponse.size()},
                          {.response = chunkedResponse,
                           .body = "hello",
                           .bodyStart = chunkedResponse.find("5\r\n"),
                           .dataStart = chunkedResponse.find("hello"),
                           .complete = chunkedResponse.find("0\r\n") + 3}};
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
                EXPECT_EQ(outcome.kind, Kind::ClosedGracefully);
            } else if (cut < form.bodyStart) {
                EXPECT_EQ(outcome.kind, Kind::HeadersCutShort);
            } else if (cut >= form.complete) {
                EXPECT_TRUE(outcome.ok) << outcome.error;
                EXPECT_EQ(outcome.body, form.partialBody(cut));
            } else {
                EXPECT_EQ(outcome.kind, Kind::ClosedGracefully);
                EXPECT_EQ(outcome.body, form.partialBody(cut));
            }
        }
    }
}

struct UrlFailure {
    const char* name;
    std::string url;
    Kind kind;
    std::string detail;  // of a socket error only its start: the rest is the system's wording
};

class HttpClientUrlFailures : public ::testing::TestWithParam<UrlFailure> {};

TEST_P(HttpClientUrlFailures, FailWithTheirKind) {
    const UrlFailure& c = GetParam();
    HttpClient client;
    const Outcome outcome = get(client, c.url);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.kind, c.kind) << outcome.error;
    if (c.kind == Kind::SocketError) {
        EXPECT_EQ(outcome.detail.substr(0, c.detail.size()), c.detail) << outcome.error;
    } else {
        EXPECT_EQ(outcome.detail, c.detail);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientUrlFailures,
    ::testing::Values(
        UrlFailure{.name = "HttpsRefused",
                   .url = "https://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/",
                   .kind = Kind::SocketError,
                   .detail = "111\r\n"},
        UrlFailure{.name = "UnknownScheme",
                   .url = "ftp://127.0.0.1/file",
                   .kind = Kind::UnknownScheme,
                   .detail = ""},
        UrlFailure{.name = "NoScheme",
                   .url = "www.example.com/search",
                   .kind = Kind::NotAbsoluteUrl,
                   .detail = ""},
        UrlFailure{.name = "Unresolvable",
                   .url = "http://no-such-host.invalid/",
                   .kind = Kind::SocketError,
                   .detail = ""},
        UrlFailure{.name = "Refused",
                   .url = "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/",
                   .kind = Kind::SocketError,
                   .detail = "111\r\n"},
        UrlFailure{.name = "BadPort",
                   .url = "http://127.0.0.1:99999/",
                   .kind = Kind::InvalidPort,
                   .detail = "99999"},
        UrlFailure{.name = "LineEndInUrl",
                   .url = "http://127.0.0.1/a\r\nX-Injected: 1",
                   .kind = Kind::InvalidUrl,
                   .detail = ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
