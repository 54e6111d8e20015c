#include "history/run_diff.h"

#include <algorithm>
#include <map>

namespace history {
namespace {

// Each address's best position; a list may hold an address more than once.
std::map<std::string, std::int64_t> BestPositions(const std::vector<RunRow>& rows) {
    std::map<std::string, std::int64_t> best;
    for (const RunRow& row : rows) {
        const auto [at, added] = best.emplace(row.url, row.position);
        if (!added) {
            at->second = std::min(at->second, row.position);
        }
    }
    return best;
}

}  // namespace

std::string MoveName(Move move) {
    switch (move) {
        case Move::New:
            return "new";
        case Move::Lost:
            return "lost";
        case Move::Up:
            return "up";
        case Move::Down:
            return "down";
    }
    return "";
}

std::vector<DiffEntry> DiffRuns(const std::vector<RunRow>& before,
                                const std::vector<RunRow>& after) {
    const auto was = BestPositions(before);
    const auto is = BestPositions(after);
    std::vector<DiffEntry> entries;
    for (const auto& [url, position] : is) {
        const auto earlier = was.find(url);
        if (earlier == was.end()) {
            entries.push_back({.move = Move::New, .url = url, .before = {}, .after = position});
        } else if (earlier->second != position) {
            const bool up = position < earlier->second;
            entries.push_back(
                {.move = up ? Move::Up : Move::Down,
                 .url = url,
                 .before = earlier->second,
                 .after = position,
                 .distance = up ? earlier->second - position : position - earlier->second});
        }
    }
    for (const auto& [url, position] : was) {
        if (!is.contains(url)) {
            entries.push_back({.move = Move::Lost, .url = url, .before = position, .after = {}});
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const DiffEntry& a, const DiffEntry& b) {
        if (a.after.has_value() != b.after.has_value()) {
            return a.after.has_value();
        }
        return a.after ? *a.after < *b.after : *a.before < *b.before;
    });
    return entries;
}

}  // namespace history
