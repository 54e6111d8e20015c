#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A loopback HTTP proxy that records what clients send it. A request with an
// absolute URI is passed on to the origin it names, with the path alone in its
// request line (later requests on the same connection go on unchanged);
// CONNECT host:port opens a tunnel there after "200 Connection established",
// or is answered with the refusal given to the constructor. Origins must be
// on this machine.
class RecordingProxy {
public:
    // refusal: the whole reply to every CONNECT; empty to tunnel.
    explicit RecordingProxy(std::string refusal = "");
    ~RecordingProxy();
    RecordingProxy(const RecordingProxy&) = delete;
    RecordingProxy& operator=(const RecordingProxy&) = delete;

    std::uint16_t port() const { return port_; }
    // "127.0.0.1:<port>"
    std::string hostPort() const;
    std::size_t connectionCount() const;
    // What the client sent on connection index: for a tunnel only the
    // CONNECT head, for a passed-on request everything.
    std::string received(std::size_t index) const;

private:
    void acceptLoop();
    void serve(int client, std::size_t index);
    void record(std::size_t index, const char* data, std::size_t len);
    void relay(int client, int origin, std::size_t index, bool recordClient);

    std::string refusal_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    std::vector<std::thread> threads_;
    std::thread acceptThread_;
};

}  // namespace testsupport
