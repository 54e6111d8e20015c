// The commands of zorvane-history, each an answer in a table. They read and
// write the database through the history layer only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "tools/history/table_output.h"

namespace historytool {

// A command the user gave wrongly (an unknown run): its message goes to
// standard error, and the program ends with the usage code.
class UsageProblem : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Table RunsTable(history::HistoryStore& store, const std::optional<std::string>& keyword,
                std::optional<util::UtcSeconds> since);
Table ShowTable(history::HistoryStore& store, const std::string& run);
Table PositionsTable(history::HistoryStore& store, const std::string& keyword,
                     const std::vector<std::string>& domains, const std::string& engine);
Table DiffTable(history::HistoryStore& store, const std::string& runA, const std::string& runB);
Table ChangesTable(history::HistoryStore& store, util::UtcSeconds since, std::int64_t minMove);

// The rows of the runs asked for (all when neither is given) as CSV or
// JSON Lines, to out.
void Export(history::HistoryStore& store, bool jsonLines, const std::optional<std::string>& keyword,
            const std::optional<std::string>& run, std::ostream& out);

// "--since" as a user writes it: "1d", "12h" or "30m" back from now, a day
// ("2026-01-02", from its start) or a time ("2026-01-02T08:00:00Z").
// Nothing for any other text.
std::optional<util::UtcSeconds> SinceTime(const std::string& text, util::UtcSeconds now);

}  // namespace historytool
