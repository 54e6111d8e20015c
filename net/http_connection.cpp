// The connection under an operation: which one to use and how it is opened,
// the receive buffer with its waits and lines, and sending; the socket and
// TLS sit behind ByteStream.
#include "net/http_connection.h"

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "net/http_error.h"
#include "net/http_limits.h"
#include "net/http_parse.h"
#include "net/socket_stream.h"
#include "net/tls_stream.h"
#include "util/ascii.h"

namespace net {

namespace {

// Room for one full-length line with its line end, and for a whole receive
// piece beside bytes not yet handed on.
constexpr std::size_t kReadBufferCapacity = 2 * kReceiveBufferSize;
static_assert(kReadBufferCapacity > kMaxLineLength + 2);

using Clock = std::chrono::steady_clock;

// The no-progress limit as a deadline from `since`; none when it is 0.
std::optional<Clock::time_point> noProgressDeadline(const HttpTiming& timing,
                                                    Clock::time_point since) {
    if (timing.noProgressLimitMs <= 0) {
        return std::nullopt;
    }
    return since + std::chrono::milliseconds(timing.noProgressLimitMs);
}

// Thrown once the deadline has passed; the text names the limit as set.
void failPastDeadline(const HttpTiming& timing, const std::optional<Clock::time_point>& deadline) {
    if (!deadline || Clock::now() < *deadline) {
        return;
    }
    const int ms = timing.noProgressLimitMs;
    throw HttpError(HttpErrorKind::NoProgressTimeout,
                    ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms");
}

}  // namespace

void RequireDone(ReadEnd end) {
    switch (end) {
        case ReadEnd::Done:
            return;
        case ReadEnd::PeerClosed:
            throw HttpError(HttpErrorKind::ClosedGracefully);
        case ReadEnd::Disconnected:
            throw HttpError(HttpErrorKind::NotConnected);
        case ReadEnd::Timeout:
            throw HttpError(HttpErrorKind::ReadTimeout);
    }
}

std::string ProxyAuthorization(const ProxyServer& proxy) {
    const std::string credentials = proxy.user + ":" + proxy.password;
    std::string encoded(4 * ((credentials.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                  reinterpret_cast<const unsigned char*>(credentials.data()),
                                  static_cast<int>(credentials.size()));
    encoded.resize(static_cast<std::size_t>(n));
    return "Basic " + encoded;
}

HttpConnection::HttpConnection(IdleService& idle) : idle_(idle), buffer_(kReadBufferCapacity) {}

void HttpConnection::prepareFor(const Url& url, const std::optional<ProxyServer>& proxy) {
    if (isOpen() && (scheme_ != url.scheme || !util::EqualsNoCase(host_, url.host) ||
                     port_ != url.port || proxy_ != proxy)) {
        close();
    }
    if (isOpen() && (!keep_ || peerClosed_)) {
        close();
    }
    // Has the server closed the kept connection meanwhile?
    if (isOpen() && stream_->peerGone()) {
        close();
    }
    keep_ = false;
    reused_ = isOpen();
    receivedSincePrepare_ = false;
    if (!reused_) {
        connect(url, proxy);
    }
}

void HttpConnection::connect(const Url& url, const std::optional<ProxyServer>& proxy) {
    auto socket = std::make_unique<SocketStream>();
    SocketStream& opening = *socket;
    stream_ = std::move(socket);
    begin_ = end_ = 0;
    peerClosed_ = false;
    scheme_ = url.scheme;
    host_ = url.host;
    port_ = url.port;
    proxy_ = proxy;
    const auto idle = [this] { idle_.now(); };
    if (proxy) {
        opening.connect(proxy->connectHost(), proxy->port, idle_.timing(), idle);
    } else {
        opening.connect(url.connectHost(), url.port, idle_.timing(), idle);
    }
    if (url.scheme != "https") {
        return;
    }
    if (proxy) {
        openTunnel(url, *proxy);
    }
    // The socket lives on inside the TLS stream, so a Disconnect from a wait
    // of the handshake still reaches it.
    auto tls = std::make_unique<TlsStream>(std::move(stream_), url.host);
    TlsStream& securing = *tls;
    stream_ = std::move(tls);
    securing.handshake(idle_.timing(), idle);
}

void HttpConnection::openTunnel(const Url& url, const ProxyServer& proxy) {
    const std::string target = url.host + ":" + std::to_string(url.port);
    std::string head = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
    if (proxy.hasCredentials()) {
        head += "Proxy-Authorization: " + ProxyAuthorization(proxy) + "\r\n";
    }
    head += "\r\n";
    sendAll(head.data(), head.size());

    // The proxy's answer belongs to connecting: it gets the connect limit.
    const int limitMs = idle_.timing().connectLimitMs;
    const auto require = [&](ReadEnd end) {
        if (end == ReadEnd::Timeout) {
            throw HttpError(HttpErrorKind::ConnectTimedOut);
        }
        if (end == ReadEnd::PeerClosed) {
            throw HttpError(HttpErrorKind::ProxyRefused,
                            target + ": the proxy closed the connection");
        }
        RequireDone(end);
    };
    std::string status;
    require(readLine(status, limitMs));
    const int code = ParseStatusCode(status);
    if (code < 200 || code > 299) {
        throw HttpError(HttpErrorKind::ProxyRefused, target + ": " + status);
    }
    std::string line;
    for (std::size_t lines = 0;; ++lines) {
        require(readLine(line, limitMs));
        if (line.empty()) {
            break;
        }
        if (lines >= kMaxHeaderLines) {
            throw HttpError(HttpErrorKind::HeaderBlockTooLarge);
        }
    }
    // The server speaks only after our hello, so nothing of its can be here:
    // whatever a proxy sent beyond its answer is not part of the tunnel.
    begin_ = end_ = 0;
}

void HttpConnection::close() {
    if (stream_) {
        stream_->close();
    }
    keep_ = false;
}

ReadEnd HttpConnection::fill(int limitMs) {
    if (!isOpen()) {
        return ReadEnd::Disconnected;
    }
    if (peerClosed_) {
        return ReadEnd::PeerClosed;
    }
    if (begin_ == end_) {
        begin_ = end_ = 0;
    } else if (begin_ > 0 && buffer_.size() - end_ < kReceiveBufferSize) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, available());
        end_ -= begin_;
        begin_ = 0;
    }
    int waited = 0;
    // Only a wait without a limit of its own has the no-progress limit: the
    // short limits of redirect and failure bodies end in Timeout, as before.
    const std::optional<Clock::time_point> deadline =
        limitMs > 0 ? std::nullopt : noProgressDeadline(idle_.timing(), Clock::now());
    for (;;) {
        const std::size_t room = std::min(buffer_.size() - end_, kReceiveBufferSize);
        if (const auto n = stream_->read(buffer_.data() + end_, room)) {
            if (*n == 0) {
                peerClosed_ = true;
                return ReadEnd::PeerClosed;
            }
            end_ += *n;
            receivedSincePrepare_ = true;
            idle_.whenDue();
            return ReadEnd::Done;
        }
        // Checked on the clock, not by slices, and only after a read found
        // nothing: a stream that wakes without giving a byte (a TLS record
        // that never completes) makes no progress either, and bytes that came
        // while a handler of the idle callback held the thread still count.
        failPastDeadline(idle_.timing(), deadline);
        if (!stream_->waitReadable(idle_.timing().idleSliceMs)) {
            idle_.now();
            if (!isOpen()) {
                return ReadEnd::Disconnected;
            }
            waited += idle_.timing().idleSliceMs;
            if (limitMs > 0 && waited >= limitMs) {
                return ReadEnd::Timeout;
            }
        }
    }
}

ReadEnd HttpConnection::readLine(std::string& line, int limitMs) {
    for (;;) {
        const char* start = received();
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', available()));
        if (lf != nullptr) {
            std::size_t len = static_cast<std::size_t>(lf - start);
            begin_ += len + 1;
            if (len > 0 && start[len - 1] == '\r') {
                --len;
            }
            if (len > kMaxLineLength) {
                throw HttpError(HttpErrorKind::LineTooLong);
            }
            line.assign(start, len);
            return ReadEnd::Done;
        }
        if (available() > kMaxLineLength + 1) {
            throw HttpError(HttpErrorKind::LineTooLong);
        }
        const ReadEnd end = fill(limitMs);
        if (end != ReadEnd::Done) {
            return end;
        }
    }
}

void HttpConnection::sendAll(const char* data, std::size_t len) {
    std::optional<Clock::time_point> deadline = noProgressDeadline(idle_.timing(), Clock::now());
    while (len > 0) {
        if (!isOpen()) {
            throw HttpError(HttpErrorKind::NotConnected);
        }
        const std::size_t n = stream_->write(data, len);
        if (n > 0) {
            data += n;
            len -= n;
            deadline = noProgressDeadline(idle_.timing(), Clock::now());
            continue;
        }
        // A server that stops reading must not hold the request forever...
        failPastDeadline(idle_.timing(), deadline);
        // ... nor freeze the window meanwhile.
        if (!stream_->waitWritable(idle_.timing().idleSliceMs)) {
            idle_.now();
        }
    }
}

}  // namespace net
