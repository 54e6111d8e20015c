#include "net/http_client.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "net/cookie_store.h"
#include "net/http_parse.h"
#include "net/url.h"

namespace net {

namespace {

// Room for one full-length line with its line end, and for a whole receive
// piece beside bytes not yet handed on.
constexpr std::size_t kReadBufferCapacity = 2 * kReceiveBufferSize;
static_assert(kReadBufferCapacity > kMaxLineLength + 2);

HttpError notConnected() {
    return HttpError(HttpErrorKind::NotConnected);
}
HttpError closedGracefully() {
    return HttpError(HttpErrorKind::ClosedGracefully);
}

HttpError socketError(int number, const char* text) {
    return HttpError(HttpErrorKind::SocketError, std::to_string(number) + "\r\n" + text);
}

HttpError socketError(int number) {
    return socketError(number, std::strerror(number));
}

std::int64_t nowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && NormalisedToken(a) == NormalisedToken(b);
}

enum class Wait { Data, PeerClosed, Disconnected, Timeout };
enum class BodyEnd { Complete, PeerClosed, Disconnected, Timeout };

BodyEnd toBodyEnd(Wait wait) {
    switch (wait) {
        case Wait::PeerClosed:
            return BodyEnd::PeerClosed;
        case Wait::Disconnected:
            return BodyEnd::Disconnected;
        case Wait::Timeout:
            return BodyEnd::Timeout;
        default:
            return BodyEnd::Complete;
    }
}

// Where body bytes go.
class BodySink {
public:
    virtual ~BodySink() = default;
    virtual void put(const char* data, std::size_t len) = 0;
};

// Redirect bodies: read to keep the connection in step, then forgotten.
class DiscardSink final : public BodySink {
public:
    void put(const char*, std::size_t) override {}
};

// Failure bodies: the start becomes the error text, the rest is dropped.
class ErrorTextSink final : public BodySink {
public:
    void put(const char* data, std::size_t len) override {
        text.append(data, std::min(len, kMaxErrorTextBytes - text.size()));
    }
    std::string text;
};

// Runs a call on the caller's stream. The stream's own failures (a full disk, a
// bound) end the operation as client errors, so callers that catch HttpError
// see them too.
template <class Call>
void onCallersStream(Call&& call) {
    try {
        call();
    } catch (const HttpError&) {
        throw;
    } catch (const std::exception& e) {
        throw HttpError(HttpErrorKind::StreamFailed, e.what());
    }
}

class StreamSink final : public BodySink {
public:
    explicit StreamSink(OutputStream& stream) : stream_(stream) {}
    void put(const char* data, std::size_t len) override {
        onCallersStream([&] { stream_.write(data, len); });
        written += len;
    }
    std::uint64_t written = 0;

private:
    OutputStream& stream_;
};

void guardedResize(OutputStream& stream, std::uint64_t size) {
    onCallersStream([&] { stream.resize(size); });
}

// Cuts the stream back to pos (size and position).
void cutStream(OutputStream& stream, std::uint64_t pos) {
    guardedResize(stream, pos);
    stream.seek(pos);
}

struct Response {
    int code = -1;
    HeaderList headers;
    bool headersCut = false;  // the server closed before the empty line
    std::int64_t contentLength = -1;
    std::string location;
    std::string connection;
    std::string proxyConnection;
    std::string transferEncoding;
};

bool chunked(const Response& response) {
    return response.transferEncoding.find("chunked") != std::string::npos;
}

std::string headerValue(const HeaderList& headers, const char* name) {
    const std::string* value = FindHeader(headers, name);
    return value ? *value : std::string();
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
    explicit Impl(HttpClient& client) : owner(client), buffer(kReadBufferCapacity) {}
    ~Impl() { close(); }

    HttpClient& owner;

    // The connection.
    int fd = -1;
    std::string connHost;
    int connPort = 0;
    bool peerClosed = false;
    bool keepAllowed = false;  // judged on the last response
    std::vector<char> buffer;  // received, not yet handed on: [rbeg, rend)
    std::size_t rbeg = 0;
    std::size_t rend = 0;

    std::string responseText;
    int responseCode = -1;
    CookieStore cookies;

    // The operation.
    bool busy = false;
    bool stopRequested = false;  // Disconnect was called during the operation
    std::int64_t lastServiceMs = 0;

    struct WorkState {
        int nesting = 0;
        std::int64_t max = 0;
        std::int64_t total = 0;
    };
    WorkState work[2];

    std::size_t available() const { return rend - rbeg; }

    void close() {
        if (fd >= 0) {
            ::shutdown(fd, SHUT_WR);
            ::close(fd);
            fd = -1;
        }
        keepAllowed = false;
    }

    void idle() {
        lastServiceMs = nowMs();
        if (owner.onIdle) {
            owner.onIdle();
        }
    }

    // ---- progress events ----

    WorkState& state(WorkMode mode) { return work[mode == WorkMode::Read ? 0 : 1]; }

    void workBegin(WorkMode mode, std::int64_t max) {
        WorkState& w = state(mode);
        if (++w.nesting == 1) {
            w.max = max;
            w.total = 0;
            if (owner.OnWorkBegin) {
                owner.OnWorkBegin(mode, max);
            }
        }
    }

    void workProgress(WorkMode mode, std::size_t count) {
        WorkState& w = state(mode);
        if (w.nesting >= 1) {
            w.total += static_cast<std::int64_t>(count);
            if (owner.OnWork) {
                owner.OnWork(mode, w.total);
            }
        }
    }

    void workEnd(WorkMode mode) {
        WorkState& w = state(mode);
        struct Lower {
            int& nesting;
            ~Lower() { --nesting; }
        } lower{w.nesting};
        if (w.nesting == 1 && owner.OnWorkEnd) {
            owner.OnWorkEnd(mode);
        }
    }

    template <class Body>
    auto asWork(WorkMode mode, std::int64_t max, Body&& body) {
        workBegin(mode, max);
        try {
            auto result = body();
            workEnd(mode);
            return result;
        } catch (...) {
            workEnd(mode);
            throw;
        }
    }

    // ---- receiving ----

    // Waits for more bytes in the buffer. Every 250 ms slice without data
    // services the window; so does a long stretch of steady data, so that a
    // server that never stops sending cannot freeze the window either.
    // limitMs > 0 ends the wait after that much time without data.
    Wait fill(int limitMs) {
        if (fd < 0) {
            return Wait::Disconnected;
        }
        if (peerClosed) {
            return Wait::PeerClosed;
        }
        if (rbeg == rend) {
            rbeg = rend = 0;
        } else if (rbeg > 0 && buffer.size() - rend < kReceiveBufferSize) {
            std::memmove(buffer.data(), buffer.data() + rbeg, available());
            rend -= rbeg;
            rbeg = 0;
        }
        int waited = 0;
        for (;;) {
            const std::size_t room = std::min(buffer.size() - rend, kReceiveBufferSize);
            const ssize_t n = ::recv(fd, buffer.data() + rend, room, MSG_DONTWAIT);
            if (n > 0) {
                rend += static_cast<std::size_t>(n);
                if (nowMs() - lastServiceMs >= owner.timing.idleSliceMs) {
                    idle();
                }
                return Wait::Data;
            }
            if (n == 0) {
                peerClosed = true;
                return Wait::PeerClosed;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                throw socketError(errno);
            }
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, owner.timing.idleSliceMs);
            if (ready < 0 && errno != EINTR) {
                throw socketError(errno);
            }
            if (ready == 0) {
                idle();
                if (fd < 0) {
                    return Wait::Disconnected;
                }
                waited += owner.timing.idleSliceMs;
                if (limitMs > 0 && waited >= limitMs) {
                    return Wait::Timeout;
                }
            }
        }
    }

