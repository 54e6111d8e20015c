#include "history/sqlite_handle.h"

namespace history {

HistoryError SqliteError(sqlite3* db) {
    return HistoryError(sqlite3_errmsg(db), sqlite3_extended_errcode(db));
}

void Execute(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw SqliteError(db);
    }
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
        SQLITE_OK) {
        throw SqliteError(db);
    }
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) {
        throw SqliteError(db_);
    }
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    if (sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK) {
        throw SqliteError(db_);
    }
    return *this;
}

Statement& Statement::bindOrNull(int index, std::string_view text) {
    if (!text.empty()) {
        return bind(index, text);
    }
    if (sqlite3_bind_null(stmt_, index) != SQLITE_OK) {
        throw SqliteError(db_);
    }
    return *this;
}

bool Statement::step() {
    const int code = sqlite3_step(stmt_);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        return false;
    }
    const HistoryError error = SqliteError(db_);
    sqlite3_reset(stmt_);
    throw error;
}

void Statement::run() {
    while (step()) {
    }
    reset();
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(stmt_, column);
    if (bytes == nullptr) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(bytes),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

Transaction::Transaction(sqlite3* db) : db_(db) {
    Execute(db, "BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (open_) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void Transaction::commit() {
    Execute(db_, "COMMIT");
    open_ = false;
}

}  // namespace history
