// The body of a response as its header block frames it (a length, chunks, or
// everything up to the close), read from the connection into a sink; and the
// sinks: nowhere, an error text, the caller's stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "net/http_connection.h"
#include "net/http_error.h"
#include "net/http_events.h"
#include "net/stream.h"

namespace net {

struct BodyFraming {
    bool chunked = false;
    std::int64_t contentLength = -1;  // -1: none that counts
};

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
    void put(const char* data, std::size_t len) override;
    std::string text;
};

// Runs a call on the caller's stream. The stream's own failures (a full disk, a
// bound) end the operation as client errors, so callers that catch HttpError
// see them too.
template <class Call>
void OnCallersStream(Call&& call) {
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
    void put(const char* data, std::size_t len) override;
    std::uint64_t written = 0;

private:
    OutputStream& stream_;
};

class BodyReader {
public:
    BodyReader(HttpConnection& connection, WorkEvents& work)
        : connection_(connection), work_(work) {}

    // Done when the body is complete. A body framed by length ends short with
    // the connection's end; one read up to the close counts the close as Done.
    // limitMs > 0 ends a wait for data after that much time without.
    ReadEnd read(const BodyFraming& framing, BodySink& sink, int limitMs);

private:
    ReadEnd readLength(BodySink& sink, std::uint64_t length, int limitMs);
    ReadEnd readUntilClose(BodySink& sink, int limitMs);
    void readChunked(BodySink& sink, int limitMs);
    void handOn(BodySink& sink, std::size_t count, bool progress);

    HttpConnection& connection_;
    WorkEvents& work_;
};

}  // namespace net
