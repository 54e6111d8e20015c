#include "net/http_error.h"

namespace net {

namespace {

// The wording is the program's own, kept byte for byte from release to
// release (its spelling, capitals and full stops included): callers and users
// have long seen exactly these texts. Do not correct or unify them.
const char* tableText(HttpErrorKind kind) {
    switch (kind) {
        case HttpErrorKind::NotConnected:
            return "Not Connected";
        case HttpErrorKind::ClosedGracefully:
            return "Connection Closed Gracefully.";
        case HttpErrorKind::ConnectTimedOut:
            return "Connect timed out.";
        case HttpErrorKind::ReadTimeout:
            return "Read Timeout";
        case HttpErrorKind::NoProgressTimeout:
            return "Timed out: nothing received or sent for ";
        case HttpErrorKind::SocketError:
            return "Socket Error # ";
        case HttpErrorKind::LineTooLong:
            return "Max line length exceeded.";
        case HttpErrorKind::HeaderBlockTooLarge:
            return "Header block too large.";
        case HttpErrorKind::TooManyInterimResponses:
            return "Too many interim responses.";
        case HttpErrorKind::ConflictingLength:
            return "Conflicting Content-Length.";
        case HttpErrorKind::InvalidChunkSize:
            return "Invalid chunk size.";
        case HttpErrorKind::TooManyCookies:
            return "Too many cookies.";
        case HttpErrorKind::HeadersCutShort:
            return "Undefined situation";
        case HttpErrorKind::TooManyRedirects:
            return "Too many redirects.";
        case HttpErrorKind::HttpStatus:
            return "";
        case HttpErrorKind::InvalidUrl:
            return "Invalid URL.";
        // These two have always said nothing at all.
        case HttpErrorKind::NotAbsoluteUrl:
        case HttpErrorKind::UnknownScheme:
            return "";
        case HttpErrorKind::InvalidPort:
            return "Invalid port number: ";
        case HttpErrorKind::Busy:
            return "Client is busy.";
        case HttpErrorKind::TlsUntrusted:
            return "TLS: certificate verify failed for ";
        case HttpErrorKind::TlsNameMismatch:
            return "TLS: certificate name mismatch for ";
        case HttpErrorKind::TlsHandshakeFailed:
            return "TLS: handshake failed with ";
        case HttpErrorKind::TlsBroken:
            return "TLS: connection broken with ";
        case HttpErrorKind::TlsSetupFailed:
            return "TLS: cannot use the CA file ";
        case HttpErrorKind::ProxyInvalid:
            return "Proxy: cannot use the variable ";
        case HttpErrorKind::ProxyRefused:
            return "Proxy: tunnel refused to ";
        case HttpErrorKind::StreamFailed:
            return "";
    }
    return "";
}

}  // namespace

std::string HttpErrorText(HttpErrorKind kind, const std::string& detail) {
    return tableText(kind) + detail;
}

HttpError::HttpError(HttpErrorKind kind, std::string detail)
    : std::runtime_error(HttpErrorText(kind, detail)), kind_(kind), detail_(std::move(detail)) {}

HttpError SocketFailure(int number, const char* text) {
    return HttpError(HttpErrorKind::SocketError, std::to_string(number) + "\r\n" + text);
}

}  // namespace net
