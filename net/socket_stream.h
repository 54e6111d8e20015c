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

    // Resolves host and tries its addresses in turn. Resolving blocks; the
    // connect calls idle after every connect slice, and idle may close this
    // stream, which ends the connect with "not connected".
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
};

}  // namespace net
