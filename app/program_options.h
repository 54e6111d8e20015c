// The window program's command line: --help and --version, and Qt's own
// options (-platform, -style, ...), which the application object takes.
#pragma once

#include <optional>

namespace app {

// Answers --help and --version before the application object exists, so
// that they need no display. Returns the exit code when the program ends
// here.
std::optional<int> AnswerInformationOptions(int argc, char** argv);

// After the application object took Qt's options out of argv: anything
// left is not an option of this program. Returns the usage exit code, with
// one line saying what was not expected, or nothing when argv is clean.
std::optional<int> RejectOtherArguments(int argc, char** argv);

}  // namespace app
