#include "history/damaged_file.h"

#include <filesystem>
#include <system_error>

namespace history {
namespace {

// A user who declines to delete damaged files keeps them all; beyond this
// many the name is reused rather than searched for ever.
constexpr int kMaxAsideNames = 1000;

// The write-ahead log and its index belong to the file they were written
// for; left behind, SQLite would replay them into the new one.
constexpr const char* kJournalSuffixes[] = {"-wal", "-shm", "-journal"};

std::string FreeName(const std::string& path) {
    namespace fs = std::filesystem;
    std::string name = path + ".damaged";
    for (int n = 2; n <= kMaxAsideNames; ++n) {
        std::error_code error;
        if (!fs::exists(name, error) && !error) {
            return name;
        }
        name = path + ".damaged-" + std::to_string(n);
    }
    return name;
}

}  // namespace

bool IsDamagedFile(const HistoryError& error) {
    const int primary = error.sqliteCode() & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

std::string MoveAside(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string aside = FreeName(path);
    std::error_code error;
    fs::rename(path, aside, error);
    if (error) {
        throw HistoryError("cannot move " + path + " aside to " + aside + ": " + error.message());
    }
    for (const char* suffix : kJournalSuffixes) {
        if (fs::exists(path + suffix, error)) {
            fs::rename(path + suffix, aside + suffix, error);
        }
        if (error) {
            throw HistoryError("cannot move " + path + suffix + " aside: " + error.message());
        }
    }
    return aside;
}

}  // namespace history
