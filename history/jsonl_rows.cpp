#include "history/jsonl_rows.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <vector>

#include "cipher/sha1.h"

namespace history {
namespace {

using Json = nlohmann::json;

// Positions are row numbers; beyond this a number is no position.
constexpr std::int64_t kMaxPosition = 1'000'000'000'000;
// The rows of a run go to the store in pages of this many, as a harvest
// writes them.
constexpr std::size_t kImportPageRows = 1000;

struct ParsedRow {
    StoredRow row;
    std::optional<std::string> run;
    std::optional<std::string> keyword;
    std::optional<util::UtcSeconds> started;
};

std::optional<std::string> TextField(const Json& object, const char* name, std::size_t lineNumber) {
    const auto at = object.find(name);
    if (at == object.end() || at->is_null()) {
        return std::nullopt;
    }
    if (!at->is_string()) {
        throw HistoryError("line " + std::to_string(lineNumber) + ": \"" + name +
                           "\" is not a text");
    }
    return at->get<std::string>();
}

ParsedRow ParseRow(const std::string& line, std::size_t lineNumber) {
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    // Only the object's own members are kept: a value nested deeper is no
    // field of a row, and dropping it bounds the work a hostile line causes.
    const Json object = Json::parse(
        line, [](int depth, Json::parse_event_t, Json&) { return depth <= 1; }, false);
    if (!object.is_object()) {
        throw HistoryError(where + "not a JSON object");
    }
    const auto position = object.find("position");
    if (position == object.end() || !position->is_number_integer() ||
        position->get<std::int64_t>() < 1 || position->get<std::int64_t>() > kMaxPosition) {
        throw HistoryError(where + "no \"position\" from 1 on");
    }
    const auto url = TextField(object, "url", lineNumber);
    if (!url) {
        throw HistoryError(where + "no \"url\"");
    }
    std::optional<util::UtcSeconds> started;
    if (const auto text = TextField(object, "started", lineNumber)) {
        started = util::ParseUtcTime(*text);
        if (!started) {
            throw HistoryError(where + "\"started\" is not a time such as 2026-01-02T08:00:00Z");
        }
    }
    return {.row = {.position = position->get<std::int64_t>(),
                    .anchor = TextField(object, "anchor", lineNumber).value_or(""),
                    .url = *url,
                    .engineSite = TextField(object, "engine_site", lineNumber).value_or(""),
                    .snippet = TextField(object, "snippet", lineNumber).value_or(""),
                    .displayUrl = TextField(object, "display_url", lineNumber).value_or("")},
            .run = TextField(object, "run", lineNumber),
            .keyword = TextField(object, "keyword", lineNumber),
            .started = started};
}

// The next line without its LF into line; false at the end of the input.
// Throws for a line longer than kMaxImportLineBytes.
bool ReadLine(std::istream& in, std::string& line, std::size_t lineNumber) {
    line.clear();
    for (char c; in.get(c);) {
        if (c == '\n') {
            return true;
        }
        if (line.size() >= kMaxImportLineBytes) {
            throw HistoryError("line " + std::to_string(lineNumber) + " is longer than " +
                               std::to_string(kMaxImportLineBytes) + " bytes");
        }
        line += c;
    }
    return !line.empty();
}

class RunBuilder {
public:
    RunBuilder(HistoryStore& store, ImportCount& count) : store_(store), count_(count) {}

    // Whether row belongs to the run being built.
    bool continues(const ParsedRow& row, const std::string& keyword) const {
        return !rows_.empty() && row.run == run_ && keyword == keyword_ &&
               row.row.position > rows_.back().position;
    }

    void start(const ParsedRow& row, const std::string& keyword) {
        run_ = row.run;
        keyword_ = keyword;
        started_ = row.started;
        digest_.reset();
        rows_.clear();
    }

    void add(ParsedRow row, const std::string& line, std::size_t lineNumber) {
        if (rows_.size() >= kMaxImportRunRows) {
            throw HistoryError("line " + std::to_string(lineNumber) + ": a run of more than " +
                               std::to_string(kMaxImportRunRows) + " rows");
        }
        digest_.update(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
        digest_.update(reinterpret_cast<const std::uint8_t*>("\n"), 1);
        rows_.push_back(std::move(row.row));
    }

    void store() {
        if (rows_.empty()) {
            return;
        }
        const util::UtcSeconds started = started_ ? *started_ : util::UtcNow();
        const auto id = store_.beginRun({.uid = run_ ? *run_ : "sha1:" + Digest(),
                                         .keyword = keyword_,
                                         .siteLine = "",
                                         .steps = "",
                                         .itemLimit = 0,
                                         .started = started,
                                         .version = "import"});
        if (!id) {
            ++count_.runsKnown;
            rows_.clear();
            return;
        }
        for (std::size_t from = 0; from < rows_.size(); from += kImportPageRows) {
            const std::size_t size = std::min(kImportPageRows, rows_.size() - from);
            store_.addPage(*id, std::span<const StoredRow>(rows_).subspan(from, size));
        }
        store_.finishRun(*id, Outcome::Complete, started);
        ++count_.runsAdded;
        count_.rows += static_cast<std::int64_t>(rows_.size());
        rows_.clear();
    }

private:
    std::string Digest() {
        std::uint8_t bytes[cipher::kSha1DigestSize];
        digest_.finish(bytes);
        static constexpr char kHex[] = "0123456789abcdef";
        std::string hex;
        for (const std::uint8_t byte : bytes) {
            hex += kHex[byte >> 4];
            hex += kHex[byte & 0xf];
        }
        return hex;
    }

    HistoryStore& store_;
    ImportCount& count_;
    std::optional<std::string> run_;
    std::string keyword_;
    std::optional<util::UtcSeconds> started_;
    cipher::Sha1 digest_;
    std::vector<StoredRow> rows_;
};

}  // namespace

std::string RowLine(const RunInfo& run, const RunRow& row) {
    // In the harvester's order of fields, so that both read alike.
    nlohmann::ordered_json line = {{"position", row.position},
                                   {"anchor", row.anchor},
                                   {"url", row.url},
                                   {"engine_site", row.engineSite}};
    if (!row.snippet.empty()) {
        line["snippet"] = row.snippet;
    }
    if (!row.displayUrl.empty()) {
        line["display_url"] = row.displayUrl;
    }
    line["keyword"] = run.keyword;
    line["run"] = run.uid;
    line["started"] = run.started;
    // Bytes a page sent that are no UTF-8 become U+FFFD, as in the harvester's lines.
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

ImportCount ImportJsonLines(HistoryStore& store, std::istream& in,
                            const std::string& defaultKeyword) {
    ImportCount count;
    RunBuilder builder(store, count);
    std::string line;
    for (std::size_t lineNumber = 1; ReadLine(in, line, lineNumber); ++lineNumber) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        ParsedRow row = ParseRow(line, lineNumber);
        if (!row.keyword && defaultKeyword.empty()) {
            throw HistoryError("line " + std::to_string(lineNumber) +
                               ": no \"keyword\" (give the keyword of a one-keyword harvest)");
        }
        const std::string keyword = row.keyword.value_or(defaultKeyword);
        if (!builder.continues(row, keyword)) {
            builder.store();
            builder.start(row, keyword);
        }
        builder.add(std::move(row), line, lineNumber);
    }
    builder.store();
    return count;
}

}  // namespace history
