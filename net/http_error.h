// The failures of the HTTP client: what went wrong as a kind that code can
// test, and the text that the user may see, both from one table.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace net {

enum class HttpErrorKind {
    NotConnected,             // the connection is gone: Disconnect, or broken under a send
    ClosedGracefully,         // the server closed before the response was complete
    ConnectTimedOut,          // no connection within the connect limit
    ReadTimeout,              // a failure body stopped arriving
    NoProgressTimeout,        // nothing received or sent within the limit; detail: "60 s"
    SocketError,              // the system refused; detail: its number, CRLF, its text
    LineTooLong,              // a status, header or chunk-size line beyond kMaxLineLength
    HeaderBlockTooLarge,      // beyond kMaxHeaderLines or kMaxHeaderBlockBytes
    TooManyInterimResponses,  // beyond kMaxInterimResponses
    ConflictingLength,        // Content-Length values that disagree
    InvalidChunkSize,         // a chunk-size line that is no hexadecimal number
    TooManyCookies,           // the cookie store is full
    HeadersCutShort,          // a success whose header block the server cut off
    TooManyRedirects,         // a redirect answered the last request allowed
    HttpStatus,               // a failure response; detail: its status line
    InvalidUrl,               // a line end inside a URL or Location
    NotAbsoluteUrl,           // no "://" in the URL
    UnknownScheme,            // neither http nor https
    InvalidPort,              // detail: the port as written
    Busy,                     // a second operation while one runs
    // The TLS failures carry, as detail, the host as written in the URL, ": "
    // and OpenSSL's reason.
    TlsUntrusted,        // the certificate chain does not verify (self-signed, expired, ...)
    TlsNameMismatch,     // the certificate is not for the host
    TlsHandshakeFailed,  // no common protocol, not TLS at all, closed during the handshake
    TlsBroken,           // a record that fails after the handshake, or a close mid-record
    TlsSetupFailed,      // ZORVANE_CA_FILE unusable; detail: the file, ": ", the reason
    ProxyInvalid,        // a proxy variable we cannot use; detail: its name, ": ", why
    ProxyRefused,        // CONNECT not answered 2xx; detail: host:port, ": ", the status line
    StreamFailed,        // the caller's stream failed; detail: its own text
};

// The user's text for a kind: the table's text followed by the detail, which
// only the kinds that say so above carry.
std::string HttpErrorText(HttpErrorKind kind, const std::string& detail = {});

// Every failure of an operation; what() is HttpErrorText(kind, detail).
class HttpError : public std::runtime_error {
public:
    explicit HttpError(HttpErrorKind kind, std::string detail = {});

    HttpErrorKind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }

private:
    HttpErrorKind kind_;
    std::string detail_;
};

// A refusal of the system (errno, or the resolver's code) with its text.
HttpError SocketFailure(int number, const char* text);

// A response of the failure class: code, status line as message, body as error text.
class HttpProtocolError : public HttpError {
public:
    HttpProtocolError(int code, const std::string& responseText, std::string errorText)
        : HttpError(HttpErrorKind::HttpStatus, responseText),
          code_(code),
          errorText_(std::move(errorText)) {}
    int code() const { return code_; }
    const std::string& errorText() const { return errorText_; }

private:
    int code_;
    std::string errorText_;
};

}  // namespace net
