#include "history/database_path.h"

#include "util/config_folder.h"

namespace history {

std::string DefaultDatabasePath() {
    const std::string folder = util::UserDataFolder();
    return folder.empty() ? folder : folder + "history.sqlite3";
}

}  // namespace history
