#include "search/csv_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

namespace search {

namespace {

// Appends one field: quoted, every double quote inside doubled.
void AppendField(std::string& out, std::string_view text) {
    out.push_back('"');
    for (std::size_t quote; (quote = text.find('"')) != std::string_view::npos;) {
        out.append(text.substr(0, quote + 1));
        out.push_back('"');
        text.remove_prefix(quote + 1);
    }
    out.append(text);
    out.push_back('"');
}

void AppendLine(std::string& out, std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (std::string_view field : fields) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        AppendField(out, field);
    }
    out.append("\r\n");
}

}  // namespace

std::string FormatExport(const std::vector<ResultRow>& rows) {
    std::size_t size = 40;
    for (const ResultRow& row : rows) {
        size += row.pos.size() + row.anchor.size() + row.url.size() + row.engineSite.size() + 13;
    }
    std::string out;
    out.reserve(size);
    AppendLine(out, {"Pos", "Anchor", "URL", "Engine Site"});
    for (const ResultRow& row : rows) {
        AppendLine(out, {row.pos, row.anchor, row.url, row.engineSite});
    }
    return out;
}

void ExportResults(const std::string& path, const std::vector<ResultRow>& rows) {
    const std::string bytes = FormatExport(rows);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error("Cannot write the file " + path + ": " + std::strerror(errno));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        throw std::runtime_error("Cannot write the file " + path + ": " +
                                 std::strerror(written ? errno : writeErrno));
    }
}

}  // namespace search
