// The socket under an HTTP connection: resolving, connecting in slices that
// keep the window serviced, and the plain non-blocking reads, writes and waits
// that the connection builds on.
#include "net/socket_stream.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "net/host_lookup.h"
#include "net/http_error.h"

namespace net {

namespace {

HttpError socketError(int number) {
    return SocketFailure(number, std::strerror(number));
}

}  // namespace

SocketStream::~SocketStream() {
    close();
}

void SocketStream::connect(const std::string& host, int port, const HttpTiming& timing,
                           const std::function<void()>& idle) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timing.connectLimitMs);
    closeAsked_ = false;
    const AddressList found = LookupStreamAddresses(
        host, port,
        {.deadline = deadline, .sliceMs = timing.connectSliceMs, .idle = idle, .cancelled = [this] {
             return closeAsked_;
         }});

    int lastError = ECONNREFUSED;
    for (const addrinfo* ai = found.get(); ai != nullptr; ai = ai->ai_next) {
        const int s = ::socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (s < 0) {
            lastError = errno;
            continue;
        }
        fd_ = s;  // from here Disconnect can release it
        if (::connect(fd_, ai->ai_addr, ai->ai_addrlen) == 0) {
            return;
        }
        if (errno != EINPROGRESS) {
            lastError = errno;
            close();
            continue;
        }
        for (;;) {
            pollfd p{fd_, POLLOUT, 0};
            const int ready = ::poll(&p, 1, timing.connectSliceMs);
            if (ready == 0) {
                idle();
                if (fd_ < 0) {
                    throw HttpError(HttpErrorKind::NotConnected);
                }
                if (std::chrono::steady_clock::now() >= deadline) {
                    close();
                    throw HttpError(HttpErrorKind::ConnectTimedOut);
                }
                continue;
            }
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                lastError = errno;
                close();
                break;
            }
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len);
            if (error == 0) {
                return;
            }
            lastError = error;
            close();
            break;
        }
    }
    throw socketError(lastError);
}

std::optional<std::size_t> SocketStream::read(char* data, std::size_t len) {
    for (;;) {
        const ssize_t n = ::recv(fd_, data, len, MSG_DONTWAIT);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return std::nullopt;
        }
        throw socketError(errno);
    }
}

std::size_t SocketStream::write(const char* data, std::size_t len) {
    for (;;) {
        const ssize_t n = ::send(fd_, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            return static_cast<std::size_t>(n);
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return 0;
        }
        if (n < 0 && errno == EPIPE) {
            throw HttpError(HttpErrorKind::NotConnected);
        }
        throw socketError(n < 0 ? errno : EPIPE);
    }
}

bool SocketStream::waitReadable(int ms) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, ms);
    if (ready < 0 && errno != EINTR) {
        throw socketError(errno);
    }
    return ready != 0;
}

bool SocketStream::waitWritable(int ms) {
    pollfd p{fd_, POLLOUT, 0};
    return ::poll(&p, 1, ms) != 0;
}

bool SocketStream::peerGone() {
    // A close the kernel has already seen shows at once; waiting for one that
    // has not arrived would only slow every reused connection.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) {
        return false;
    }
    char probe;
    const ssize_t n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    return (p.revents & (POLLERR | POLLHUP)) != 0 || n == 0 ||
           (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

void SocketStream::close() {
    closeAsked_ = true;
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_WR);
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace net
