#include "history/history_store.h"

#include <sys/random.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "history/damaged_file.h"
#include "history/schema.h"

namespace history {
namespace {

constexpr const char* kTextTableNames[] = {"keyword", "url", "anchor", "site"};

// Texts whose ids a store keeps per table: far more than a keyword's
// addresses over years of runs, and a few megabytes at most.
constexpr std::size_t kMaxKnownTexts = 50000;

void MakeFolderFor(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) {
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw HistoryError("cannot make the folder " + folder.string() + ": " + error.message());
    }
}

}  // namespace

std::string NewRunUid() {
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw HistoryError("no random run id: the system's random source failed");
        }
        got += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string uid;
    for (const unsigned char byte : bytes) {
        uid += kHex[byte >> 4];
        uid += kHex[byte & 0xf];
    }
    return uid;
}

template <typename Work>
auto HistoryStore::guarded(Work&& work) {
    try {
        return work();
    } catch (const HistoryError& e) {
        // A failed transaction was rolled back: ids learnt in it may be gone.
        forgetKnownTexts();
        std::string message = "history " + path_ + ": " + e.what();
        if (IsDamagedFile(e)) {
            message += " (the file is damaged or no history database; move it aside, e.g. mv " +
                       path_ + " " + path_ + ".damaged, and a new one is started)";
        }
        throw HistoryError(message, e.sqliteCode());
    }
}

HistoryStore::HistoryStore(const std::string& path) : path_(path) {
    guarded([this] {
        MakeFolderFor(path_);
        sqlite3* db = nullptr;
        const int code = sqlite3_open_v2(path_.c_str(), &db,
                                         SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        db_.reset(db);
        if (code != SQLITE_OK) {
            throw db ? SqliteError(db) : HistoryError("out of memory");
        }
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // WAL lets a reader go on while a run writes. Synchronous NORMAL
        // loses nothing to a killed program, only the last pages to a power
        // cut, and spares a flush to disk per page.
        Execute(db,
                "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                " PRAGMA foreign_keys = ON; PRAGMA cache_size = -16384;"
                " PRAGMA wal_autocheckpoint = 4000;");
        Migrate(db);
        for (int table = 0; table < kTextTables; ++table) {
            const std::string name = kTextTableNames[table];
            insertText_[table] = std::make_unique<Statement>(
                db, "INSERT OR IGNORE INTO " + name + " (text) VALUES (?1)");
            selectText_[table] =
                std::make_unique<Statement>(db, "SELECT id FROM " + name + " WHERE text = ?1");
        }
        dataVersion_ = std::make_unique<Statement>(db, "PRAGMA data_version");
        insertRow_ = std::make_unique<Statement>(
            db,
            "INSERT INTO row (run_id, position, anchor_id, url_id, site_id, snippet, display_url)"
            " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    });
}

std::int64_t HistoryStore::textId(TextTable table, std::string_view text) {
    auto& known = knownTexts_[table];
    if (const auto it = known.find(std::string(text)); it != known.end()) {
        return it->second;
    }
    std::int64_t id = 0;
    insertText_[table]->bind(1, text).run();
    if (sqlite3_changes(db_.get()) > 0) {
        id = sqlite3_last_insert_rowid(db_.get());
    } else {
        Statement& select = *selectText_[table];
        select.bind(1, text);
        if (!select.step()) {
            select.reset();
            throw HistoryError("a stored text went missing");
        }
        id = select.integer(0);
        select.reset();
    }
    if (known.size() >= kMaxKnownTexts) {
        known.clear();
    }
    known.emplace(text, id);
    return id;
}

void HistoryStore::checkKnownTexts() {
    dataVersion_->step();
    const std::int64_t version = dataVersion_->integer(0);
    dataVersion_->reset();
    const std::int64_t changes = sqlite3_total_changes64(db_.get());
    if (version != knownVersion_ || changes != knownChanges_) {
        forgetKnownTexts();
        knownVersion_ = version;
    }
    knownChanges_ = changes;
}

void HistoryStore::forgetKnownTexts() {
    for (auto& known : knownTexts_) {
        known.clear();
    }
    knownChanges_ = -1;
}

std::optional<std::int64_t> HistoryStore::beginRun(const RunStart& start) {
    return guarded([&]() -> std::optional<std::int64_t> {
        const std::string uid = start.uid.empty() ? NewRunUid() : start.uid;
        Transaction transaction(db_.get());
        checkKnownTexts();
        Statement known(db_.get(), "SELECT 1 FROM run WHERE uid = ?1");
        if (known.bind(1, uid).step()) {
            return std::nullopt;
        }
        Statement insert(db_.get(),
                         "INSERT INTO run (uid, started, keyword_id, site_line, steps,"
                         " item_limit, outcome, version) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        insert.bind(1, uid)
            .bind(2, util::FormatUtcTime(start.started))
            .bind(3, textId(kKeyword, start.keyword))
            .bind(4, start.siteLine)
            .bind(5, start.steps)
            .bind(6, start.itemLimit)
            .bind(7, OutcomeName(Outcome::Incomplete))
            .bind(8, start.version)
            .run();
        const std::int64_t run = sqlite3_last_insert_rowid(db_.get());
        transaction.commit();
        knownChanges_ = sqlite3_total_changes64(db_.get());
        return run;
    });
}

void HistoryStore::addPage(std::int64_t run, std::span<const StoredRow> rows) {
    if (rows.empty()) {
        return;
    }
    guarded([&] {
        Transaction transaction(db_.get());
        checkKnownTexts();
        for (const StoredRow& row : rows) {
            const std::int64_t anchor = textId(kAnchor, row.anchor);
            const std::int64_t url = textId(kUrl, row.url);
            const std::int64_t site = textId(kSite, row.engineSite);
            insertRow_->bind(1, run)
                .bind(2, row.position)
                .bind(3, anchor)
                .bind(4, url)
                .bind(5, site)
                .bindOrNull(6, row.snippet)
                .bindOrNull(7, row.displayUrl)
                .run();
        }
        transaction.commit();
        knownChanges_ = sqlite3_total_changes64(db_.get());
    });
}

void HistoryStore::finishRun(std::int64_t run, Outcome outcome, util::UtcSeconds ended) {
    guarded([&] {
        // The store's own change: the ids it knows stay good, unless they
        // were in doubt before it.
        const bool inStep = sqlite3_total_changes64(db_.get()) == knownChanges_;
        Statement update(db_.get(), "UPDATE run SET outcome = ?1, ended = ?2 WHERE id = ?3");
        update.bind(1, OutcomeName(outcome)).bind(2, util::FormatUtcTime(ended)).bind(3, run).run();
        if (inStep) {
            knownChanges_ = sqlite3_total_changes64(db_.get());
        }
    });
}

}  // namespace history
