// The one place where the texts of the client's failures are pinned: every
// kind with its wording, byte for byte, and what a failure response carries.
#include "net/http_error.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/net/client_test_support.h"

namespace {

using net::HttpError;
using net::HttpErrorText;
using net::HttpProtocolError;
using Kind = net::HttpErrorKind;

TEST(HttpErrorText, EveryKindKeepsItsWording) {
    struct Case {
        Kind kind;
        std::string detail;
        std::string text;
    };
    const Case cases[] = {
        {.kind = Kind::NotConnected, .detail = "", .text = "Not Connected"},
        {.kind = Kind::ClosedGracefully, .detail = "", .text = "Connection Closed Gracefully."},
        {.kind = Kind::ConnectTimedOut, .detail = "", .text = "Connect timed out."},
        {.kind = Kind::ReadTimeout, .detail = "", .text = "Read Timeout"},
        {.kind = Kind::NoProgressTimeout,
         .detail = "60 s",
         .text = "Timed out: nothing received or sent for 60 s"},
        {.kind = Kind::SocketError,
         .detail = "111\r\nConnection refused",
         .text = "Socket Error # 111\r\nConnection refused"},
        {.kind = Kind::LineTooLong, .detail = "", .text = "Max line length exceeded."},
        {.kind = Kind::HeaderBlockTooLarge, .detail = "", .text = "Header block too large."},
        {.kind = Kind::TooManyInterimResponses,
         .detail = "",
         .text = "Too many interim responses."},
        {.kind = Kind::ConflictingLength, .detail = "", .text = "Conflicting Content-Length."},
        {.kind = Kind::InvalidChunkSize, .detail = "", .text = "Invalid chunk size."},
        {.kind = Kind::TooManyCookies, .detail = "", .text = "Too many cookies."},
        {.kind = Kind::HeadersCutShort, .detail = "", .text = "Undefined situation"},
        {.kind = Kind::TooManyRedirects, .detail = "", .text = "Too many redirects."},
        {.kind = Kind::HttpStatus,
         .detail = "HTTP/1.1 404 Not Found",
         .text = "HTTP/1.1 404 Not Found"},
        {.kind = Kind::InvalidUrl, .detail = "", .text = "Invalid URL."},
        {.kind = Kind::NotAbsoluteUrl, .detail = "", .text = ""},
        {.kind = Kind::UnknownScheme, .detail = "", .text = ""},
        {.kind = Kind::InvalidPort, .detail = "99999", .text = "Invalid port number: 99999"},
        {.kind = Kind::Busy, .detail = "", .text = "Client is busy."},
        {.kind = Kind::TlsUntrusted,
         .detail = "www.example.com: self-signed certificate",
         .text = "TLS: certificate verify failed for www.example.com: self-signed certificate"},
        {.kind = Kind::TlsNameMismatch,
         .detail = "127.0.0.1: IP address mismatch",
         .text = "TLS: certificate name mismatch for 127.0.0.1: IP address mismatch"},
        {.kind = Kind::TlsHandshakeFailed,
         .detail = "old.example: unsupported protocol",
         .text = "TLS: handshake failed with old.example: unsupported protocol"},
        {.kind = Kind::TlsBroken,
         .detail = "cut.example: the connection closed in the middle of a record",
         .text =
             "TLS: connection broken with cut.example: the connection closed in the middle of a "
             "record"},
        {.kind = Kind::TlsSetupFailed,
         .detail = "/etc/corp-ca.pem: no certificate or crl found",
         .text = "TLS: cannot use the CA file /etc/corp-ca.pem: no certificate or crl found"},
        {.kind = Kind::ProxyInvalid,
         .detail = "https_proxy: it names no host",
         .text = "Proxy: cannot use the variable https_proxy: it names no host"},
        {.kind = Kind::ProxyRefused,
         .detail = "www.example.com:443: HTTP/1.1 403 Forbidden",
         .text = "Proxy: tunnel refused to www.example.com:443: HTTP/1.1 403 Forbidden"},
        {.kind = Kind::StreamFailed,
         .detail = "Cannot write file /x: No space left on device",
         .text = "Cannot write file /x: No space left on device"},
    };
    std::set<Kind> listed;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const HttpError error(c.kind, c.detail);
        EXPECT_EQ(std::string(error.what()), c.text);
        EXPECT_EQ(HttpErrorText(c.kind, c.detail), c.text);
        EXPECT_EQ(error.kind(), c.kind);
        EXPECT_EQ(error.detail(), c.detail);
        listed.insert(c.kind);
    }
    // StreamFailed is the last kind: every kind up to it has its row.
    EXPECT_EQ(listed.size(), static_cast<std::size_t>(Kind::StreamFailed) + 1);
}

TEST(HttpErrorText, FailureResponseKeepsCodeStatusLineAndBody) {
    const HttpProtocolError error(404, "HTTP/1.1 404 Not Found", "<h1>gone</h1>");
    EXPECT_EQ(error.kind(), Kind::HttpStatus);
    EXPECT_EQ(error.code(), 404);
    EXPECT_STREQ(error.what(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(error.detail(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(error.errorText(), "<h1>gone</h1>");
}

}  // namespace
