// The rank history: one SQLite database that every harvest is written to,
// by the window and the command line alike, possibly at the same time.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

#include "history/run_record.h"
#include "history/sqlite_handle.h"

namespace history {

// A second writer (the window beside a scheduled harvest) holds the file
// for one page's rows at a time, far less than this; a writer that waits
// longer than this has met a stuck program, and says so.
inline constexpr int kBusyTimeoutMs = 30000;

class HistoryStore {
public:
    // Opens the database at path, making it (and its folder) when missing,
    // and brings its tables to this program's version. Throws HistoryError
    // with a message that names the file, and for a file that is no
    // database or a damaged one says to move it aside.
    explicit HistoryStore(const std::string& path);
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    const std::string& path() const { return path_; }
    sqlite3* db() const { return db_.get(); }

    // Stores the run as incomplete and gives its number, or nothing when a
    // run with start.uid is stored already.
    std::optional<std::int64_t> beginRun(const RunStart& start);
    // One page's rows, in one transaction: a run cut short keeps every page
    // that was added whole, and none in part.
    void addPage(std::int64_t run, std::span<const StoredRow> rows);
    void finishRun(std::int64_t run, Outcome outcome, util::UtcSeconds ended);

private:
    // The four tables of texts stored once.
    enum TextTable { kKeyword, kUrl, kAnchor, kSite, kTextTables };

    std::int64_t textId(TextTable table, std::string_view text);
    // Called first in every write transaction: the ids known from earlier
    // ones hold unless the file changed in between, through another
    // connection (PRAGMA data_version) or through this one outside the
    // store (a prune that removed texts).
    void checkKnownTexts();
    void forgetKnownTexts();
    // Runs work, turning a failure into a HistoryError that names the file.
    template <typename Work>
    auto guarded(Work&& work);

    std::string path_;
    DatabaseHandle db_;
    std::array<std::unique_ptr<Statement>, kTextTables> insertText_;
    std::array<std::unique_ptr<Statement>, kTextTables> selectText_;
    std::unique_ptr<Statement> insertRow_;
    std::unique_ptr<Statement> dataVersion_;
    // Most rows repeat the addresses, anchors and site of earlier runs: their
    // ids are kept here rather than asked for again.
    std::array<std::unordered_map<std::string, std::int64_t>, kTextTables> knownTexts_;
    std::int64_t knownVersion_ = -1;
    std::int64_t knownChanges_ = -1;
};

// A random run id: 32 hex digits from the system's random source.
std::string NewRunUid();

}  // namespace history