    // One line without its line end (LF, with a CR before it removed).
    Wait readLine(std::string& line, int limitMs) {
        for (;;) {
            const char* start = buffer.data() + rbeg;
            const auto* lf = static_cast<const char*>(std::memchr(start, '\n', available()));
            if (lf != nullptr) {
                std::size_t len = static_cast<std::size_t>(lf - start);
                rbeg += len + 1;
                if (len > 0 && start[len - 1] == '\r') {
                    --len;
                }
                if (len > kMaxLineLength) {
                    throw HttpError(HttpErrorKind::LineTooLong);
                }
                line.assign(start, len);
                return Wait::Data;
            }
            if (available() > kMaxLineLength + 1) {
                throw HttpError(HttpErrorKind::LineTooLong);
            }
            const Wait wait = fill(limitMs);
            if (wait != Wait::Data) {
                return wait;
            }
        }
    }

    void handOn(BodySink& sink, std::size_t count, bool progress) {
        sink.put(buffer.data() + rbeg, count);
        rbeg += count;
        if (progress) {
            workProgress(WorkMode::Read, count);
        }
    }

    // Exactly length bytes, or fewer when the connection ends first.
    BodyEnd readLength(BodySink& sink, std::uint64_t length, int limitMs) {
        return asWork(WorkMode::Read, static_cast<std::int64_t>(length), [&] {
            std::uint64_t remaining = length;
            // The first piece is whatever arrived together with the header block.
            if (available() > 0) {
                const auto n =
                    static_cast<std::size_t>(std::min<std::uint64_t>(available(), remaining));
                handOn(sink, n, true);
                remaining -= n;
            }
            while (remaining > 0) {
                if (fd < 0) {
                    return BodyEnd::Disconnected;
                }
                const auto want = static_cast<std::size_t>(
                    std::min<std::uint64_t>(kReceiveBufferSize, remaining));
                while (available() < want) {
                    const Wait wait = fill(limitMs);
                    if (wait != Wait::Data) {
                        if (available() > 0) {
                            handOn(sink, available(), true);
                        }
                        return toBodyEnd(wait);
                    }
                }
                handOn(sink, want, true);
                remaining -= want;
            }
            return BodyEnd::Complete;
        });
    }

