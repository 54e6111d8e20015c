// What the client tells its owner while an operation blocks: the idle callback
// that keeps the window serviced, and the progress events of a body read or a
// form sent.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/http_client.h"

namespace net {

class IdleService {
public:
    explicit IdleService(HttpClient& owner) : owner_(owner) {}

    const HttpTiming& timing() const { return owner_.timing; }
    // Services the window now.
    void now();
    // Services it when a whole idle slice has passed since it last was, so that
    // steady work (a server that never stops sending) cannot freeze it either.
    void whenDue();
    // An operation starts with a fresh slice.
    void restart();

private:
    HttpClient& owner_;
    std::int64_t lastMs_ = 0;
};

class WorkEvents {
public:
    explicit WorkEvents(HttpClient& owner) : owner_(owner) {}

    // Runs body between a begin and an end event of mode; a run inside another
    // of the same mode reports neither and adds to the outer total.
    template <class Body>
    auto during(WorkMode mode, std::int64_t max, Body&& body) {
        begin(mode, max);
        try {
            auto result = body();
            end(mode);
            return result;
        } catch (...) {
            end(mode);
            throw;
        }
    }

    // Adds count to the total of the running mode and reports the total.
    void progress(WorkMode mode, std::size_t count);

private:
    struct State {
        int nesting = 0;
        std::int64_t total = 0;
    };

    State& state(WorkMode mode) { return states_[mode == WorkMode::Read ? 0 : 1]; }
    void begin(WorkMode mode, std::int64_t max);
    void end(WorkMode mode);

    HttpClient& owner_;
    State states_[2];
};

}  // namespace net
