// What the HTTP client's test files share: the fixed request lines, short read
// limits, and one GET whose outcome the tests compare.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "net/http_client.h"

namespace net {

// Failure messages name a kind by its number and its text (several are "").
inline void PrintTo(HttpErrorKind kind, std::ostream* os) {
    *os << "HttpErrorKind " << static_cast<int>(kind) << " \"" << HttpErrorText(kind) << "\"";
}

}  // namespace net

namespace clienttest {

inline const std::string kUserAgent =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)\r\n";
inline const std::string kAccept = "Accept: text/html, */*\r\n";

// Short waits for the tests that run into read limits; the product keeps its own.
inline void useShortWaits(net::HttpClient& client) {
    client.timing.idleSliceMs = 20;
    client.timing.redirectBodyLimitMs = 200;
    client.timing.failureBodyLimitMs = 200;
}

struct Outcome {
    bool ok = false;
    std::string body;
    std::optional<net::HttpErrorKind> kind;  // of the failure
    std::string detail;
    std::string error;  // what() of the failure, for the tests' messages
    int code = 0;       // of a protocol error
    std::string errorText;
};

inline Outcome get(net::HttpClient& client, const std::string& url) {
    Outcome outcome;
    net::MemoryStream stream;
    try {
        client.GetToStream(url, stream);
        outcome.ok = true;
    } catch (const net::HttpError& e) {
        outcome.kind = e.kind();
        outcome.detail = e.detail();
        outcome.error = e.what();
        if (const auto* protocol = dynamic_cast<const net::HttpProtocolError*>(&e)) {
            outcome.code = protocol->code();
            outcome.errorText = protocol->errorText();
        }
    }
    outcome.body = stream.data();
    return outcome;
}

}  // namespace clienttest
