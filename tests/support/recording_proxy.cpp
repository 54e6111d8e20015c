#include "tests/support/recording_proxy.h"
#include "tools/demo_engine/loopback_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport {

namespace {

constexpr int kPollMs = 10;

// Connects to "host:port" ("[v6]:port" too); -1 when it cannot.
int connectTo(const std::string& authority) {
    const auto colon = authority.rfind(':');
    if (colon == std::string::npos) {
        return -1;
    }
    std::string host = authority.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[') {
        host = host.substr(1, host.size() - 2);
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), authority.substr(colon + 1).c_str(), &hints, &found) != 0) {
        return -1;
    }
    int fd = -1;
    for (addrinfo* ai = found; ai != nullptr && fd < 0; ai = ai->ai_next) {
        fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

}  // namespace

RecordingProxy::RecordingProxy(std::string refusal) : refusal_(std::move(refusal)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("RecordingProxy cannot listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

RecordingProxy::~RecordingProxy() {
    stop_ = true;
    acceptThread_.join();
    for (auto& thread : threads_) {
        thread.join();
    }
    ::close(listenFd_);
}

std::string RecordingProxy::hostPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::size_t RecordingProxy::connectionCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
}

std::string RecordingProxy::received(std::size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return index < received_.size() ? received_[index] : std::string();
}

void RecordingProxy::record(std::size_t index, const char* data, std::size_t len) {
    std::lock_guard<std::mutex> lock(mutex_);
    received_[index].append(data, len);
}

void RecordingProxy::acceptLoop() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) {
            continue;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::size_t index;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            index = received_.size();
            received_.emplace_back();
        }
        threads_.emplace_back([this, fd, index] {
            serve(fd, index);
            ::close(fd);
        });
    }
}

void RecordingProxy::serve(int client, std::size_t index) {
    std::string head;
    char buffer[16384];
    while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd p{client, POLLIN, 0};
        if (stop_) {
            return;
        }
        if (::poll(&p, 1, kPollMs) <= 0) {
            continue;
        }
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        head.append(buffer, static_cast<std::size_t>(n));
    }
    const auto headEnd = head.find("\r\n\r\n") + 4;
    const auto space = head.find(' ');
    const std::string method = head.substr(0, space);
    const std::string target = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
    if (method == "CONNECT") {
        record(index, head.data(), headEnd);
        if (!refusal_.empty()) {
            demo::SendAll(client, refusal_.data(), refusal_.size());
            return;
        }
        const int origin = connectTo(target);
        const std::string answer = origin >= 0
                                       ? "HTTP/1.1 200 Connection established\r\n\r\n"
                                       : "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n";
        if (!demo::SendAll(client, answer.data(), answer.size()) || origin < 0 ||
            !demo::SendAll(origin, head.data() + headEnd, head.size() - headEnd)) {
            if (origin >= 0) {
                ::close(origin);
            }
            return;
        }
        relay(client, origin, index, false);
        ::close(origin);
        return;
    }
    // "http://host:port/path": the origin is what stands between the scheme
    // and the path.
    record(index, head.data(), head.size());
    const auto hostStart = target.find("://");
    if (hostStart == std::string::npos) {
        return;
    }
    std::string authority = target.substr(hostStart + 3);
    authority = authority.substr(0, authority.find('/'));
    if (authority.find(':') == std::string::npos || authority.back() == ']') {
        authority += ":80";
    }
    const int origin = connectTo(authority);
    if (origin < 0) {
        return;
    }
    // The origin gets the request as a direct client sends it, with only the
    // path in the request line, as proxies pass it on.
    const auto pathStart = target.find('/', hostStart + 3);
    std::string forwarded = head;
    forwarded.replace(space + 1, target.size(),
                      pathStart == std::string::npos ? "/" : target.substr(pathStart));
    if (demo::SendAll(origin, forwarded.data(), forwarded.size())) {
        relay(client, origin, index, true);
    }
    ::close(origin);
}

void RecordingProxy::relay(int client, int origin, std::size_t index, bool recordClient) {
    char buffer[16384];
    while (!stop_) {
        pollfd p[2] = {{client, POLLIN, 0}, {origin, POLLIN, 0}};
        if (::poll(p, 2, kPollMs) <= 0) {
            continue;
        }
        for (int side = 0; side < 2; ++side) {
            if (p[side].revents == 0) {
                continue;
            }
            const ssize_t n = ::recv(p[side].fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return;
            }
            if (side == 0 && recordClient) {
                record(index, buffer, static_cast<std::size_t>(n));
            }
            if (!demo::SendAll(p[1 - side].fd, buffer, static_cast<std::size_t>(n))) {
                return;
            }
        }
    }
}

}  // namespace testsupport
