#include "tests/support/wait_until.h"

#include <thread>

namespace testsupport {

namespace {

// Short beside any timeout a test gives, long enough not to starve the
// thread or process being waited for on a busy machine.
constexpr std::chrono::milliseconds kPollInterval{2};

}  // namespace

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return WaitUntil(done, timeout, [] {});
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& poll) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        poll();
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

}  // namespace testsupport