    // Everything up to the server's close; the close is the normal end.
    BodyEnd readUntilClose(BodySink& sink, int limitMs) {
        return asWork(WorkMode::Read, 0, [&] {
            if (available() > 0) {
                handOn(sink, available(), true);
            }
            for (;;) {
                if (fd < 0) {
                    return BodyEnd::Disconnected;
                }
                while (available() < kReceiveBufferSize) {
                    const Wait wait = fill(limitMs);
                    if (wait != Wait::Data) {
                        // The remainder handed on at the close fires no progress event.
                        handOn(sink, available(), false);
                        return wait == Wait::PeerClosed ? BodyEnd::Complete : toBodyEnd(wait);
                    }
                }
                handOn(sink, kReceiveBufferSize, true);
            }
        });
    }

    void requireLine(std::string& line, int limitMs) {
        switch (readLine(line, limitMs)) {
            case Wait::Data:
                return;
            case Wait::PeerClosed:
                throw closedGracefully();
            case Wait::Disconnected:
                throw notConnected();
            case Wait::Timeout:
                throw HttpError(HttpErrorKind::ReadTimeout);
        }
    }

    void readChunked(BodySink& sink, int limitMs) {
        std::string line;
        for (;;) {
            requireLine(line, limitMs);
            std::uint64_t size = 0;
            if (!ParseChunkSize(line, size)) {
                throw HttpError(HttpErrorKind::InvalidChunkSize);
            }
            if (size == 0) {
                // The line after the last chunk; no trailer is read, and a server
                // that closes here has still sent a complete body.
                readLine(line, limitMs);
                return;
            }
            switch (readLength(sink, size, limitMs)) {
                case BodyEnd::Complete:
                    break;
                case BodyEnd::PeerClosed:
                    throw closedGracefully();
                case BodyEnd::Disconnected:
                    throw notConnected();
                case BodyEnd::Timeout:
                    throw HttpError(HttpErrorKind::ReadTimeout);
            }
            requireLine(line, limitMs);  // the line end after the chunk data
        }
    }

    BodyEnd readBody(const Response& response, BodySink& sink, int limitMs) {
        if (chunked(response)) {
            readChunked(sink, limitMs);
            return BodyEnd::Complete;
        }
        if (response.contentLength >= 1) {
            return readLength(sink, static_cast<std::uint64_t>(response.contentLength), limitMs);
        }
        if (response.contentLength < 0) {
            return readUntilClose(sink, limitMs);
        }
        return BodyEnd::Complete;
    }

