// A ByteStream on a non-blocking TCP socket, and the connect that opens it.
#pragma once

#include <functional>
#include <string>

#include "net/byte_stream.h"
#include "net/http_limits.h"

namespace net {

class SocketStream final : public ByteStream {
public:
    SocketStream() = default;
    ~SocketStream() override;
    SocketStream(const SocketStream&) = delete;
    SocketStream& operator=(const SocketStream&) = delete;

    // Resolves host and tries its addresses in turn, calling idle after
    // every slice of the lookup and of each connect; idle may close this
    // stream, which ends the connect with "not connected". The connect limit
    // holds for the lookup and the connects together.
    void connect(const std::string& host, int port, const HttpTiming& timing,
                 const std::function<void()>& idle);

    bool isOpen() const override { return fd_ >= 0; }
    std::optional<std::size_t> read(char* data, std::size_t len) override;
    std::size_t write(const char* data, std::size_t len) override;
    bool waitReadable(int ms) override;
    bool waitWritable(int ms) override;
    bool peerGone() override;
    void close() override;

private:
    int fd_ = -1;
    // Set by close(): a close during the lookup, before there is a socket.
    bool closeAsked_ = false;
};

}  // namespace net
