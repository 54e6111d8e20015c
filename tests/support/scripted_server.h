#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/demo_engine/loopback_tls.h"

namespace testsupport {

// One step of what the server does on a connection.
struct Step {
    enum class Kind { AwaitRequest, Send, SendHalfRecord, Delay, Close, CloseWithoutNotify };
    Kind kind;
    std::string bytes;  // Send, SendHalfRecord
    int ms = 0;         // Delay

    // Reads one whole request: the header block and as many body bytes as its
    // Content-Length names. Everything read is recorded.
    static Step AwaitRequest() { return {Kind::AwaitRequest, {}, 0}; }
    static Step Send(std::string bytes) { return {Kind::Send, std::move(bytes), 0}; }
    static Step Delay(int ms) { return {Kind::Delay, {}, ms}; }
    // Closes the connection now (the rest of the script is not played); over
    // TLS after a close_notify.
    static Step Close() { return {Kind::Close, {}, 0}; }
    // Over TLS: closes without close_notify, as many servers do. In the clear
    // the same as Close.
    static Step CloseWithoutNotify() { return {Kind::CloseWithoutNotify, {}, 0}; }
    // Over TLS: sends the first half of the records that carry bytes, and
    // never the rest. In the clear: the first half of bytes.
    static Step SendHalfRecord(std::string bytes) {
        return {Kind::SendHalfRecord, std::move(bytes), 0};
    }
};

using Script = std::vector<Step>;

// The common script: wait for the request, answer with these bytes, close.
Script Reply(std::string response);
// Wait for the request, answer, keep the connection open for the next request.
Script ReplyKeepOpen(std::string response);

// A loopback server that plays one script per accepted connection (the n-th
// connection plays scripts[n]; connections beyond the list play the last
// script) and records every byte it receives, per connection. A script that
// ends without Close keeps reading (and recording) until the client closes.
// Everything stops and joins in the destructor; Delay steps are cut short then.
// With a TLS context every connection first completes a handshake (one that
// fails ends the connection unplayed); the script then deals in plain bytes.
class ScriptedServer {
public:
    // tls, when given, must outlive the server.
    explicit ScriptedServer(std::vector<Script> scripts,
                            const demo::TlsServerContext* tls = nullptr);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" + path, or "https://..." over TLS.
    std::string url(const std::string& path = "/") const;
    // "127.0.0.1:<port>", the Host header the client sends.
    std::string hostHeader() const;

    std::size_t connectionCount() const;
    // The raw bytes received on connection index so far ("" if it never came).
    std::string received(std::size_t index) const;
    // Every connection's bytes, joined in connection order.
    std::string allReceived() const;

private:
    class Link;

    void acceptLoop();
    void play(int fd, std::size_t index);
    bool awaitRequest(Link& link, std::size_t index);
    bool readSome(Link& link, std::size_t index, int timeoutMs);
    bool sleepFor(int ms);

    std::vector<Script> scripts_;
    const demo::TlsServerContext* tls_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> received_;
    std::vector<std::size_t> requestEnd_;  // per connection: where the next request starts
    std::vector<std::thread> threads_;
    std::thread acceptThread_;
};

// A listener on 127.0.0.1 that never accepts and whose queue is already full,
// so a further connect neither succeeds nor fails: it waits.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;
    std::string url(const std::string& path = "/") const;

private:
    int listenFd_ = -1;
    int fillerFd_ = -1;
    std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
std::uint16_t UnusedPort();

// A response with Content-Length: status line, the extra header lines (each
// ending in CRLF), the length header and the body.
std::string HttpResponse(const std::string& status, const std::string& body,
                         const std::string& extraHeaders = "");
// A chunked response; each element of chunks becomes one chunk.
std::string ChunkedResponse(const std::string& status, const std::vector<std::string>& chunks,
                            const std::string& extraHeaders = "");

}  // namespace testsupport
