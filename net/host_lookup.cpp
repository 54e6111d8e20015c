#include "net/host_lookup.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "net/http_error.h"

namespace net {

namespace {

void FreeAddresses(addrinfo* list) {
    if (list != nullptr) {
        ::freeaddrinfo(list);
    }
}

// What the lookup thread and the waiting caller share; whichever lets go
// last frees it, so giving up never waits for the name servers.
struct PendingLookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    int result = 0;
    int systemError = 0;
    addrinfo* found = nullptr;

    ~PendingLookup() { FreeAddresses(found); }
};

[[noreturn]] void ThrowLookupFailure(int result, int systemError) {
    if (result == EAI_SYSTEM) {
        throw SocketFailure(systemError, std::strerror(systemError));
    }
    throw SocketFailure(result, ::gai_strerror(result));
}

addrinfo StreamHints(int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | flags;
    return hints;
}

}  // namespace

AddressList LookupStreamAddresses(const std::string& host, int port, const LookupWait& wait,
                                  const LookupFunction& lookup) {
    const std::string service = std::to_string(port);
    // An address written as digits needs no name server: no thread for it.
    {
        const addrinfo hints = StreamHints(AI_NUMERICHOST);
        addrinfo* found = nullptr;
        if (lookup(host.c_str(), service.c_str(), &hints, &found) == 0) {
            return {found, FreeAddresses};
        }
    }

    auto pending = std::make_shared<PendingLookup>();
    std::thread([pending, host, service, lookup] {
        const addrinfo hints = StreamHints(0);
        addrinfo* found = nullptr;
        const int result = lookup(host.c_str(), service.c_str(), &hints, &found);
        const int systemError = errno;
        const std::lock_guard lock(pending->mutex);
        pending->result = result;
        pending->systemError = systemError;
        pending->found = found;
        pending->done = true;
        pending->finished.notify_all();
    }).detach();

    std::unique_lock lock(pending->mutex);
    for (;;) {
        if (pending->finished.wait_for(lock, std::chrono::milliseconds(wait.sliceMs),
                                       [&] { return pending->done; })) {
            break;
        }
        lock.unlock();
        wait.idle();
        if (wait.cancelled()) {
            throw HttpError(HttpErrorKind::NotConnected);
        }
        if (std::chrono::steady_clock::now() >= wait.deadline) {
            throw HttpError(HttpErrorKind::ConnectTimedOut);
        }
        lock.lock();
    }
    if (pending->result != 0) {
        ThrowLookupFailure(pending->result, pending->systemError);
    }
    AddressList list(pending->found, FreeAddresses);
    pending->found = nullptr;
    return list;
}

}  // namespace net
