// Whole responses through the client: a loopback server thread answers every
// request with the current input and closes.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "net/http_client.h"

namespace {

std::mutex gMutex;
std::string gResponse;
int gPort = 0;

void serve(int listenFd) {
    for (;;) {
        const int c = ::accept(listenFd, nullptr, nullptr);
        if (c < 0) {
            continue;
        }
        char buffer[4096];
        std::string request;
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(n));
        }
        std::string response;
        {
            std::lock_guard<std::mutex> lock(gMutex);
            response = gResponse;
        }
        ::send(c, response.data(), response.size(), MSG_NOSIGNAL);
        ::shutdown(c, SHUT_WR);
        ::close(c);
    }
}

void startServer() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, 16);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    gPort = ntohs(addr.sin_port);
    std::thread(serve, fd).detach();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (gPort == 0) {
        startServer();
    }
    {
        std::lock_guard<std::mutex> lock(gMutex);
        gResponse.assign(reinterpret_cast<const char*>(data), size);
    }
    net::HttpClient client;
    // Redirects all come back here; short waits keep each input quick.
    client.timing.idleSliceMs = 5;
    client.timing.redirectBodyLimitMs = 10;
    client.timing.failureBodyLimitMs = 10;
    int idle = 0;
    client.onIdle = [&] {
        if (++idle > 20) {
            client.Disconnect();
        }
    };
    net::MemoryStream stream;
    try {
        client.GetToStream("http://127.0.0.1:" + std::to_string(gPort) + "/", stream);
    } catch (const net::HttpError&) {
    }
    return 0;
}
