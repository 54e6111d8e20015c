// TLS (OpenSSL) as a ByteStream over another ByteStream: the HTTP reader and
// writer above it stay the same for http and https, and the stream below may
// be a plain socket or a tunnel through a proxy.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "net/byte_stream.h"
#include "net/http_error.h"
#include "net/http_limits.h"

struct ssl_st;

namespace net {

class TlsStream final : public ByteStream {
public:
    // host is the name or address the certificate must be for (as in the
    // URL, brackets of an IPv6 literal allowed); failures name it.
    TlsStream(std::unique_ptr<ByteStream> lower, std::string host);
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // Verifies the server against the system's CA store and ZORVANE_CA_FILE.
    // Calls idle after every connect slice without progress; idle may close
    // this stream, which ends the handshake with "not connected". Gives up
    // after the connect limit. Throws HttpError.
    void handshake(const HttpTiming& timing, const std::function<void()>& idle);

    bool isOpen() const override { return lower_->isOpen(); }
    std::optional<std::size_t> read(char* data, std::size_t len) override;
    std::size_t write(const char* data, std::size_t len) override;
    bool waitReadable(int ms) override;
    bool waitWritable(int ms) override;
    bool peerGone() override;
    // Sends close_notify when the connection is whole, without waiting.
    void close() override;

private:
    friend struct LowerBio;

    // What an SSL call that returned `result` means: true to wait in the
    // direction it asks for, false when the peer has ended the connection;
    // throws on a failure.
    bool mustWait(int result);
    [[noreturn]] void fail(HttpErrorKind kind, const std::string& reason);
    // A failure of the stream below is that failure, whatever OpenSSL made of it.
    void rethrowLowerFailure();
    bool wait(int ms);

    std::unique_ptr<ByteStream> lower_;
    std::string host_;
    ssl_st* ssl_ = nullptr;
    bool established_ = false;
    bool broken_ = false;                // no close_notify may follow
    bool lowerEnded_ = false;            // the stream below reported its end
    bool peerEnded_ = false;             // by close_notify, or a close at a record boundary
    bool wantsWrite_ = false;            // the last call waits for room to write, not for bytes
    std::exception_ptr lowerFailure_;    // thrown below, held across OpenSSL's C frames
    std::exception_ptr pendingFailure_;  // met after bytes that were handed on first
};

}  // namespace net
