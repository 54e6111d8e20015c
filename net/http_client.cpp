// The operation: a request head from the persistent fields and the cookies,
// the request/response cycle on a prepared connection, the response classes,
// redirects and the keep-alive decision; and HttpClient's own methods.
#include "net/http_client.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "net/cookie_store.h"
#include "net/http_body_reader.h"
#include "net/http_connection.h"
#include "net/http_events.h"
#include "net/http_parse.h"
#include "net/url.h"
#include "util/scope_guard.h"

namespace net {

namespace {

void resizeStream(OutputStream& stream, std::uint64_t size) {
    OnCallersStream([&] { stream.resize(size); });
}

// Cuts the stream back to pos (size and position).
void cutStream(OutputStream& stream, std::uint64_t pos) {
    resizeStream(stream, pos);
    stream.seek(pos);
}

struct Response {
    int code = -1;
    HeaderList headers;
    bool headersCut = false;  // the server closed before the empty line
    BodyFraming framing;
    std::string location;
    std::string connection;
    std::string proxyConnection;
};

// What a request sends after its head: a multipart form, ready-made bytes
// (a url-encoded form), or nothing.
struct RequestBody {
    const FormDataBody* form = nullptr;
    const std::string* bytes = nullptr;

    bool present() const { return form != nullptr || bytes != nullptr; }
    std::uint64_t length() const {
        return form ? form->contentLength() : bytes ? bytes->size() : 0;
    }
};

std::string headerValue(const HeaderList& headers, const char* name) {
    const std::string* value = FindHeader(headers, name);
    return value ? *value : std::string();
}

// A header name as HTTP defines a token: letters, digits and a few marks.
bool isToken(const std::string& name) {
    static constexpr std::string_view kMarks = "!#$%&'*+-.^_`|~";
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               kMarks.find(c) != std::string_view::npos;
    });
}

bool isSafeHeaderValue(const std::string& value) {
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

void checkUrlText(const std::string& url) {
    // A line end inside a URL would end the request line early and let the
    // rest pass as further headers or a second request.
    if (url.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw HttpError(HttpErrorKind::InvalidUrl);
    }
}

}  // namespace

struct HttpClient::Impl {
    explicit Impl(HttpClient& client)
        : owner(client), idle(client), work(client), connection(idle), body(connection, work) {}

    HttpClient& owner;
    IdleService idle;
    WorkEvents work;
    HttpConnection connection;
    BodyReader body;

    std::string responseText;
    int responseCode = -1;
    // The header fields of the response that responseText is the status
    // line of, once its header block is read; 100 Continue has none here.
    HeaderList responseHeaders;
    CookieStore cookies;

    bool busy = false;
    bool stopRequested = false;  // Disconnect was called during the operation

    // ---- the request ----

    // An HTTP/1.0 request asks to keep its connection, and the field keeps
    // saying so for the requests after it.
    void settleFields() {
        RequestFields& request = owner.Request;
        if (owner.protocolVersion == ProtocolVersion::Http10 && request.Connection.empty()) {
            request.Connection = "keep-alive";
        }
    }

    std::string requestHead(const char* method, const Url& url, const RequestBody& form,
                            const std::optional<ProxyServer>& proxy) {
        const bool http10 = owner.protocolVersion == ProtocolVersion::Http10;
        const RequestFields& request = owner.Request;
        // A proxy that forwards plain http needs the whole URL to know where;
        // https goes through a tunnel, where the server sees what it always does.
        const bool forwarded = proxy && url.scheme == "http";
        const std::string target =
            forwarded ? url.scheme + "://" + url.hostHeader() + url.requestUri : url.requestUri;
        std::string head =
            std::string(method) + " " + target + (http10 ? " HTTP/1.0" : " HTTP/1.1") + "\r\n";
        // A server can fill the store with megabytes of cookies; building their
        // header must not freeze the window, so it is paced like a slow read.
        const auto pace = [this] { idle.whenDue(); };
        const auto add = [&head, &pace](const char* name, const std::string& value) {
            if (!value.empty()) {
                head += FoldHeaderLine(std::string(name) + ": " + value, pace);
                head += "\r\n";
            }
        };
        add("Connection", request.Connection);
        add("Content-Type", request.ContentType);
        add("Content-Length", form.present() ? std::to_string(form.length()) : std::string());
        add("Cache-control", request.CacheControl);
        add("Pragma", request.Pragma);
        add("Host", url.hostHeader());
        add("Accept", request.Accept);
        add("User-Agent", request.UserAgent);
        if (forwarded && proxy->hasCredentials()) {
            head += "Proxy-Authorization: " + ProxyAuthorization(*proxy) + "\r\n";
        }
        add("Cookie", cookies.CookieHeaderFor(url.host, DirectoryPath(url.requestUri),
                                              url.scheme == "https", pace));
        for (const auto& [name, value] : request.extraHeaders) {
            if (isToken(name) && isSafeHeaderValue(value)) {
                head += name + ": " + value + "\r\n";
            }
        }
        head += "\r\n";
        return head;
    }

