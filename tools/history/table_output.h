// The answers of zorvane-history: one table, printed aligned for reading,
// or as CSV or JSON for other programs.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace historytool {

enum class Format { Table, Csv, Json };

// A cell: a text, a number, or nothing (an empty cell, null in JSON).
struct Cell {
    enum class Kind { Text, Number, Empty };
    Kind kind = Kind::Empty;
    std::string text;

    static Cell Text(std::string text) { return {Kind::Text, std::move(text)}; }
    static Cell Number(std::int64_t value) { return {Kind::Number, std::to_string(value)}; }
    static Cell Maybe(const std::optional<std::int64_t>& value) {
        return value ? Number(*value) : Cell{};
    }
};

struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;
};

// Table: the header and the rows in columns padded to their widest cell
// (counted in UTF-8 characters), numbers to the right. CSV: a header line,
// every field quoted, CR LF as the harvester's export. JSON: an array of
// objects keyed by column, numbers as numbers.
void Print(const Table& table, Format format, std::ostream& out);

// A CSV field: in double quotes, a double quote inside doubled.
std::string CsvQuoted(const std::string& text);

}  // namespace historytool
