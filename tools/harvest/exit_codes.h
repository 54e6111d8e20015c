// The exit codes of zorvane-harvest, as its --help and the README list them.
#pragma once

#include "tools/cli/command_line.h"

namespace harvest {

enum ExitCode : int {
    kExitRunEnded = 0,
    kExitWriteFailed = 1,
    kExitUsage = cli::kExitUsage,
    kExitNoPage = 3,
    kExitSignalled = 4,
    kExitBlocked = 5,
    // Pages came, but not one held anything the passes can read.
    kExitNothingReadable = 6,
};

}  // namespace harvest
