#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "util/decode_dollar_hex.h"

// Decoding never grows the text, and a text without "$" comes back unchanged.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = util::DecodeDollarHex(text);
    if (decoded.size() > text.size()) {
        std::abort();
    }
    if (text.find('$') == std::string_view::npos && decoded != text) {
        std::abort();
    }
    return 0;
}
