#include "tools/harvest/journal.h"

#include <algorithm>
#include <cstdint>

#include "cipher/sha1.h"

namespace harvest {
namespace {

// The first field of a journal's first line: a journal of another layout
// (or none at all) is told by it.
constexpr std::string_view kMagic = "zorvane-harvest keyword journal 1";
constexpr std::string_view kCheckField = "\tcheck=";
// A check is the start of a SHA-1, in hex: 64 bits catch any damage a disk
// or an editor does; the lines are not meant to stand up to a forger.
constexpr std::size_t kCheckDigits = 16;
constexpr std::size_t kHashDigits = 2 * cipher::kSha1DigestSize;

std::string Sha1Hex(std::string_view text) {
    cipher::Sha1 sha;
    sha.update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::uint8_t digest[cipher::kSha1DigestSize];
    sha.finish(digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0F];
    }
    return hex;
}

std::string Check(std::string_view text) {
    return Sha1Hex(text).substr(0, kCheckDigits);
}

// The site text in one field: no tab or line end of its own.
std::string Escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

std::string LimitText(std::uint64_t limit) {
    return limit == 0 ? "all" : std::to_string(limit);
}

// Plain decimal digits, without a sign or a leading zero, that fit.
std::optional<std::uint64_t> ParseSize(std::string_view text) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > (UINT64_MAX - 9) / 10) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// The value of "name=value" when field is one.
std::optional<std::string_view> FieldValue(std::string_view field, std::string_view name) {
    if (field.size() <= name.size() || !field.starts_with(name) || field[name.size()] != '=') {
        return std::nullopt;
    }
    return field.substr(name.size() + 1);
}

bool IsHex(std::string_view text, std::size_t digits) {
    return text.size() == digits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::optional<JournalOwner> ParseHeader(std::string_view line, std::string& check) {
    const std::size_t at = line.rfind(kCheckField);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view body = line.substr(0, at);
    check = line.substr(at + kCheckField.size());
    if (!IsHex(check, kCheckDigits) || check != Check(body)) {
        return std::nullopt;
    }
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = body.find('\t', start);
        fields.push_back(body.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            break;
        }
        start = tab + 1;
    }
    if (fields.size() != 5 || fields[0] != kMagic) {
        return std::nullopt;
    }
    const auto list = FieldValue(fields[1], "list");
    const auto format = FieldValue(fields[2], "format");
    const auto limit = FieldValue(fields[3], "limit");
    const auto site = FieldValue(fields[4], "site");
    if (!list || !IsHex(*list, kHashDigits) || !format ||
        (*format != "csv" && *format != "jsonl") || !limit || !site) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> limitValue =
        *limit == "all" ? std::optional<std::uint64_t>(0) : ParseSize(*limit);
    std::optional<std::string> siteText = Unescape(*site);
    if (!limitValue || (*limitValue == 0 && *limit != "all") || !siteText) {
        return std::nullopt;
    }
    return JournalOwner{.listHash = std::string(*list),
                        .format = std::string(*format),
                        .site = std::move(*siteText),
                        .limit = *limitValue};
}

std::string RecordBody(std::string_view size, std::string_view keyword, std::string_view check) {
    std::string body(check);
    body += '\t';
    body += size;
    body += '\t';
    body += keyword;
    return body;
}

}  // namespace

JournalOwner MakeJournalOwner(const std::vector<std::string>& keywords, std::string format,
                              std::string site, double maxItems) {
    // The keywords as the run sees them: a list saved again with other line
    // ends or blank lines is still the same list.
    std::string list;
    for (const std::string& keyword : keywords) {
        list += keyword;
        list += '\n';
    }
    return JournalOwner{.listHash = Sha1Hex(list),
                        .format = std::move(format),
                        .site = std::move(site),
                        .limit = maxItems > 0 ? static_cast<std::uint64_t>(maxItems) : 0};
}

std::string OwnerDifference(const JournalOwner& journal, const JournalOwner& run) {
    std::vector<std::string> differences;
    if (journal.listHash != run.listHash) {
        differences.push_back(
            "another keyword list (the list has changed since, or is another file)");
    }
    if (journal.site != run.site) {
        differences.push_back("the site text \"" + journal.site + "\", not \"" + run.site + "\"");
    }
    if (journal.format != run.format) {
        differences.push_back("the format " + journal.format + ", not " + run.format);
    }
    if (journal.limit != run.limit) {
        differences.push_back("the item limit " + LimitText(journal.limit) + ", not " +
                              LimitText(run.limit));
    }
    std::string text;
    for (const std::string& difference : differences) {
        text += (text.empty() ? "" : "; ") + difference;
    }
    return text;
}

std::string JournalHeader(const JournalOwner& owner, std::string& check) {
    const std::string body = std::string(kMagic) + "\tlist=" + owner.listHash +
                             "\tformat=" + owner.format + "\tlimit=" + LimitText(owner.limit) +
                             "\tsite=" + Escape(owner.site);
    check = Check(body);
    return body + std::string(kCheckField) + check + "\n";
}

std::string JournalRecord(std::uint64_t size, const std::string& keyword, std::string& check) {
    const std::string sizeText = std::to_string(size);
    check = Check(RecordBody(sizeText, keyword, check));
    return sizeText + "\t" + check + "\t" + keyword + "\n";
}

JournalContents ReadJournal(std::string_view text) {
    JournalContents contents;
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            // Torn by a crash in the middle of its write: the keyword it
            // recorded counts as not complete. A torn first line is damage,
            // though: the header is put in place whole.
            break;
        }
        const std::string_view line = text.substr(start, end - start);
        ++lineNumber;
        if (lineNumber == 1) {
            contents.owner = ParseHeader(line, contents.check);
            if (!contents.owner) {
                contents.damagedLine = 1;
                return contents;
            }
        } else {
            const std::size_t tab = line.find('\t');
            const std::size_t secondTab =
                tab == std::string_view::npos ? tab : line.find('\t', tab + 1);
            const std::string_view sizeText = line.substr(0, tab);
            const std::string_view check = secondTab == std::string_view::npos
                                               ? ""
                                               : line.substr(tab + 1, secondTab - tab - 1);
            const std::string_view keyword =
                secondTab == std::string_view::npos ? "" : line.substr(secondTab + 1);
            const std::optional<std::uint64_t> size = ParseSize(sizeText);
            if (!size || keyword.empty() || !IsHex(check, kCheckDigits) ||
                check != Check(RecordBody(sizeText, keyword, contents.check))) {
                contents.damagedLine = lineNumber;
                return contents;
            }
            contents.check = check;
            contents.records.emplace_back(*size, keyword);
        }
        start = end + 1;
        contents.wholeLength = start;
    }
    if (!contents.owner) {
        contents.damagedLine = 1;
    }
    return contents;
}

}  // namespace harvest
