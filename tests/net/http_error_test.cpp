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
        {Kind::NotConnected, "", "Not Connected"},
        {Kind::ClosedGracefully, "", "Connection Closed Gracefully."},
        {Kind::ConnectTimedOut, "", "Connect timed out."},
        {Kind::ReadTimeout, "", "Read Timeout"},
        {Kind::SocketError, "111\r\nConnection refused",
         "Socket Error # 111\r\nConnection refused"},
        {Kind::LineTooLong, "", "Max line length exceeded."},
        {Kind::HeaderBlockTooLarge, "", "Header block too large."},
        {Kind::TooManyInterimResponses, "", "Too many interim responses."},
        {Kind::ConflictingLength, "", "Conflicting Content-Length."},
        {Kind::InvalidChunkSize, "", "Invalid chunk size."},
        {Kind::TooManyCookies, "", "Too many cookies."},
        {Kind::HeadersCutShort, "", "Undefined situation"},
        {Kind::TooManyRedirects, "", "Too many redirects."},
        {Kind::HttpStatus, "HTTP/1.1 404 Not Found", "HTTP/1.1 404 Not Found"},
        {Kind::InvalidUrl, "", "Invalid URL."},
        {Kind::NotAbsoluteUrl, "", ""},
        {Kind::UnknownScheme, "", ""},
        {Kind::InvalidPort, "99999", "Invalid port number: 99999"},
        {Kind::Busy, "", "Client is busy."},
        {Kind::TlsUntrusted, "www.example.com: self-signed certificate",
         "TLS: certificate verify failed for www.example.com: self-signed certificate"},
        {Kind::TlsNameMismatch, "127.0.0.1: IP address mismatch",
         "TLS: certificate name mismatch for 127.0.0.1: IP address mismatch"},
        {Kind::TlsHandshakeFailed, "old.example: unsupported protocol",
         "TLS: handshake failed with old.example: unsupported protocol"},
        {Kind::TlsBroken, "cut.example: the connection closed in the middle of a record",
         "TLS: connection broken with cut.example: the connection closed in the middle of a "
         "record"},
        {Kind::TlsSetupFailed, "/etc/corp-ca.pem: no certificate or crl found",
         "TLS: cannot use the CA file /etc/corp-ca.pem: no certificate or crl found"},
        {Kind::ProxyInvalid, "https_proxy: it names no host",
         "Proxy: cannot use the variable https_proxy: it names no host"},
        {Kind::ProxyRefused, "www.example.com:443: HTTP/1.1 403 Forbidden",
         "Proxy: tunnel refused to www.example.com:443: HTTP/1.1 403 Forbidden"},
        {Kind::StreamFailed, "Cannot write file /x: No space left on device",
         "Cannot write file /x: No space left on device"},
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

TEST(HttpErrorText, TlsAndProxyFailuresAreTheOnesWithACauseToShow) {
    const std::set<Kind> expected = {
        Kind::TlsUntrusted,   Kind::TlsNameMismatch, Kind::TlsHandshakeFailed, Kind::TlsBroken,
        Kind::TlsSetupFailed, Kind::ProxyInvalid,    Kind::ProxyRefused};
    std::set<Kind> found;
    for (int k = 0; k <= static_cast<int>(Kind::StreamFailed); ++k) {
        if (net::IsTlsOrProxyFailure(static_cast<Kind>(k))) {
            found.insert(static_cast<Kind>(k));
        }
    }
    EXPECT_EQ(found, expected);
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
