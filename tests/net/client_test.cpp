#include "net/http_client.h"

#include <gtest/gtest.h>

#include "tests/support/scripted_server.h"

namespace {

using net::HttpClient;
using net::HttpError;
using net::MemoryStream;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::ScriptedServer;

TEST(HttpClientGet, DeliversBodyAndSendsProfile) {
    ScriptedServer server({Reply(HttpResponse("HTTP/1.1 200 OK", "hello"))});
    HttpClient client;
    MemoryStream stream;
    client.GetToStream(server.url("/a/b?q=1"), stream);
    EXPECT_EQ(stream.data(), "hello");
    EXPECT_EQ(client.ResponseText(), "HTTP/1.1 200 OK");
    EXPECT_EQ(server.received(0),
              "GET /a/b?q=1 HTTP/1.1\r\nContent-Type: text/html\r\nHost: " + server.hostHeader() +
                  "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 5.5; "
                  "Windows NT 4.0)\r\n\r\n");
}

}  // namespace
