#pragma once

#include <cstddef>
#include <cstdint>

// Sizes and times of the HTTP client. The first group is the client's fixed
// profile; the second bounds what a server could otherwise grow without end.
namespace net {

// Longest status, header or chunk-size line accepted (without its line end).
inline constexpr std::size_t kMaxLineLength = 16384;
// Largest piece handed on from the socket to a body at a time.
inline constexpr std::size_t kReceiveBufferSize = 32768;
// Largest piece of a request body written at a time.
inline constexpr std::size_t kSendBufferSize = 32768;
// Requests per operation: at most one less redirects are followed, and a
// redirect answering the last request fails the operation.
inline constexpr int kRedirectMaximum = 15;
// A request header line longer than this is folded onto continuation lines.
inline constexpr std::size_t kFoldLength = 1024;

// Header lines in one header block, continuation lines included. Honest servers
// send a few dozen; the bound keeps a server that streams header lines from
// holding the client in the header loop forever.
inline constexpr std::size_t kMaxHeaderLines = 1000;
// Bytes of one header block. A thousand full-length lines would be 16 MiB; real
// blocks stay under a few KiB, so 1 MiB is generous and keeps memory small.
inline constexpr std::size_t kMaxHeaderBlockBytes = 1024 * 1024;
// Interim 100 responses skipped before the final one. One is normal; a server
// sending them without end would otherwise keep the client reading forever.
inline constexpr int kMaxInterimResponses = 20;
// The reply text of a PostForm is held in memory whole. News replies are a few
// KiB; 16 MiB is far beyond any and still harmless to hold.
inline constexpr std::uint64_t kMaxPostReplyBytes = 16 * 1024 * 1024;
// Bytes of a failure response's body kept as the error's text. Error pages are
// small; the rest is read and dropped so the connection stays in step.
inline constexpr std::size_t kMaxErrorTextBytes = 1024 * 1024;
// A Content-Length is only the server's claim. The stream is enlarged up front
// by at most this much, so a lying header cannot make us allocate memory or
// reserve disk for bytes that never arrive; beyond it the writes enlarge it.
inline constexpr std::uint64_t kMaxPreallocateBytes = 16 * 1024 * 1024;

// Waiting times in milliseconds. The product keeps these values; tests shorten
// the read limits through HttpClient::timing.
struct HttpTiming {
    int idleSliceMs = 250;           // wait for data between idle callbacks
    int connectSliceMs = 125;        // wait for a connect between idle callbacks
    int connectLimitMs = 120000;     // give up connecting
    int redirectBodyLimitMs = 4000;  // no data while reading a redirect's body
    int failureBodyLimitMs = 2000;   // no data while reading a failure's body
    // No byte received or sent for this long fails the request with
    // NoProgressTimeout: a server that accepts and then says nothing, or
    // stops halfway, must not hold a harvest or the window's buttons forever.
    // A minute is far beyond any engine's pause; 0 waits without end.
    int noProgressLimitMs = 60000;
};

}  // namespace net
