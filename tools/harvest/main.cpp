// zorvane-harvest: one search run from the command line, with the same
// dispatch, passes and export as the Search and Export All buttons.

#include <malloc.h>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "history/database_path.h"
#include "net/http_client.h"
#include "search/profiles/profile_catalog.h"
#include "search/search_run.h"
#include "search/search_texts.h"
#include "search/site_selection.h"
#include "tools/harvest/command_line_host.h"
#include "tools/harvest/engine_list.h"
#include "tools/harvest/exit_codes.h"
#include "tools/harvest/harvest_run.h"
#include "tools/harvest/history_recorder.h"
#include "tools/harvest/keyword_list.h"
#include "tools/harvest/options.h"
#include "tools/harvest/stop_signals.h"
#include "util/program_folder.h"

namespace {

// Buffers up to this size stay with the process between pages: a few copies
// of the largest page the fetcher accepts.
constexpr int kKeptBufferBytes = 64 * 1024 * 1024;

}  // namespace

int main(int argc, char** argv) {
    harvest::Options options;
    if (const std::optional<int> code = harvest::ParseOptions(argc, argv, options)) {
        return *code;
    }
    // A broken file is named with the place of the fault and skipped; the
    // run goes on with the profiles that did load, as the window does.
    const search::ProfileCatalog catalog = search::LoadProfileCatalog(
        util::ProgramFolder(), options.enginesFile.value_or(search::UserProfilesPath()));
    for (const std::string& error : catalog.errors) {
        std::fprintf(stderr, "zorvane-harvest: %s\n", error.c_str());
    }
    if (options.listEngines) {
        harvest::ListEngines(catalog.profiles);
        return harvest::kExitRunEnded;
    }
    // A site text that selects nothing would make an empty output look like
    // a search that found nothing.
    const search::SiteSelection selection =
        search::SelectForSiteLine(options.site, catalog.profiles);
    if (selection.steps.empty()) {
        std::fprintf(stderr, "zorvane-harvest: %s\n",
                     search::texts::NoEnginePass(selection.unknownNames).c_str());
        return harvest::kExitUsage;
    }
    // The list is input like the command line: one that cannot be read ends
    // the program before the output is touched.
    std::vector<std::string> keywords;
    if (options.keywordsFile) {
        try {
            keywords = harvest::ReadKeywordList(*options.keywordsFile);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
            return harvest::kExitUsage;
        }
    }

    // Every page passes through a few buffers of its size; keeping freed
    // memory instead of handing it back to the system after each page saves
    // faulting the same pages in again for the next one.
    mallopt(M_MMAP_THRESHOLD, kKeptBufferBytes);
    mallopt(M_TRIM_THRESHOLD, kKeptBufferBytes);
    harvest::InstallStopSignals();

    harvest::CommandLineHost host(options.site, options.keyword.value_or(""), options.maxItems);
    net::HttpClient http;
    if (options.timeoutSeconds > 0) {
        http.timing.noProgressLimitMs = options.timeoutSeconds * 1000;
    }
    host.attach(http);
    std::optional<std::string> historyPath;
    if (!options.noHistory) {
        historyPath = options.historyFile.value_or(history::DefaultDatabasePath());
    }
    harvest::HistoryRecorder history(historyPath,
                                     {.siteLine = options.site,
                                      .steps = history::StepNames(selection),
                                      .itemLimit = history::ItemLimitOf(options.maxItems)});
    host.attachHistory(history);
    search::AttachHarvesterClient(http, host);
    const search::EngineSettings settings;
    search::SearchContext ctx{
        host, http, settings, &catalog.profiles, {.lang = options.lang, .region = options.region}};
    return options.keywordsFile ? harvest::RunKeywordList(options, keywords, host, ctx, history)
                                : harvest::RunOneKeyword(options, host, ctx, history);
}
