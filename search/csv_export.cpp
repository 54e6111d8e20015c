#include "search/csv_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace search {

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line.push_back(',');
        }
        line.push_back('"');
        for (char c : fields[i]) {
            if (c == '"') {
                line.push_back('"');
            }
            line.push_back(c);
        }
        line.push_back('"');
    }
    return line;
}

std::string FormatExport(const std::vector<ResultRow>& rows) {
    std::string out = CsvLine({"Pos", "Anchor", "URL", "Engine Site"}) + "\r\n";
    for (const ResultRow& row : rows) {
        out += CsvLine({row.pos, row.anchor, row.url, row.engineSite});
        out += "\r\n";
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
