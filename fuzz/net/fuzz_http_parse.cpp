#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_parse.h"

// Every line of the input as a status line, a chunk-size line, a header line
// and a request header line to fold.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    net::HeaderList headers;
    std::size_t start = 0;
    while (start <= input.size()) {
        auto end = input.find('\n', start);
        if (end == std::string::npos) {
            end = input.size();
        }
        const std::string line = input.substr(start, end - start);
        net::ParseStatusCode(line);
        net::ParseContentLength(line);
        std::uint64_t chunk = 0;
        net::ParseChunkSize(line, chunk);
        net::AddHeaderLine(headers, line);
        net::FoldHeaderLine("Cookie: " + line);
        start = end + 1;
    }
    net::FindHeader(headers, "Location");
    return 0;
}
