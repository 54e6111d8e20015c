#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/demo_engine/loopback_tls.h"

namespace demo {

struct HttpRequest {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    // The body its Content-Length announced (at most kMaxRequestBody bytes).
    std::string body;

    // The first header of that name (compared without regard to case), or "".
    std::string header(const std::string& name) const;
};

struct HttpReply {
    int status = 200;
    std::string reason = "OK";
    std::string contentType = "text/html";
    std::string body;
    // When set, only this many body bytes are sent (the Content-Length still
    // announces the whole body), and the connection is then held open until
    // the client goes away: a download that a client has to stop.
    std::size_t stallAfter = kNoStall;

    static constexpr std::size_t kNoStall = static_cast<std::size_t>(-1);
};

using Handler = std::function<HttpReply(const HttpRequest&)>;

// Forms of the news service are a few hundred bytes; a request announcing a
// bigger body is no request of ours and ends its connection unanswered.
inline constexpr std::size_t kMaxRequestBody = 1024 * 1024;

// A small HTTP/1.1 server on 127.0.0.1 for demos, tests and benchmarks. It
// serves one connection at a time, with keep-alive, and answers every request
// through the handler with a Content-Length reply; over TLS when given a
// context.
class LoopbackServer {
public:
    // Binds 127.0.0.1:port (0: a free port). tls, when given, must outlive the
    // server. Throws std::runtime_error.
    LoopbackServer(Handler handler, std::uint16_t port = 0, const TlsServerContext* tls = nullptr);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string baseUrl() const {
        return (tls_ != nullptr ? "https://127.0.0.1:" : "http://127.0.0.1:") +
               std::to_string(port_);
    }

    // Serves until stop becomes true (looked at every 100 ms).
    void Serve(const std::atomic<bool>& stop);

    // Serves on a thread of its own until Stop() or destruction.
    void Start();
    void Stop();

    // Every request received so far, in order.
    std::vector<HttpRequest> requests() const;

private:
    void ServeConnection(int fd, const std::atomic<bool>& stop);

    Handler handler_;
    const TlsServerContext* tls_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopThread_{false};
    std::thread thread_;
    mutable std::mutex requestsLock_;
    std::vector<HttpRequest> requests_;
};

// Sends all of data on a blocking socket, without SIGPIPE; false when the
// peer has gone.
bool SendAll(int fd, const char* data, std::size_t len);

}  // namespace demo
