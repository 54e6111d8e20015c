// Runs a clean-up on every way out of a scope (a return, an exception),
// unless the work it undoes has been completed and the guard dismissed.
#pragma once

#include <utility>

namespace util {

template <typename Cleanup>
class ScopeGuard {
public:
    explicit ScopeGuard(Cleanup cleanup) : cleanup_(std::move(cleanup)) {}
    ~ScopeGuard() {
        if (armed_) {
            cleanup_();
        }
    }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;

    // The work is done: nothing to undo any more.
    void dismiss() { armed_ = false; }

private:
    Cleanup cleanup_;
    bool armed_ = true;
};

}  // namespace util
