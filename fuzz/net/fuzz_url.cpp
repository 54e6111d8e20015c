#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_client.h"
#include "net/url.h"

// The input as a URL and as a Location against a fixed current URL.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    try {
        const net::Url url = net::ParseUrl(input);
        url.hostHeader();
        net::DirectoryPath(url.requestUri);
    } catch (const net::HttpError&) {
    }
    try {
        const net::Url current = net::ParseUrl("http://host:8080/a/b/c.php?x=1");
        net::DirectoryPath(net::ResolveLocation(current, input).requestUri);
    } catch (const net::HttpError&) {
    }
    return 0;
}
