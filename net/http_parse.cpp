#include "net/http_parse.h"

#include <climits>
#include <vector>

#include "net/http_limits.h"
#include "util/ascii.h"

namespace net {

namespace {

std::string trim(std::string_view text) {
    return std::string(util::Trim(text));
}

}  // namespace

int ParseStatusCode(const std::string& statusLine) {
    const auto first = statusLine.find(' ');
    if (first == std::string::npos) {
        return -1;
    }
    const auto second = statusLine.find(' ', first + 1);
    const std::string word = statusLine.substr(first + 1, second - first - 1);
    const std::int64_t value = ParseContentLength(word);
    return value >= 0 && value <= INT_MAX ? static_cast<int>(value) : -1;
}

std::int64_t ParseContentLength(const std::string& value) {
    const std::string text = trim(value);
    if (text.empty()) {
        return -1;
    }
    std::int64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || result > (INT64_MAX - 9) / 10) {
            return -1;
        }
        result = result * 10 + (c - '0');
    }
    return result;
}

bool ParseChunkSize(const std::string& line, std::uint64_t& size) {
    size = 0;
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        if (value > (static_cast<std::uint64_t>(INT64_MAX) >> 4)) {
            return false;
        }
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    // Reading "zz" or "-1" as 0 would end the body early and let the rest pass
    // as the next response.
    if (i == 0 || (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != ';')) {
        return false;
    }
    size = value;
    return true;
}

bool AnnouncedLength(const HeaderList& headers, std::int64_t& length) {
    length = -1;
    std::string first;
    bool seen = false;
    for (const auto& [name, value] : headers) {
        if (!util::EqualsNoCase(name, "Content-Length")) {
            continue;
        }
        std::size_t start = 0;
        for (;;) {
            const auto comma = value.find(',', start);
            const std::string part = trim(value.substr(start, comma - start));
            if (!seen) {
                first = part;
                seen = true;
            } else if (part != first) {
                return false;
            }
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    if (seen) {
        length = ParseContentLength(first);
    }
    return true;
}

void AddHeaderLine(HeaderList& headers, const std::string& line) {
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
        if (!headers.empty()) {
            std::string& value = headers.back().second;
            const std::string part = trim(line);
            value = trim(value);
            if (!part.empty()) {
                if (!value.empty()) {
                    value += ' ';
                }
                value += part;
            }
        }
        return;
    }
    const auto colon = line.find(':');
    if (colon == std::string::npos) {
        return;
    }
    headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
}

const std::string* FindHeader(const HeaderList& headers, const std::string& name) {
    for (const auto& [key, value] : headers) {
        if (util::EqualsNoCase(key, name)) {
            return &value;
        }
    }
    return nullptr;
}

std::string FoldHeaderLine(const std::string& line, const std::function<void()>& pace) {
    if (line.size() <= kFoldLength) {
        return line;
    }
    // Break candidates: the position after a space, tab or comma outside quotes.
    std::vector<std::size_t> breaks;
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ' ' || c == '\t' || c == ',')) {
            breaks.push_back(i + 1);
        }
    }
    std::string out;
    out.reserve(line.size() + line.size() / (kFoldLength / 4));
    std::size_t start = 0;
    // The candidates are visited in one pass: each fold starts where the last
    // one ended, so the scan never goes back (a Cookie line can hold megabytes).
    std::size_t candidate = 0;
    bool continuation = false;
    for (;;) {
        const std::size_t prefix = continuation ? 1 : 0;
        if (line.size() - start + prefix <= kFoldLength) {
            break;
        }
        while (candidate < breaks.size() && breaks[candidate] <= start) {
            ++candidate;
        }
        if (candidate == breaks.size()) {
            break;
        }
        // The last break that keeps the line within the length, else the first
        // break at all: an overlong unbreakable part stays whole.
        std::size_t chosen = breaks[candidate];
        for (std::size_t b = candidate + 1;
             b < breaks.size() && breaks[b] - start + prefix <= kFoldLength; ++b) {
            chosen = breaks[b];
        }
        std::size_t next = chosen;
        while (next < line.size() && (line[next] == ' ' || line[next] == '\t')) {
            ++next;
        }
        if (next == line.size()) {
            break;
        }
        if (continuation) {
            out += ' ';
        }
        out.append(line, start, chosen - start);
        out += "\r\n";
        start = next;
        continuation = true;
        if (pace) {
            pace();
        }
    }
    if (continuation) {
        out += ' ';
    }
    out.append(line, start, std::string::npos);
    return out;
}

std::string NormalisedToken(const std::string& value) {
    return util::AsciiLower(util::Trim(value));
}

}  // namespace net
