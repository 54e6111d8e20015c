// Bodies into the caller's stream: chunks, a file written from the caller's
// position, which framings size the stream, and the bound on a POST's reply.
#include "net/http_client.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/net/client_test_support.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace {

using clienttest::get;
using clienttest::Outcome;
using net::FormDataBody;
using net::HttpClient;
using net::HttpError;
using net::MemoryStream;
using net::WorkMode;
using Kind = net::HttpErrorKind;
using testsupport::ChunkedResponse;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::ScriptedServer;

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
    const testsupport::TempDir dir("zorvane-net");
    const std::string path = (dir / "body").string();
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
        {.name = "Length", .response = HttpResponse("HTTP/1.1 200 OK", "ab"), .stream = "01ab"},

        {.name = "Chunked",
         .response = ChunkedResponse("HTTP/1.1 200 OK", {"ab"}),
         .stream = "01ab456789"},
        {.name = "UntilClose", .response = "HTTP/1.0 200 OK\r\n\r\nab", .stream = "01ab456789"},
        {.name = "ZeroLength",
         .response = HttpResponse("HTTP/1.1 200 OK", ""),
         .stream = "0123456789"},
        {.name = "NoContent",
         .response = "HTTP/1.1 204 No Content\r\n\r\n",
         .stream = "0123456789"},
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
        EXPECT_EQ(e.kind(), Kind::StreamFailed);
        EXPECT_EQ(e.detail(), "Response body too large.");
    }
}

}  // namespace
