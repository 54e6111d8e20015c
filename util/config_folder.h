#pragma once

#include <string>

namespace util {

// The base folder of the user's configuration, ending in "/":
// $XDG_CONFIG_HOME when it is an absolute path (a relative one is ignored,
// as the desktop's own programs ignore it), else $HOME/.config; "" when
// neither variable names an absolute folder.
std::string ConfigHome();

// The one folder for everything the program keeps for its user (the window's
// settings, engines.json, sites.txt): <ConfigHome>zorvane/, ending in "/";
// "" when there is no configuration home.
std::string UserConfigFolder();

// The base folder of the user's data, by the same rules: $XDG_DATA_HOME
// when absolute, else $HOME/.local/share; "" when neither is.
std::string DataHome();

// Where the program keeps what it gathers for its user (the rank history):
// <DataHome>zorvane/; "" when there is no data home.
std::string UserDataFolder();

}  // namespace util
