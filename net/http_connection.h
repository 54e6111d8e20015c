// One connection to a server and the bytes received on it that are not yet
// handed on: connecting (directly, through a proxy, through a CONNECT tunnel;
// in the clear or with TLS) and reusing, waiting for bytes, lines, and
// sending. It reads and writes through a ByteStream only.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/byte_stream.h"
#include "net/http_events.h"
#include "net/proxy_env.h"
#include "net/url.h"

namespace net {

// How a read ended: with what it asked for, or short of it.
enum class ReadEnd { Done, PeerClosed, Disconnected, Timeout };

// Returns on Done; otherwise throws the failure that a read ending short of
// what it needed reports.
void RequireDone(ReadEnd end);

// The Proxy-Authorization value for a proxy with credentials: "Basic " and
// user:password in base64.
std::string ProxyAuthorization(const ProxyServer& proxy);

class HttpConnection {
public:
    explicit HttpConnection(IdleService& idle);
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    bool isOpen() const { return stream_ && stream_->isOpen(); }
    // Open, and the server has not closed its side.
    bool reusable() const { return isOpen() && !peerClosed_; }

    // Keeps the open connection when it goes to url's scheme, host and port
    // by the same proxy (or none), was kept after the last response and is
    // still open at the server; otherwise connects anew: to the proxy when
    // there is one, through a CONNECT tunnel for https, then TLS for https.
    // Either way the connection is not kept again until keepForNext says so.
    void prepareFor(const Url& url, const std::optional<ProxyServer>& proxy);
    // Whether prepareFor kept the connection of an earlier request, and
    // whether any byte has arrived on it since: a kept connection that the
    // server closed at the very moment it was reused fails before its first
    // byte, and only then is the request safe to send again.
    bool reused() const { return reused_; }
    bool receivedSincePrepare() const { return receivedSincePrepare_; }
    void keepForNext(bool keep) { keep_ = keep; }
    bool keptForNext() const { return keep_; }
    // Safe when closed already and from handlers inside any wait.
    void close();

    // Waits for more bytes. limitMs > 0 ends the wait after that much time
    // without data. Every idle slice without data services the window.
    ReadEnd fill(int limitMs);
    // One line without its line end (LF, with a CR before it removed).
    ReadEnd readLine(std::string& line, int limitMs);
    // The bytes received and not yet handed on.
    const char* received() const { return buffer_.data() + begin_; }
    std::size_t available() const { return end_ - begin_; }
    void consume(std::size_t count) { begin_ += count; }

    void sendAll(const char* data, std::size_t len);

private:
    void connect(const Url& url, const std::optional<ProxyServer>& proxy);
    void openTunnel(const Url& url, const ProxyServer& proxy);

    IdleService& idle_;
    // Stays until the next connect even when closed: Disconnect may close it
    // from inside one of its own waits.
    std::unique_ptr<ByteStream> stream_;
    std::string scheme_;
    std::string host_;
    int port_ = 0;
    std::optional<ProxyServer> proxy_;
    bool peerClosed_ = false;
    bool keep_ = false;
    bool reused_ = false;
    bool receivedSincePrepare_ = false;
    std::vector<char> buffer_;  // received, not yet handed on: [begin_, end_)
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

}  // namespace net
