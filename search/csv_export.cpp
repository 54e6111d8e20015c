// The export text of Export All and zorvane-harvest --csv.
#include "search/csv_export.h"

#include <initializer_list>
#include <string_view>

#include "search/file_replace.h"

namespace search {

namespace {

// Collects the export text and hands it on in pieces of this size: large
// enough that a write per piece costs nothing, small enough to stay in cache.
constexpr std::size_t kExportPieceBytes = 64 * 1024;

class ExportFormatter {
public:
    explicit ExportFormatter(const std::function<bool(std::string_view)>& write) : write_(write) {
        buffer_.reserve(kExportPieceBytes * 2);
    }

    void line(std::initializer_list<std::string_view> fields) {
        bool first = true;
        for (std::string_view field : fields) {
            if (!first) {
                buffer_.push_back(',');
            }
            first = false;
            appendField(field);
        }
        buffer_.append("\r\n");
        if (buffer_.size() >= kExportPieceBytes) {
            flush();
        }
    }

    // Bytes that go out as they are, before the first line.
    void raw(std::string_view bytes) { buffer_.append(bytes); }

    // False once a write has failed; nothing is written after that.
    bool flush() {
        if (ok_ && !buffer_.empty()) {
            ok_ = write_(buffer_);
        }
        buffer_.clear();
        return ok_;
    }

    bool ok() const { return ok_; }

private:
    // Quoted, every double quote inside doubled.
    void appendField(std::string_view text) {
        buffer_.push_back('"');
        for (std::size_t quote; (quote = text.find('"')) != std::string_view::npos;) {
            buffer_.append(text.substr(0, quote + 1));
            buffer_.push_back('"');
            text.remove_prefix(quote + 1);
        }
        buffer_.append(text);
        buffer_.push_back('"');
    }

    const std::function<bool(std::string_view)>& write_;
    std::string buffer_;
    bool ok_ = true;
};

}  // namespace

bool WriteExport(const RowSource& rows, const std::function<bool(std::string_view)>& write,
                 ExportOptions options) {
    ExportFormatter out(write);
    if (options.utf8Bom) {
        out.raw(kUtf8Bom);
    }
    out.line({"Pos", "Anchor", "URL", "Engine Site"});
    for (std::size_t i = 0, count = rows.size(); i < count && out.ok(); ++i) {
        const RowView row = rows.at(i);
        out.line({row.pos, row.anchor, row.url, row.engineSite});
    }
    return out.flush();
}

std::string KeywordExportHeader() {
    std::string header;
    // The formatter keeps a reference to its writer: the writer must outlive it.
    const std::function<bool(std::string_view)> append = [&header](std::string_view piece) {
        header.append(piece);
        return true;
    };
    ExportFormatter out(append);
    out.line({"Pos", "Anchor", "URL", "Engine Site", "Keyword"});
    out.flush();
    return header;
}

bool WriteKeywordExportRows(const RowSource& rows, std::string_view keyword,
                            const std::function<bool(std::string_view)>& write) {
    ExportFormatter out(write);
    for (std::size_t i = 0, count = rows.size(); i < count && out.ok(); ++i) {
        const RowView row = rows.at(i);
        out.line({row.pos, row.anchor, row.url, row.engineSite, keyword});
    }
    return out.flush();
}

std::string FormatExport(const RowSource& rows, ExportOptions options) {
    std::string text;
    WriteExport(
        rows,
        [&text](std::string_view piece) {
            text.append(piece);
            return true;
        },
        options);
    return text;
}

void ExportResults(const std::string& path, const RowSource& rows, ExportOptions options) {
    WriteFileReplacing(path, [&rows, options](const PieceWriter& write) {
        return WriteExport(rows, write, options);
    });
}

}  // namespace search
