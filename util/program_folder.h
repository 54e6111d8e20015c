#pragma once

#include <string>

namespace util {

// The folder of the running executable, ending in "/". Every side file of the
// program is looked up here, never in the working directory.
std::string ProgramFolder();

}  // namespace util
