#pragma once

#include <string>
#include <vector>

namespace util {

// Starts program with args as its arguments (argv[1] onwards), each passed
// as one argument exactly as given: no shell sees them, so URLs and paths
// need no quoting. A program without "/" is looked up in PATH. The child
// inherits no descriptors beyond stdin, stdout and stderr and is reaped in
// the background, so it outlives nothing of ours and leaves no zombie.
// Returns false when the program could not be started.
bool StartProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace util
