// A harvest from the command line: the search runs and where their rows go.
#pragma once

#include <string>
#include <vector>

#include "search/search_context.h"
#include "tools/harvest/command_line_host.h"
#include "tools/harvest/history_recorder.h"
#include "tools/harvest/options.h"

namespace harvest {

// Every run is also kept in history, whatever its outcome.

// One keyword: the rows go out once the run has ended, into an output file
// made before the first request, so that one that cannot be written costs
// no harvest. Returns the exit code.
int RunOneKeyword(const Options& options, CommandLineHost& host, search::SearchContext& ctx,
                  HistoryRecorder& history);

// A keyword list: one run per keyword, the rows of each appended as it
// completes. A keyword whose every page failed is reported and the list goes
// on; a stop or a block ends the list (a blocked engine would refuse the
// next keyword too). Returns the exit code.
int RunKeywordList(const Options& options, const std::vector<std::string>& keywords,
                   CommandLineHost& host, search::SearchContext& ctx, HistoryRecorder& history);

}  // namespace harvest