    void sendRequest(const std::string& head, const RequestBody& form) {
        connection.sendAll(head.data(), head.size());
        if (!form.present()) {
            return;
        }
        work.during(WorkMode::Write, static_cast<std::int64_t>(form.length()), [&] {
            std::optional<FormDataBodyReader> reader;
            if (form.form != nullptr) {
                reader.emplace(*form.form);
            }
            std::size_t sent = 0;
            const auto next = [&](char* out, std::size_t max) -> std::size_t {
                if (reader) {
                    return reader->read(out, max);
                }
                const std::size_t n = std::min(max, form.bytes->size() - sent);
                form.bytes->copy(out, n, sent);
                sent += n;
                return n;
            };
            std::vector<char> piece(kSendBufferSize);
            while (const std::size_t n = next(piece.data(), piece.size())) {
                connection.sendAll(piece.data(), n);
                work.progress(WorkMode::Write, n);
                if (!connection.isOpen()) {
                    throw HttpError(HttpErrorKind::NotConnected);
                }
            }
            return 0;
        });
    }

    // ---- the response ----

    Response readResponseHead(const Url& url) {
        for (int interim = 0;; ++interim) {
            std::string line;
            RequireDone(connection.readLine(line, 0));
            responseText = line;
            responseCode = ParseStatusCode(line);
            responseHeaders.clear();
            Response response;
            response.code = responseCode;
            std::size_t lines = 0;
            std::size_t bytes = 0;
            for (;;) {
                const ReadEnd end = connection.readLine(line, 0);
                if (end == ReadEnd::PeerClosed) {
                    response.headersCut = true;
                    break;
                }
                RequireDone(end);
                if (line.empty()) {
                    break;
                }
                bytes += line.size();
                if (++lines > kMaxHeaderLines || bytes > kMaxHeaderBlockBytes) {
                    throw HttpError(HttpErrorKind::HeaderBlockTooLarge);
                }
                AddHeaderLine(response.headers, line);
            }
            response.location = headerValue(response.headers, "Location");
            response.connection = headerValue(response.headers, "Connection");
            response.proxyConnection = headerValue(response.headers, "Proxy-Connection");
            // Chunked framing wins over any Content-Length, as every HTTP/1.1
            // reader agrees; lengths that disagree leave the body's end unknown.
            BodyFraming& framing = response.framing;
            framing.chunked = headerValue(response.headers, "Transfer-Encoding").find("chunked") !=
                              std::string::npos;
            const bool framed =
                framing.chunked || AnnouncedLength(response.headers, framing.contentLength);
            if (framing.chunked) {
                framing.contentLength = -1;
            }
            try {
                cookies.TakeCookies(response.headers, url.host, url.scheme == "https");
            } catch (const CookieStore::LimitExceeded&) {
                throw HttpError(HttpErrorKind::TooManyCookies);
            }
            if (!framed) {
                throw HttpError(HttpErrorKind::ConflictingLength);
            }
            if (response.code != 100) {
                responseHeaders = response.headers;
                return response;
            }
            if (interim >= kMaxInterimResponses) {
                throw HttpError(HttpErrorKind::TooManyInterimResponses);
            }
        }
    }

    bool allowsKeeping(const Response& response) const {
        if (!connection.reusable()) {
            return false;
        }
        const std::string connectionToken = NormalisedToken(response.connection);
        const std::string proxy = NormalisedToken(response.proxyConnection);
        if (owner.protocolVersion == ProtocolVersion::Http10) {
            return connectionToken == "keep-alive" || proxy == "keep-alive";
        }
        return connectionToken != "close" && proxy != "close";
    }

