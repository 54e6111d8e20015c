#include "net/host_lookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "net/http_error.h"

namespace {

using net::HttpError;
using net::HttpErrorKind;
using net::LookupStreamAddresses;
using net::LookupWait;

// Name servers that answer only when the test lets them: the answer is then
// the real one for 127.0.0.1, so the caller has a real list to free.
struct SlowNameServers {
    std::mutex mutex;
    std::condition_variable released;
    bool answer = false;
    std::atomic<int> numericAsks{0};
    std::atomic<int> nameAsks{0};

    void release() {
        const std::lock_guard lock(mutex);
        answer = true;
        released.notify_all();
    }
};

net::LookupFunction Through(std::shared_ptr<SlowNameServers> servers, int failure = 0) {
    return [servers, failure](const char*, const char* service, const addrinfo* hints,
                              addrinfo** found) {
        if ((hints->ai_flags & AI_NUMERICHOST) != 0) {
            ++servers->numericAsks;
            return EAI_NONAME;
        }
        ++servers->nameAsks;
        std::unique_lock lock(servers->mutex);
        servers->released.wait(lock, [&] { return servers->answer; });
        return failure != 0 ? failure : ::getaddrinfo("127.0.0.1", service, hints, found);
    };
}

LookupWait Wait(std::function<void()> idle, std::function<bool()> cancelled,
                std::chrono::milliseconds limit = std::chrono::minutes(1)) {
    return {.deadline = std::chrono::steady_clock::now() + limit,
            .sliceMs = 5,
            .idle = std::move(idle),
            .cancelled = std::move(cancelled)};
}

TEST(LookupStreamAddresses, ADigitAddressIsReadAtOnce) {
    for (const std::string host : {"127.0.0.1", "::1"}) {
        const auto list = LookupStreamAddresses(
            host, 8080,
            Wait([] { FAIL() << "no wait for a numeric address"; }, [] { return false; }));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->ai_socktype, SOCK_STREAM);
        EXPECT_EQ(list->ai_family, host == "::1" ? AF_INET6 : AF_INET);
    }
}

// The window stays serviced while the name servers take their time.
TEST(LookupStreamAddresses, ANameIsLookedUpWhileTheCallerIsServiced) {
    auto servers = std::make_shared<SlowNameServers>();
    int idleCalls = 0;
    const auto list = LookupStreamAddresses("search.example", 80,
                                            Wait(
                                                [&] {
                                                    if (++idleCalls == 3) {
                                                        servers->release();
                                                    }
                                                },
                                                [] { return false; }),
                                            Through(servers));
    ASSERT_NE(list, nullptr);
    EXPECT_GE(idleCalls, 3);
    EXPECT_EQ(servers->numericAsks, 1);
    EXPECT_EQ(servers->nameAsks, 1);
}

// Stop during the lookup, and the connect limit, end the wait at once; the
// lookup finishes later on its own and frees what it found.
TEST(LookupStreamAddresses, StopAndTheLimitEndTheWaitNotTheLookup) {
    const struct {
        const char* what;
        bool stop;
        std::chrono::milliseconds limit;
        HttpErrorKind kind;
    } cases[] = {
        {.what = "Stop",
         .stop = true,
         .limit = std::chrono::minutes(1),
         .kind = HttpErrorKind::NotConnected},
        {.what = "limit",
         .stop = false,
         .limit = std::chrono::milliseconds(20),
         .kind = HttpErrorKind::ConnectTimedOut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto servers = std::make_shared<SlowNameServers>();
        bool stopped = false;
        try {
            LookupStreamAddresses("search.example", 80,
                                  Wait([&] { stopped = c.stop; }, [&] { return stopped; }, c.limit),
                                  Through(servers));
            ADD_FAILURE() << "no answer was given";
        } catch (const HttpError& e) {
            EXPECT_EQ(e.kind(), c.kind);
        }
        servers->release();
    }
}

TEST(LookupStreamAddresses, TheResolversRefusalIsASocketErrorWithItsText) {
    auto servers = std::make_shared<SlowNameServers>();
    servers->release();
    try {
        LookupStreamAddresses("nosuch.example", 80, Wait([] {}, [] { return false; }),
                              Through(servers, EAI_NONAME));
        FAIL() << "a name nobody knows gave addresses";
    } catch (const HttpError& e) {
        EXPECT_EQ(e.kind(), HttpErrorKind::SocketError);
        EXPECT_EQ(e.detail(), std::to_string(EAI_NONAME) + "\r\n" + ::gai_strerror(EAI_NONAME));
    }
}

}  // namespace
