// The bytes under the HTTP reader and writer. Nothing above this interface
// knows what carries them: a plain socket (SocketStream), or TLS over one
// (TlsStream), which is itself a ByteStream over another.
#pragma once

#include <cstddef>
#include <optional>

namespace net {

// Reads and writes return at once; the waits are separate calls with a time
// limit, so that the caller can service its window between them. Failures
// throw HttpError.
class ByteStream {
public:
    virtual ~ByteStream() = default;

    virtual bool isOpen() const = 0;
    // What has arrived, up to len bytes: the count; 0 when the peer has closed;
    // nothing when no byte is there yet.
    virtual std::optional<std::size_t> read(char* data, std::size_t len) = 0;
    // What the peer takes now, up to len bytes: the count; 0 when it takes none yet.
    virtual std::size_t write(const char* data, std::size_t len) = 0;
    // Wait at most ms for bytes to read or for room to write: false when the
    // time passed without, true otherwise (also after an interruption, which
    // the caller treats like a wake-up and tries again).
    virtual bool waitReadable(int ms) = 0;
    virtual bool waitWritable(int ms) = 0;
    // Whether the peer has closed or broken the connection, as far as can be
    // told without waiting. Bytes that arrived stay unread.
    virtual bool peerGone() = 0;
    // Safe when closed already.
    virtual void close() = 0;
};

}  // namespace net
