// Owners of SQLite's C handles, so that every path out of a function, a
// thrown error included, closes the database and finalizes its statements.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace history {

// Anything that went wrong with the history database; what() is the whole
// message for the user, naming the file where it matters.
class HistoryError : public std::runtime_error {
public:
    // sqliteCode: SQLite's extended result code when SQLite failed, taken
    // at once (a rollback on the way out would replace it); 0 otherwise.
    explicit HistoryError(const std::string& message, int sqliteCode = 0)
        : std::runtime_error(message), sqliteCode_(sqliteCode) {}
    int sqliteCode() const { return sqliteCode_; }

private:
    int sqliteCode_;
};

// SQLite's last failure on db, in its own words, as a HistoryError.
HistoryError SqliteError(sqlite3* db);

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabaseHandle = std::unique_ptr<sqlite3, DatabaseCloser>;

// Runs sql (one or more statements without parameters); throws HistoryError
// with SQLite's message.
void Execute(sqlite3* db, const char* sql);

// One prepared statement. Bind numbers start at 1, as SQLite counts them.
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value);
    // The text is copied: the caller's string may go before the step.
    Statement& bind(int index, std::string_view text);
    // Empty text binds NULL: the texts only some passes give.
    Statement& bindOrNull(int index, std::string_view text);

    // True while there is a result row; false when done. Throws on failure.
    bool step();
    // Steps to the end, for a statement without result rows.
    void run();
    // Ready for new bindings.
    void reset();

    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string text(int column) const;
    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE at once, so that two writers queue on the busy timeout
// instead of one of them failing when its read turns into a write; rolled
// back unless commit() was called.
class Transaction {
public:
    explicit Transaction(sqlite3* db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    sqlite3* db_;
    bool open_ = true;
};

}  // namespace history
