#include "history/schema.h"

#include <string>

#include "history/sqlite_handle.h"

namespace history {
namespace {

// Version 1. Texts that repeat from run to run (keywords, addresses, anchor
// texts, engine sites) are each stored once and referred to by number; a
// row is then a few small numbers, with the snippet and the display address
// only where a pass gives them. A run's positions are its rows' numbers, so
// they are the rows' key: no rowid, no second index.
constexpr const char* kVersion1 = R"(
CREATE TABLE keyword (id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE);
CREATE TABLE url (id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE);
CREATE TABLE anchor (id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE);
CREATE TABLE site (id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE);
CREATE TABLE run (
    id INTEGER PRIMARY KEY,
    uid TEXT NOT NULL UNIQUE,
    started TEXT NOT NULL,
    ended TEXT,
    keyword_id INTEGER NOT NULL REFERENCES keyword(id),
    site_line TEXT NOT NULL,
    steps TEXT NOT NULL,
    item_limit INTEGER NOT NULL,
    outcome TEXT NOT NULL,
    version TEXT NOT NULL
);
CREATE INDEX run_by_keyword ON run (keyword_id, started);
CREATE INDEX run_by_start ON run (started);
CREATE TABLE row (
    run_id INTEGER NOT NULL REFERENCES run(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    anchor_id INTEGER NOT NULL REFERENCES anchor(id),
    url_id INTEGER NOT NULL REFERENCES url(id),
    site_id INTEGER NOT NULL REFERENCES site(id),
    snippet TEXT,
    display_url TEXT,
    PRIMARY KEY (run_id, position)
) WITHOUT ROWID;
)";

// kMigrations[v] takes a file from version v to v + 1.
constexpr const char* kMigrations[] = {kVersion1};
static_assert(std::size(kMigrations) == kSchemaVersion);

}  // namespace

int SchemaVersion(sqlite3* db) {
    Statement query(db, "PRAGMA user_version");
    return query.step() ? static_cast<int>(query.integer(0)) : 0;
}

void Migrate(sqlite3* db) {
    // A file of this version needs no write lock, and so opens read-only.
    if (SchemaVersion(db) == kSchemaVersion) {
        return;
    }
    Transaction transaction(db);
    // Read inside the transaction: a second program opening the same new
    // file waits here and then finds it migrated.
    const int version = SchemaVersion(db);
    if (version > kSchemaVersion) {
        throw HistoryError("was written by a newer Zorvane (history version " +
                           std::to_string(version) + "; this one knows " +
                           std::to_string(kSchemaVersion) + ")");
    }
    if (version < 0) {
        throw HistoryError("has an unknown history version " + std::to_string(version));
    }
    for (int step = version; step < kSchemaVersion; ++step) {
        Execute(db, kMigrations[step]);
    }
    Execute(db, ("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
    transaction.commit();
}

}  // namespace history
