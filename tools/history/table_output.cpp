#include "tools/history/table_output.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace historytool {
namespace {

// Characters, not bytes: a continuation byte starts none.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// A cell's text on one line: a line break inside an anchor would break the
// table's rows apart.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return text;
}

void PrintAligned(const Table& table, std::ostream& out) {
    std::vector<std::size_t> widths;
    for (const std::string& column : table.columns) {
        widths.push_back(Width(column));
    }
    for (const auto& row : table.rows) {
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
            widths[i] = std::max(widths[i], Width(OneLine(row[i].text)));
        }
    }
    const auto line = [&](const std::vector<std::string>& texts, const std::vector<Cell>* cells) {
        std::string text;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const std::string padding(widths[i] - Width(texts[i]), ' ');
            const bool right = cells != nullptr && (*cells)[i].kind == Cell::Kind::Number;
            const bool last = i + 1 == texts.size();
            text += right ? padding + texts[i] : texts[i] + (last ? "" : padding);
            text += last ? "" : "  ";
        }
        // Empty cells at the end leave no blanks behind.
        text.erase(text.find_last_not_of(' ') + 1);
        out << text << '\n';
    };
    line(table.columns, nullptr);
    for (const auto& row : table.rows) {
        std::vector<std::string> texts;
        for (const Cell& cell : row) {
            texts.push_back(OneLine(cell.text));
        }
        line(texts, &row);
    }
}

}  // namespace

std::string CsvQuoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

void Print(const Table& table, Format format, std::ostream& out) {
    switch (format) {
        case Format::Table:
            PrintAligned(table, out);
            return;
        case Format::Csv: {
            const auto csvLine = [&out](const std::vector<std::string>& fields) {
                std::string line;
                for (std::size_t i = 0; i < fields.size(); ++i) {
                    if (i > 0) {
                        line += ',';
                    }
                    line += CsvQuoted(fields[i]);
                }
                out << line << "\r\n";
            };
            csvLine(table.columns);
            for (const auto& row : table.rows) {
                std::vector<std::string> fields;
                for (const Cell& cell : row) {
                    fields.push_back(cell.text);
                }
                csvLine(fields);
            }
            return;
        }
        case Format::Json: {
            // Keys in the order of the columns, as the table shows them.
            nlohmann::ordered_json array = nlohmann::ordered_json::array();
            for (const auto& row : table.rows) {
                nlohmann::ordered_json object = nlohmann::ordered_json::object();
                for (std::size_t i = 0; i < row.size() && i < table.columns.size(); ++i) {
                    const Cell& cell = row[i];
                    if (cell.kind == Cell::Kind::Number) {
                        object[table.columns[i]] = std::stoll(cell.text);
                    } else if (cell.kind == Cell::Kind::Text) {
                        object[table.columns[i]] = cell.text;
                    } else {
                        object[table.columns[i]] = nullptr;
                    }
                }
                array.push_back(std::move(object));
            }
            out << array.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                << '\n';
            return;
        }
    }
}

}  // namespace historytool
