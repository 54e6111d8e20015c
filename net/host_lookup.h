// Resolving a host name without holding the caller: the system's resolver
// blocks for as long as the name servers take, so it runs on a thread of its
// own while the caller's idle callback keeps the window serviced.
#pragma once

#include <netdb.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace net {

// The addresses a lookup found, freed with the list.
using AddressList = std::unique_ptr<addrinfo, void (*)(addrinfo*)>;

// getaddrinfo's shape, so a test can stand in for the name servers.
using LookupFunction = std::function<int(const char* host, const char* service,
                                         const addrinfo* hints, addrinfo** found)>;

struct LookupWait {
    std::chrono::steady_clock::time_point deadline;
    int sliceMs = 125;                // between idle callbacks
    std::function<void()> idle;       // may make `cancelled` true
    std::function<bool()> cancelled;  // checked after every idle callback
};

// The stream addresses of host:port. A numeric address is read at once; a
// name is looked up on a thread of its own. Throws HttpError: "not
// connected" when cancelled, ConnectTimedOut at the deadline, the resolver's
// own failure otherwise. A lookup given up on finishes on its thread and
// frees what it found.
AddressList LookupStreamAddresses(const std::string& host, int port, const LookupWait& wait,
                                  const LookupFunction& lookup = ::getaddrinfo);

}  // namespace net
