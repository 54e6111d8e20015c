// What the command line of zorvane-harvest asks for, and how it is read.
#pragma once

#include <optional>
#include <string>

namespace harvest {

struct Options {
    std::string site;
    std::optional<std::string> keyword;
    // --keywords: one search per line of this file.
    std::optional<std::string> keywordsFile;
    // --csv FILE; none (or "-"): standard output.
    std::optional<std::string> output;
    std::optional<std::string> enginesFile;
    bool jsonLines = false;
    bool listEngines = false;
    bool resume = false;
    double maxItems = 0;
    // --lang and --region, for the profiles that name {lang} or {region};
    // empty: each profile's default.
    std::string lang;
    std::string region;
    // The client's no-progress limit; 0 keeps its default.
    int timeoutSeconds = 0;
    // --no-history; --history FILE, else the user's own history.
    bool noHistory = false;
    std::optional<std::string> historyFile;
};

// A day without a byte is no longer a slow server; the bound keeps the
// limit in milliseconds within an int.
inline constexpr int kLongestTimeoutSeconds = 86400;

// Reads argv into options. Returns the exit code when the program ends
// here: 0 after --help or --version, the usage code (with one line saying
// what is wrong) for a bad command line.
std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options);

}  // namespace harvest
