#include "history/run_record.h"

#include <array>
#include <utility>

namespace history {
namespace {

constexpr std::array<std::pair<Outcome, std::string_view>, 5> kOutcomeNames{{
    {Outcome::Incomplete, "incomplete"},
    {Outcome::Complete, "complete"},
    {Outcome::Stopped, "stopped"},
    {Outcome::Blocked, "blocked"},
    {Outcome::Failed, "failed"},
}};

}  // namespace

std::string_view OutcomeName(Outcome outcome) {
    for (const auto& [value, name] : kOutcomeNames) {
        if (value == outcome) {
            return name;
        }
    }
    return "incomplete";
}

std::optional<Outcome> OutcomeFromName(std::string_view name) {
    for (const auto& [value, known] : kOutcomeNames) {
        if (known == name) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace history
