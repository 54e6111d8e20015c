// Reading a body in its three framings, in pieces of the receive buffer, with
// the progress events each piece fires; chunked bodies fail on any framing
// they cannot trust.
#include "net/http_body_reader.h"

#include <algorithm>

#include "net/http_limits.h"
#include "net/http_parse.h"

namespace net {

void ErrorTextSink::put(const char* data, std::size_t len) {
    text.append(data, std::min(len, kMaxErrorTextBytes - text.size()));
}

void StreamSink::put(const char* data, std::size_t len) {
    OnCallersStream([&] { stream_.write(data, len); });
    written += len;
}

ReadEnd BodyReader::read(const BodyFraming& framing, BodySink& sink, int limitMs) {
    if (framing.chunked) {
        readChunked(sink, limitMs);
        return ReadEnd::Done;
    }
    if (framing.contentLength >= 1) {
        return readLength(sink, static_cast<std::uint64_t>(framing.contentLength), limitMs);
    }
    if (framing.contentLength < 0) {
        return readUntilClose(sink, limitMs);
    }
    return ReadEnd::Done;
}

void BodyReader::handOn(BodySink& sink, std::size_t count, bool progress) {
    sink.put(connection_.received(), count);
    connection_.consume(count);
    if (progress) {
        work_.progress(WorkMode::Read, count);
    }
}

ReadEnd BodyReader::readLength(BodySink& sink, std::uint64_t length, int limitMs) {
    return work_.during(WorkMode::Read, static_cast<std::int64_t>(length), [&] {
        std::uint64_t remaining = length;
        // The first piece is whatever arrived together with the header block.
        if (connection_.available() > 0) {
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>(connection_.available(), remaining));
            handOn(sink, n, true);
            remaining -= n;
        }
        while (remaining > 0) {
            if (!connection_.isOpen()) {
                return ReadEnd::Disconnected;
            }
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kReceiveBufferSize, remaining));
            while (connection_.available() < want) {
                const ReadEnd end = connection_.fill(limitMs);
                if (end != ReadEnd::Done) {
                    if (connection_.available() > 0) {
                        handOn(sink, connection_.available(), true);
                    }
                    return end;
                }
            }
            handOn(sink, want, true);
            remaining -= want;
        }
        return ReadEnd::Done;
    });
}

ReadEnd BodyReader::readUntilClose(BodySink& sink, int limitMs) {
    return work_.during(WorkMode::Read, 0, [&] {
        if (connection_.available() > 0) {
            handOn(sink, connection_.available(), true);
        }
        for (;;) {
            if (!connection_.isOpen()) {
                return ReadEnd::Disconnected;
            }
            while (connection_.available() < kReceiveBufferSize) {
                const ReadEnd end = connection_.fill(limitMs);
                if (end != ReadEnd::Done) {
                    // The remainder handed on at the close fires no progress event.
                    handOn(sink, connection_.available(), false);
                    return end == ReadEnd::PeerClosed ? ReadEnd::Done : end;
                }
            }
            handOn(sink, kReceiveBufferSize, true);
        }
    });
}

void BodyReader::readChunked(BodySink& sink, int limitMs) {
    std::string line;
    for (;;) {
        RequireDone(connection_.readLine(line, limitMs));
        std::uint64_t size = 0;
        if (!ParseChunkSize(line, size)) {
            throw HttpError(HttpErrorKind::InvalidChunkSize);
        }
        if (size == 0) {
            // The line after the last chunk; no trailer is read, and a server
            // that closes here has still sent a complete body.
            connection_.readLine(line, limitMs);
            return;
        }
        RequireDone(readLength(sink, size, limitMs));
        RequireDone(connection_.readLine(line, limitMs));  // the line end after the chunk data
    }
}

}  // namespace net
