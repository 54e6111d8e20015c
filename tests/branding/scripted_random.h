#pragma once

#include <deque>
#include <stdexcept>
#include <vector>

#include "branding/branding_settings.h"

namespace branding_test {

// Hands out the given indices in order and records every range asked for.
class ScriptedRandom final : public branding::RandomSource {
public:
    explicit ScriptedRandom(std::deque<std::size_t> picks = {}) : picks_(std::move(picks)) {}
    std::size_t Below(std::size_t count) override {
        counts.push_back(count);
        if (picks_.empty()) {
            return 0;
        }
        const std::size_t pick = picks_.front();
        picks_.pop_front();
        if (pick >= count) {
            throw std::out_of_range("scripted pick outside the range asked for");
        }
        return pick;
    }
    std::vector<std::size_t> counts;

private:
    std::deque<std::size_t> picks_;
};

}  // namespace branding_test