    void readSuccessBody(const Response& response, OutputStream& stream, std::uint64_t start) {
        StreamSink sink(stream);
        // Only a length-announced read sizes the stream: enlarged up front, cut to
        // the bytes written at its end. Chunked and read-until-close bodies are
        // written from the position like any write and leave the rest alone.
        const bool announced = response.framing.contentLength >= 1;
        if (announced) {
            const std::uint64_t target =
                start +
                std::min<std::uint64_t>(static_cast<std::uint64_t>(response.framing.contentLength),
                                        kMaxPreallocateBytes);
            if (stream.size() < target) {
                resizeStream(stream, target);
            }
        }
        try {
            // A close before the announced length is a page cut short, not a
            // page; only Disconnect (the user's Stop) keeps the part that came.
            if (body.read(response.framing, sink, 0) == ReadEnd::PeerClosed) {
                throw HttpError(HttpErrorKind::ClosedGracefully);
            }
        } catch (...) {
            if (announced) {
                try {
                    resizeStream(stream, start + sink.written);
                } catch (const HttpError&) {
                    // the read's own failure is the one worth reporting
                }
            }
            throw;
        }
        if (announced) {
            resizeStream(stream, start + sink.written);
        }
    }

    [[noreturn]] void failWith(const Response& response) {
        ErrorTextSink sink;
        ReadEnd end = ReadEnd::PeerClosed;
        try {
            end = body.read(response.framing, sink, owner.timing.failureBodyLimitMs);
        } catch (const HttpError& e) {
            // A broken error body still leaves the failure itself to report;
            // one that stopped arriving does not.
            if (e.kind() == HttpErrorKind::ReadTimeout) {
                end = ReadEnd::Timeout;
            }
        }
        if (end == ReadEnd::Timeout) {
            throw HttpError(HttpErrorKind::ReadTimeout);
        }
        connection.keepForNext(end == ReadEnd::Done && allowsKeeping(response));
        throw HttpProtocolError(response.code, responseText, sink.text);
    }

    void discardRedirectBody(const Response& response) {
        if (!connection.isOpen()) {
            return;
        }
        DiscardSink sink;
        ReadEnd end = ReadEnd::PeerClosed;
        try {
            end = body.read(response.framing, sink, owner.timing.redirectBodyLimitMs);
        } catch (const HttpError&) {
            // Ignored: the redirect is followed all the same, on a new connection.
        }
        connection.keepForNext(end == ReadEnd::Done && allowsKeeping(response));
    }

    // ---- the cycle ----

    // Sends the request and reads the response head. A GET on a kept
    // connection that the server closed just as it was reused (its close
    // still on the way) is sent once more on a new connection, as browsers
    // do: the server cannot have acted on a request it answered with nothing.
    Response exchange(const std::string& head, const RequestBody& form, const Url& url,
                      const std::optional<ProxyServer>& proxy) {
        connection.prepareFor(url, proxy);
        try {
            sendRequest(head, form);
            return readResponseHead(url);
        } catch (const HttpError& e) {
            const HttpErrorKind kind = e.kind();
            const bool connectionLost = kind == HttpErrorKind::ClosedGracefully ||
                                        kind == HttpErrorKind::SocketError ||
                                        kind == HttpErrorKind::NotConnected;
            if (form.present() || !connection.reused() || connection.receivedSincePrepare() ||
                stopRequested || !connectionLost) {
                throw;
            }
        }
        connection.close();
        connection.prepareFor(url, proxy);
        sendRequest(head, form);
        return readResponseHead(url);
    }