    // ---- connecting and sending ----

    void prepareConnection(const Url& url) {
        if (fd >= 0 && (!equalsNoCase(connHost, url.host) || connPort != url.port)) {
            close();
        }
        if (fd >= 0 && (!keepAllowed || peerClosed)) {
            close();
        }
        if (fd >= 0) {
            // Has the server closed the kept connection meanwhile? A close the
            // kernel has already seen shows at once; waiting for one that has
            // not arrived would only slow every reused connection.
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0) {
                char probe;
                const ssize_t n = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
                if ((p.revents & (POLLERR | POLLHUP)) != 0 || n == 0 ||
                    (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                    close();
                }
            }
        }
        keepAllowed = false;
        if (fd < 0) {
            connect(url);
        }
    }

    void connect(const Url& url) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        // Resolving blocks without servicing the window.
        const int gai = ::getaddrinfo(url.connectHost().c_str(), std::to_string(url.port).c_str(),
                                      &hints, &found);
        if (gai != 0) {
            if (gai == EAI_SYSTEM) {
                throw socketError(errno);
            }
            throw socketError(gai, ::gai_strerror(gai));
        }
        struct Free {
            addrinfo* list;
            ~Free() { ::freeaddrinfo(list); }
        } freeList{found};

        rbeg = rend = 0;
        peerClosed = false;
        connHost = url.host;
        connPort = url.port;
        const std::int64_t deadline = nowMs() + owner.timing.connectLimitMs;
        int lastError = ECONNREFUSED;
        for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
            const int s = ::socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (s < 0) {
                lastError = errno;
                continue;
            }
            fd = s;  // from here Disconnect can release it
            if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) {
                return;
            }
            if (errno != EINPROGRESS) {
                lastError = errno;
                close();
                continue;
            }
            for (;;) {
                pollfd p{fd, POLLOUT, 0};
                const int ready = ::poll(&p, 1, owner.timing.connectSliceMs);
                if (ready == 0) {
                    idle();
                    if (fd < 0) {
                        throw notConnected();
                    }
                    if (nowMs() >= deadline) {
                        close();
                        throw HttpError(HttpErrorKind::ConnectTimedOut);
                    }
                    continue;
                }
                if (ready < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    lastError = errno;
                    close();
                    break;
                }
                int error = 0;
                socklen_t len = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
                if (error == 0) {
                    return;
                }
                lastError = error;
                close();
                break;
            }
        }
        throw socketError(lastError);
    }

    void sendAll(const char* data, std::size_t len) {
        while (len > 0) {
            if (fd < 0) {
                throw notConnected();
            }
            const ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                data += n;
                len -= static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // A server that stops reading must not freeze the window either.
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, owner.timing.idleSliceMs) == 0) {
                    idle();
                }
                continue;
            }
            if (n < 0 && errno == EPIPE) {
                throw notConnected();
            }
            throw socketError(n < 0 ? errno : EPIPE);
        }
    }

    std::string requestHead(const char* method, const Url& url, const FormDataBody* form) {
        const bool http10 = owner.protocolVersion == ProtocolVersion::Http10;
        RequestFields& request = owner.Request;
        if (http10 && request.Connection.empty()) {
            request.Connection = "keep-alive";
        }
        std::string head = std::string(method) + " " + url.requestUri +
                           (http10 ? " HTTP/1.0" : " HTTP/1.1") + "\r\n";
        // A server can fill the store with megabytes of cookies; building their
        // header must not freeze the window, so it is paced like a slow read.
        const auto pace = [this] {
            if (nowMs() - lastServiceMs >= owner.timing.idleSliceMs) {
                idle();
            }
        };
        const auto add = [&head, &pace](const char* name, const std::string& value) {
            if (!value.empty()) {
                head += FoldHeaderLine(std::string(name) + ": " + value, pace);
                head += "\r\n";
            }
        };
        add("Connection", request.Connection);
        add("Content-Type", request.ContentType);
        add("Content-Length", form ? std::to_string(form->contentLength()) : std::string());
        add("Cache-control", request.CacheControl);
        add("Pragma", request.Pragma);
        add("Host", url.hostHeader());
        add("Accept", request.Accept);
        add("User-Agent", request.UserAgent);
        add("Cookie",
            cookies.CookieHeaderFor(url.host, DirectoryPath(url.requestUri), false, pace));
        head += "\r\n";
        return head;
    }

    void sendRequest(const std::string& head, const FormDataBody* form) {
        sendAll(head.data(), head.size());
        if (form == nullptr) {
            return;
        }
        asWork(WorkMode::Write, static_cast<std::int64_t>(form->contentLength()), [&] {
            FormDataBodyReader reader(*form);
            std::vector<char> piece(kSendBufferSize);
            while (const std::size_t n = reader.read(piece.data(), piece.size())) {
                sendAll(piece.data(), n);
                workProgress(WorkMode::Write, n);
                if (fd < 0) {
                    throw notConnected();
                }
            }
            return 0;
        });
    }

    // ---- the response ----

    Response readResponseHead(const Url& url) {
        for (int interim = 0;; ++interim) {
            std::string line;
            switch (readLine(line, 0)) {
                case Wait::Data:
                    break;
                case Wait::Disconnected:
                    throw notConnected();
                default:
                    throw closedGracefully();
            }
            responseText = line;
            responseCode = ParseStatusCode(line);
            Response response;
            response.code = responseCode;
            std::size_t lines = 0;
            std::size_t bytes = 0;
            for (;;) {
                const Wait wait = readLine(line, 0);
                if (wait == Wait::PeerClosed) {
                    response.headersCut = true;
                    break;
                }
                if (wait != Wait::Data) {
                    throw notConnected();
                }
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
            response.transferEncoding = headerValue(response.headers, "Transfer-Encoding");
            // Chunked framing wins over any Content-Length, as every HTTP/1.1
            // reader agrees; lengths that disagree leave the body's end unknown.
            const bool framed =
                chunked(response) || AnnouncedLength(response.headers, response.contentLength);
            if (chunked(response)) {
                response.contentLength = -1;
            }
            try {
                cookies.TakeCookies(response.headers, url.host);
            } catch (const CookieStore::LimitExceeded&) {
                throw HttpError(HttpErrorKind::TooManyCookies);
            }
            if (!framed) {
                throw HttpError(HttpErrorKind::ConflictingLength);
            }
            if (response.code != 100) {
                return response;
            }
            if (interim >= kMaxInterimResponses) {
                throw HttpError(HttpErrorKind::TooManyInterimResponses);
            }
        }
    }

    bool allowsKeeping(const Response& response) const {
        if (fd < 0 || peerClosed) {
            return false;
        }
        const std::string connection = NormalisedToken(response.connection);
        const std::string proxy = NormalisedToken(response.proxyConnection);
        if (owner.protocolVersion == ProtocolVersion::Http10) {
            return connection == "keep-alive" || proxy == "keep-alive";
        }
        return connection != "close" && proxy != "close";
    }

    void readSuccessBody(const Response& response, OutputStream& stream, std::uint64_t start) {
        StreamSink sink(stream);
        // Only a length-announced read sizes the stream: enlarged up front, cut to
        // the bytes written at its end. Chunked and read-until-close bodies are
        // written from the position like any write and leave the rest alone.
        const bool announced = response.contentLength >= 1;
        if (announced) {
            const std::uint64_t target =
                start + std::min<std::uint64_t>(static_cast<std::uint64_t>(response.contentLength),
                                                kMaxPreallocateBytes);
            if (stream.size() < target) {
                guardedResize(stream, target);
            }
        }
        try {
            // A close before the announced length is a page cut short, not a
            // page; only Disconnect (the user's Stop) keeps the part that came.
            if (readBody(response, sink, 0) == BodyEnd::PeerClosed) {
                throw closedGracefully();
            }
        } catch (...) {
            if (announced) {
                try {
                    guardedResize(stream, start + sink.written);
                } catch (const HttpError&) {
                    // the read's own failure is the one worth reporting
                }
            }
            throw;
        }
        if (announced) {
            guardedResize(stream, start + sink.written);
        }
    }

    [[noreturn]] void failWith(const Response& response) {
        ErrorTextSink sink;
        BodyEnd end = BodyEnd::PeerClosed;
        try {
            end = readBody(response, sink, owner.timing.failureBodyLimitMs);
        } catch (const HttpError& e) {
            // A broken error body still leaves the failure itself to report;
            // one that stopped arriving does not.
            if (e.kind() == HttpErrorKind::ReadTimeout) {
                end = BodyEnd::Timeout;
            }
        }
        if (end == BodyEnd::Timeout) {
            throw HttpError(HttpErrorKind::ReadTimeout);
        }
        keepAllowed = end == BodyEnd::Complete && allowsKeeping(response);
        throw HttpProtocolError(response.code, responseText, sink.text);
    }

    void discardRedirectBody(const Response& response) {
        if (fd < 0) {
            return;
        }
        DiscardSink sink;
        BodyEnd end = BodyEnd::PeerClosed;
        try {
            end = readBody(response, sink, owner.timing.redirectBodyLimitMs);
        } catch (const HttpError&) {
            // Ignored: the redirect is followed all the same, on a new connection.
        }
        keepAllowed = end == BodyEnd::Complete && allowsKeeping(response);
    }

    void run(const char* method, const std::string& url, const FormDataBody* form,
             OutputStream& stream) {
        struct Busy {
            Impl& impl;
            explicit Busy(Impl& i) : impl(i) {
                impl.busy = true;
                impl.stopRequested = false;
                impl.lastServiceMs = nowMs();
            }
            ~Busy() { impl.busy = false; }
        } busyScope(*this);

        const std::uint64_t start = stream.position();
        try {
            checkUrlText(url);
            Url current = ParseUrl(url);
            for (int requests = 1;; ++requests) {
                if (current.scheme == "https") {
                    throw HttpError(HttpErrorKind::HttpsUnsupported);
                }
                if (current.scheme != "http") {
                    throw HttpError(HttpErrorKind::UnknownScheme);
                }
                if (stopRequested) {
                    throw notConnected();
                }
                // The request is prepared before the connection is chosen, so a
                // refused POST has set its Connection field all the same.
                const std::string head = requestHead(method, current, form);
                if (stopRequested) {
                    throw notConnected();
                }
                prepareConnection(current);
                sendRequest(head, form);
                const Response response = readResponseHead(current);
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
                    continue;
                }
                if (code >= 200 && code <= 299) {
                    if (response.headersCut) {
                        throw HttpError(HttpErrorKind::HeadersCutShort);
                    }
                    if (code != 204) {
                        readSuccessBody(response, stream, start);
                    }
                    keepAllowed = allowsKeeping(response);
                    break;
                }
                failWith(response);
            }
        } catch (...) {
            if (!keepAllowed) {
                close();
            }
            throw;
        }
        if (!keepAllowed) {
            close();
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
    impl_->run("GET", url, nullptr, stream);
}

std::string HttpClient::PostForm(const std::string& url, const FormDataBody& body) {
    impl_->refuseIfBusy();
    Request.ContentType = body.contentType();
    impl_->close();
    struct RestoreVersion {
        ProtocolVersion& version;
        ProtocolVersion saved;
        ~RestoreVersion() { version = saved; }
    } restore{protocolVersion, protocolVersion};
    protocolVersion = ProtocolVersion::Http10;
    // The reply is held whole in memory, so it is bounded.
    MemoryStream reply;
    BoundedStream bounded(reply, kMaxPostReplyBytes, "Response body too large.");
    impl_->run("POST", url, &body, bounded);
    return reply.data();
}

void HttpClient::Disconnect() {
    impl_->close();
    if (impl_->busy) {
        impl_->stopRequested = true;
    }
}

const std::string& HttpClient::ResponseText() const {
    return impl_->responseText;
}

int HttpClient::ResponseCode() const {
    return impl_->responseCode;
}

bool HttpClient::Connected() const {
    return impl_->fd >= 0;
}

bool HttpClient::Busy() const {
    return impl_->busy;
}

const CookieStore& HttpClient::Cookies() const {
    return impl_->cookies;
}

}  // namespace net
