#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/form_data_body.h"
#include "net/http_error.h"
#include "net/http_limits.h"
#include "net/proxy_env.h"
#include "net/stream.h"
#include "net/url.h"

namespace net {

class CookieStore;

enum class WorkMode { Read, Write };
enum class ProtocolVersion { Http10, Http11 };

// Request fields persist from one operation to the next.
struct RequestFields {
    std::string Accept = "text/html, */*";
    std::string UserAgent = "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)";
    std::string ContentType = "text/html";
    std::string Connection;
    std::string CacheControl;
    std::string Pragma;
    // Sent after the fields above, in this order, as "Name: value". A field
    // whose name is no token (empty, or with a blank, ":" or a control byte)
    // or whose value holds CR, LF or NUL is left out: it would end the line
    // early and smuggle in further header lines.
    std::vector<std::pair<std::string, std::string>> extraHeaders;
};

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    RequestFields Request;
    ProtocolVersion protocolVersion = ProtocolVersion::Http11;

    // "Handle pending window messages": called after every 250 ms slice without
    // data and every 125 ms while connecting; also every 250 ms while data keeps
    // arriving or a send waits, so no server can freeze the window. May call
    // Disconnect(), which ends the blocked operation.
    std::function<void()> onIdle;

    // Progress events; counts in bytes. Handlers may call Disconnect().
    std::function<void(WorkMode, std::int64_t maxCount)> OnWorkBegin;
    std::function<void(WorkMode, std::int64_t count)> OnWork;
    std::function<void(WorkMode)> OnWorkEnd;
    // Called with the URL a redirect leads to, before it is asked. May call
    // Disconnect(), which refuses the redirect: the operation fails as
    // NotConnected and nothing is sent to that URL.
    std::function<void(const Url& next)> OnRedirect;

    // Waiting times; the defaults are the product's.
    HttpTiming timing;

    // The proxies, read from the environment when the client is made.
    ProxySettings proxies = ProxySettings::FromEnvironment();
    // The proxy ("host:port") that a request to url goes through, or "" when
    // it goes direct or url or the proxy setting cannot be used.
    std::string ProxyFor(const std::string& url) const;

    // GETs url into stream from its current position. Throws HttpError on failure
    // (also for the stream's own write failures, as StreamFailed); a second
    // operation started while one is blocked is refused as Busy.
    void GetToStream(const std::string& url, OutputStream& stream);
    // POSTs urlEncodedBody (application/x-www-form-urlencoded) into stream
    // as GetToStream does, on the kept connection. A redirect other than 307
    // and 308 is followed with GET and no body, as browsers do.
    void PostToStream(const std::string& url, const std::string& urlEncodedBody,
                      OutputStream& stream);
    // POSTs the form as HTTP/1.0 and returns the final body, one char per byte.
    std::string PostForm(const std::string& url, const FormDataBody& body);
    // Closes the connection if open; safe from nested handlers and when idle.
    void Disconnect();

    const std::string& ResponseText() const;
    int responseCode() const;
    // The value (trimmed) of the first header field of that name, in any
    // case, of the last response received, the one ResponseText() is of: the
    // final one after redirects, also when the operation failed with its
    // status (403, 503, ...). "" when it has no such field or its header
    // block could not be read whole.
    std::string responseHeader(std::string_view name) const;
    // True while a connection is open.
    bool connected() const;
    // True while an operation runs, as a nested handler sees it: a second
    // operation would be refused, and Disconnect() would end the first.
    bool busy() const;

    // The client's cookies (created empty with the client).
    const CookieStore& cookies() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace net
