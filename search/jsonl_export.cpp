#include "search/jsonl_export.h"

#include <charconv>
#include <nlohmann/json.hpp>
#include <string>

namespace search {
namespace {

// As large as the CSV export's pieces: few writes, little memory.
constexpr std::size_t kPieceBytes = 64 * 1024;

// The position is the row's number as text; a text that is not a number
// (never made by a pass) stays a string rather than being guessed at.
nlohmann::json Position(std::string_view pos) {
    long long value = 0;
    const auto [end, error] = std::from_chars(pos.data(), pos.data() + pos.size(), value);
    if (error == std::errc() && end == pos.data() + pos.size() && !pos.empty()) {
        return value;
    }
    return std::string(pos);
}

}  // namespace

bool WriteJsonLines(const RowSource& rows, const std::function<bool(std::string_view)>& write,
                    std::optional<std::string_view> keyword) {
    std::string piece;
    piece.reserve(kPieceBytes + 4096);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RowView row = rows.at(i);
        nlohmann::ordered_json line;
        line["position"] = Position(row.pos);
        line["anchor"] = std::string(row.anchor);
        line["url"] = std::string(row.url);
        line["engine_site"] = std::string(row.engineSite);
        if (!row.snippet.empty()) {
            line["snippet"] = std::string(row.snippet);
        }
        if (!row.rawLink.empty()) {
            line["raw_link"] = std::string(row.rawLink);
        }
        if (!row.displayUrl.empty()) {
            line["display_url"] = std::string(row.displayUrl);
        }
        if (keyword) {
            line["keyword"] = std::string(*keyword);
        }
        piece += line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        piece += '\n';
        if (piece.size() >= kPieceBytes) {
            if (!write(piece)) {
                return false;
            }
            piece.clear();
        }
    }
    return piece.empty() || write(piece);
}

}  // namespace search
