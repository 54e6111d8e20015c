#include "history/prune.h"

#include "history/sqlite_handle.h"

namespace history {

std::int64_t PruneRuns(sqlite3* db, util::UtcSeconds before) {
    Transaction transaction(db);
    Statement remove(db, "DELETE FROM run WHERE started < ?1");
    remove.bind(1, util::FormatUtcTime(before)).run();
    const std::int64_t removed = sqlite3_changes(db);
    Execute(db,
            "DELETE FROM url WHERE id NOT IN (SELECT url_id FROM row);"
            " DELETE FROM anchor WHERE id NOT IN (SELECT anchor_id FROM row);"
            " DELETE FROM site WHERE id NOT IN (SELECT site_id FROM row);"
            " DELETE FROM keyword WHERE id NOT IN (SELECT keyword_id FROM run);");
    transaction.commit();
    return removed;
}

}  // namespace history
