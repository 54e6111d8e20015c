// How every command-line tool of Zorvane reads its options: CLI11 with
// --help and --version, and one line for a bad command line instead of the
// whole usage, so the line that says what went wrong stays on the screen.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace cli {

// The exit code of a command line that does not parse, in every tool.
inline constexpr int kExitUsage = 2;

// Adds --version (the program's version) to app.
void AddVersionFlag(CLI::App& app);

// Parses argv into app. Returns nothing when the program goes on; otherwise
// the code to exit with, after --help or --version printed to standard
// output (0) or a bad command line printed to standard error as
// "PROGRAM: what went wrong" and "Run with --help for usage." (kExitUsage).
std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv);

// The same for a failure found after parsing, such as two options that do
// not go together.
int UsageError(const CLI::App& app, const std::string& message);

}  // namespace cli
