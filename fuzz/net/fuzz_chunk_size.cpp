// Chunk-size lines and Content-Length headers as a server could send them: the
// readers never crash, and what they accept is what the framing rules allow.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_parse.h"

namespace {

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    std::uint64_t chunk = 0;
    if (net::ParseChunkSize(input, chunk)) {
        std::size_t digits = 0;
        while (digits < input.size() && isHex(input[digits])) {
            ++digits;
        }
        // Accepted: hexadecimal digits, then the end, a blank or an extension.
        if (digits == 0 || chunk > static_cast<std::uint64_t>(INT64_MAX) ||
            (digits < input.size() && input[digits] != ' ' && input[digits] != '\t' &&
             input[digits] != ';')) {
            __builtin_trap();
        }
    }

    // Every line a Content-Length header.
    net::HeaderList headers;
    std::size_t start = 0;
    while (start <= input.size()) {
        const auto end = input.find('\n', start);
        headers.emplace_back("Content-Length", input.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    std::int64_t length = 0;
    if (net::AnnouncedLength(headers, length)) {
        // Accepted lengths agree: every part of every header reads the same.
        for (const auto& [name, value] : headers) {
            std::size_t from = 0;
            for (;;) {
                const auto comma = value.find(',', from);
                if (net::ParseContentLength(trimmed(value.substr(from, comma - from))) != length) {
                    __builtin_trap();
                }
                if (comma == std::string::npos) {
                    break;
                }
                from = comma + 1;
            }
        }
    }
    return 0;
}
