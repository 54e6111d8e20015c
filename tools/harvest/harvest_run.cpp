#include "tools/harvest/harvest_run.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "search/csv_export.h"
#include "search/file_replace.h"
#include "search/jsonl_export.h"
#include "tools/harvest/exit_codes.h"
#include "tools/harvest/keyword_list.h"

namespace harvest {
namespace {

// Whether pages came and every one of them had content the passes could
// not read (an engine that changed its pages); no rows then either.
bool NothingReadable(const search::RunSummary& summary) {
    return summary.pagesFetched > 0 && summary.pagesUnreadable == summary.pagesFetched;
}

// The exit code a run's outcome gives: a stop by signal before a block,
// before pages that all failed, before pages that all could not be read.
int RunStatus(const CommandLineHost& host, const search::RunSummary& summary) {
    if (host.terminated()) {
        return kExitSignalled;
    }
    if (summary.blocked) {
        return kExitBlocked;
    }
    if (summary.pagesFetched == 0 && summary.pagesFailed > 0) {
        return kExitNoPage;
    }
    if (NothingReadable(summary)) {
        return kExitNothingReadable;
    }
    return kExitRunEnded;
}

// What the history calls a run with this exit code.
history::Outcome OutcomeOf(int status, bool stopped) {
    switch (status) {
        case kExitSignalled:
            return history::Outcome::Stopped;
        case kExitBlocked:
            return history::Outcome::Blocked;
        case kExitRunEnded:
            return stopped ? history::Outcome::Stopped : history::Outcome::Complete;
        default:
            return history::Outcome::Failed;
    }
}

bool WriteToStandardOutput(std::string_view piece) {
    return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
}

// Writes a run's rows, as pieces, to their output.
using RowProducer = std::function<bool(const search::PieceWriter&)>;
// Takes the rows into the output file; throws std::runtime_error on failure.
using RowFileWriter = std::function<void(const RowProducer&)>;

// The rows to the file when there is one, else to standard output. False,
// with the reason on standard error, when they could not be written.
bool Deliver(const RowProducer& rows, const RowFileWriter& toFile) {
    try {
        if (toFile) {
            toFile(rows);
        } else if (!rows(WriteToStandardOutput) || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "zorvane-harvest: cannot write the rows to standard output\n");
            return false;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        return false;
    }
    return true;
}

}  // namespace

int RunOneKeyword(const Options& options, CommandLineHost& host, search::SearchContext& ctx,
                  HistoryRecorder& history) {
    std::optional<search::FileReplacement> file;
    try {
        if (options.output) {
            file.emplace(*options.output);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        return kExitWriteFailed;
    }

    int status = kExitRunEnded;
    history.beginRun(host.keyword());
    try {
        const search::RunSummary summary = search::SearchRun(ctx);
        host.finishRun(summary);
        status = RunStatus(host, summary);
    } catch (const std::exception& e) {
        host.FlushStatus();
        // The rows harvested before the failure are still written below.
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        status = kExitWriteFailed;
    }
    history.finishRun(OutcomeOf(status, host.stopRequested()));

    const auto writeRows = [&options, &host](const search::PieceWriter& write) {
        return options.jsonLines ? search::WriteJsonLines(host.rows(), write)
                                 : search::WriteExport(host.rows(), write);
    };
    RowFileWriter toFile;
    if (file) {
        toFile = [&file](const RowProducer& rows) { file->commit(rows); };
    }
    return Deliver(writeRows, toFile) ? status : kExitWriteFailed;
}

int RunKeywordList(const Options& options, const std::vector<std::string>& keywords,
                   CommandLineHost& host, search::SearchContext& ctx, HistoryRecorder& history) {
    std::unique_ptr<KeywordOutput> output;
    const std::string header = options.jsonLines ? "" : search::KeywordExportHeader();
    try {
        if (options.output) {
            const JournalOwner owner = MakeJournalOwner(
                keywords, options.jsonLines ? "jsonl" : "csv", options.site, options.maxItems);
            output =
                std::make_unique<KeywordOutput>(*options.output, header, owner, options.resume);
        } else if (!WriteToStandardOutput(header)) {
            return kExitWriteFailed;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
        return kExitWriteFailed;
    }

    int status = kExitRunEnded;
    // Whether a list found nothing readable is a question for all its pages:
    // an engine's page for a keyword without results reads the same.
    search::RunSummary total;
    for (const std::string& keyword : keywords) {
        if (output && output->done().contains(keyword)) {
            continue;
        }
        host.setKeyword(keyword);
        history.beginRun(keyword);
        search::RunSummary summary;
        try {
            summary = search::SearchRun(ctx);
            host.finishRun(summary, "\"" + keyword + "\": ");
        } catch (const std::exception& e) {
            host.FlushStatus();
            std::fprintf(stderr, "zorvane-harvest: %s\n", e.what());
            history.finishRun(history::Outcome::Failed);
            return kExitWriteFailed;
        }
        total += summary;
        const int keywordStatus = RunStatus(host, summary);
        const bool stopped = host.stopRequested();
        history.finishRun(OutcomeOf(keywordStatus, stopped));
        const bool complete =
            !stopped && (keywordStatus == kExitRunEnded || keywordStatus == kExitNothingReadable);
        if (keywordStatus == kExitNoPage) {
            std::fprintf(stderr, "zorvane-harvest: no page could be fetched for \"%s\"\n",
                         keyword.c_str());
            status = kExitNoPage;
            continue;
        }
        const auto writeRows = [&options, &host, &keyword](const search::PieceWriter& write) {
            return options.jsonLines ? search::WriteJsonLines(host.rows(), write, keyword)
                                     : search::WriteKeywordExportRows(host.rows(), keyword, write);
        };
        RowFileWriter toFile;
        if (output) {
            toFile = [&output, &keyword, complete](const RowProducer& rows) {
                output->append(keyword, complete, rows);
            };
        }
        if (!Deliver(writeRows, toFile)) {
            return kExitWriteFailed;
        }
        if (!complete) {
            return keywordStatus;
        }
    }
    if (status == kExitRunEnded && NothingReadable(total)) {
        return kExitNothingReadable;
    }
    return status;
}

}  // namespace harvest
