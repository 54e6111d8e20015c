#include "history/history_delete.h"

#include "history/sqlite_handle.h"

namespace history {
namespace {

// Runs statement (its parameters bound) and then drops the texts no row or
// run refers to any more, in one transaction, so that a failure deletes
// nothing.
std::int64_t DeleteRuns(sqlite3* db, Statement& remove) {
    Transaction transaction(db);
    remove.run();
    const std::int64_t removed = sqlite3_changes(db);
    RemoveUnusedTexts(db);
    transaction.commit();
    return removed;
}

}  // namespace

void RemoveUnusedTexts(sqlite3* db) {
    Execute(db,
            "DELETE FROM url WHERE id NOT IN (SELECT url_id FROM row);"
            " DELETE FROM anchor WHERE id NOT IN (SELECT anchor_id FROM row);"
            " DELETE FROM site WHERE id NOT IN (SELECT site_id FROM row);"
            " DELETE FROM keyword WHERE id NOT IN (SELECT keyword_id FROM run);");
}

std::int64_t DeleteRun(sqlite3* db, std::int64_t run) {
    Statement remove(db, "DELETE FROM run WHERE id = ?1");
    remove.bind(1, run);
    return DeleteRuns(db, remove);
}

std::int64_t DeleteKeyword(sqlite3* db, const std::string& keyword) {
    Statement remove(db,
                     "DELETE FROM run WHERE keyword_id = (SELECT id FROM keyword WHERE text = ?1)");
    remove.bind(1, keyword);
    return DeleteRuns(db, remove);
}

std::int64_t DeleteAllRuns(sqlite3* db) {
    Statement remove(db, "DELETE FROM run");
    return DeleteRuns(db, remove);
}

}  // namespace history
