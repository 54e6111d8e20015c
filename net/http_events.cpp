// When the window is serviced, and the progress events with their running
// total per direction.
#include "net/http_events.h"
#include "util/scope_guard.h"

#include <chrono>

namespace net {

namespace {

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void IdleService::now() {
    lastMs_ = nowMs();
    if (owner_.onIdle) {
        owner_.onIdle();
    }
}

void IdleService::whenDue() {
    if (nowMs() - lastMs_ >= owner_.timing.idleSliceMs) {
        now();
    }
}

void IdleService::restart() {
    lastMs_ = nowMs();
}

void WorkEvents::begin(WorkMode mode, std::int64_t max) {
    State& s = state(mode);
    if (++s.nesting == 1) {
        s.total = 0;
        if (owner_.OnWorkBegin) {
            owner_.OnWorkBegin(mode, max);
        }
    }
}

void WorkEvents::progress(WorkMode mode, std::size_t count) {
    State& s = state(mode);
    if (s.nesting >= 1) {
        s.total += static_cast<std::int64_t>(count);
        if (owner_.OnWork) {
            owner_.OnWork(mode, s.total);
        }
    }
}

void WorkEvents::end(WorkMode mode) {
    State& s = state(mode);
    // The count goes down even when the handler throws, or every later body
    // would count as nested and report nothing.
    util::ScopeGuard lower([&s] { --s.nesting; });
    if (s.nesting == 1 && owner_.OnWorkEnd) {
        owner_.OnWorkEnd(mode);
    }
}

}  // namespace net
