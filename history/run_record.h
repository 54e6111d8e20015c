// What the history keeps of a run and of its rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "util/utc_clock.h"

namespace history {

// How a run ended. A run is stored as Incomplete when it starts and keeps
// that outcome when its program dies before saying otherwise.
enum class Outcome { Incomplete, Complete, Stopped, Blocked, Failed };

// The outcome's word in the database and in every output: "incomplete",
// "complete", "stopped", "blocked", "failed".
std::string_view OutcomeName(Outcome outcome);
std::optional<Outcome> OutcomeFromName(std::string_view name);

struct RunStart {
    // The run's identity among all databases; empty: a new random one.
    // An imported run brings its own, so that importing it again finds it.
    std::string uid = {};
    std::string keyword = {};
    // The engine site line as the user gave it, and the passes and profiles
    // it ran, as names separated by ", ".
    std::string siteLine = {};
    std::string steps = {};
    // 0: no item limit.
    std::int64_t itemLimit = 0;
    util::UtcSeconds started = 0;
    std::string version = {};
};

struct StoredRow {
    // The row's number in its run, from 1.
    std::int64_t position = 0;
    std::string anchor;
    std::string url;
    std::string engineSite;
    // Empty when the pass gave none.
    std::string snippet = {};
    std::string displayUrl = {};
};

}  // namespace history
