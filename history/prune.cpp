#include "history/prune.h"

#include "history/history_delete.h"
#include "history/sqlite_handle.h"

namespace history {

std::int64_t PruneRuns(sqlite3* db, util::UtcSeconds before) {
    Transaction transaction(db);
    Statement remove(db, "DELETE FROM run WHERE started < ?1");
    remove.bind(1, util::FormatUtcTime(before)).run();
    const std::int64_t removed = sqlite3_changes(db);
    RemoveUnusedTexts(db);
    transaction.commit();
    return removed;
}

}  // namespace history
