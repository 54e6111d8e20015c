#pragma once

#include <string>

namespace history {

// The user's one history, shared by the window and the command line:
// <UserDataFolder>history.sqlite3; "" when there is no data folder.
std::string DefaultDatabasePath();

}  // namespace history