    void run(const char* method, const std::string& url, RequestBody form, OutputStream& stream) {
        busy = true;
        stopRequested = false;
        idle.restart();
        util::ScopeGuard notBusy([this] { busy = false; });

        const std::uint64_t start = stream.position();
        try {
            checkUrlText(url);
            Url current = ParseUrl(url);
            for (int requests = 1;; ++requests) {
                if (current.scheme != "http" && current.scheme != "https") {
                    throw HttpError(HttpErrorKind::UnknownScheme);
                }
                if (stopRequested) {
                    throw HttpError(HttpErrorKind::NotConnected);
                }
                // The fields are settled before the proxy or the connection is
                // chosen, so a refused POST has set its Connection field all the same.
                settleFields();
                const std::optional<ProxyServer> proxy =
                    owner.proxies.proxyFor(current.scheme, current.host);
                const std::string head = requestHead(method, current, form, proxy);
                if (stopRequested) {
                    throw HttpError(HttpErrorKind::NotConnected);
                }
                const Response response = exchange(head, form, current, proxy);
                const int code = response.code;
                if ((code >= 300 && code <= 399 && code != 304) || !response.location.empty()) {
                    discardRedirectBody(response);
                    cutStream(stream, start);
                    if (requests >= kRedirectMaximum) {
                        // A loop must not pass for a page that happens to be empty.
                        throw HttpError(HttpErrorKind::TooManyRedirects);
                    }
                    checkUrlText(response.location);
                    current = ResolveLocation(current, response.location);
                    // A url-encoded form that is redirected is fetched with
                    // GET, as browsers do, unless 307 or 308 ask to post it
                    // again.
                    if (form.bytes != nullptr && code != 307 && code != 308) {
                        method = "GET";
                        form = RequestBody{};
                    }
                    if (owner.OnRedirect) {
                        owner.OnRedirect(current);
                    }
                    continue;
                }
                if (code >= 200 && code <= 299) {
                    if (response.headersCut) {
                        throw HttpError(HttpErrorKind::HeadersCutShort);
                    }
                    if (code != 204) {
                        readSuccessBody(response, stream, start);
                    }
                    connection.keepForNext(allowsKeeping(response));
                    break;
                }
                failWith(response);
            }
        } catch (...) {
            if (!connection.keptForNext()) {
                connection.close();
            }
            throw;
        }
        if (!connection.keptForNext()) {
            connection.close();
        }
    }

    void refuseIfBusy() const {
        if (busy) {
            // The client serves one request at a time; a nested handler that
            // starts a second one gets a failure like any other.
            throw HttpError(HttpErrorKind::Busy);
        }
    }
};

HttpClient::HttpClient() : impl_(std::make_unique<Impl>(*this)) {}

HttpClient::~HttpClient() = default;

void HttpClient::GetToStream(const std::string& url, OutputStream& stream) {
    impl_->refuseIfBusy();
    impl_->run("GET", url, RequestBody{}, stream);
}

std::string HttpClient::PostForm(const std::string& url, const FormDataBody& body) {
    impl_->refuseIfBusy();
    Request.ContentType = body.contentType();
    impl_->connection.close();
    util::ScopeGuard restoreVersion([this, saved = protocolVersion] { protocolVersion = saved; });
    protocolVersion = ProtocolVersion::Http10;
    // The reply is held whole in memory, so it is bounded.
    MemoryStream reply;
    BoundedStream bounded(reply, kMaxPostReplyBytes, "Response body too large.");
    impl_->run("POST", url, RequestBody{.form = &body}, bounded);
    return reply.data();
}

void HttpClient::PostToStream(const std::string& url, const std::string& urlEncodedBody,
                              OutputStream& stream) {
    impl_->refuseIfBusy();
    util::ScopeGuard restoreType(
        [this, saved = Request.ContentType] { Request.ContentType = saved; });
    Request.ContentType = "application/x-www-form-urlencoded";
    impl_->run("POST", url, RequestBody{.bytes = &urlEncodedBody}, stream);
}

void HttpClient::Disconnect() {
    impl_->connection.close();
    if (impl_->busy) {
        impl_->stopRequested = true;
    }
}

const std::string& HttpClient::ResponseText() const {
    return impl_->responseText;
}

int HttpClient::responseCode() const {
    return impl_->responseCode;
}

std::string HttpClient::responseHeader(std::string_view name) const {
    const std::string* value = FindHeader(impl_->responseHeaders, std::string(name));
    return value ? *value : std::string();
}

bool HttpClient::connected() const {
    return impl_->connection.isOpen();
}

std::string HttpClient::ProxyFor(const std::string& url) const {
    try {
        const Url parsed = ParseUrl(url);
        const std::optional<ProxyServer> proxy = proxies.proxyFor(parsed.scheme, parsed.host);
        return proxy ? proxy->hostPort() : std::string();
    } catch (const HttpError&) {
        return {};
    }
}

bool HttpClient::busy() const {
    return impl_->busy;
}

const CookieStore& HttpClient::cookies() const {
    return impl_->cookies;
}

}  // namespace net
