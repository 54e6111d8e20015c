#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "util/split_by_char.h"

// The first byte is the separator. Joining the pieces with it gives the text
// back, short of a trailing separator.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const char separator = static_cast<char>(data[0]);
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto pieces = util::SplitByChar(separator, text);
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].find(separator) != std::string::npos) {
            std::abort();
        }
        joined += pieces[i];
        if (i + 1 < pieces.size()) {
            joined += separator;
        }
    }
    // Only a separator at the very end leaves no piece behind.
    const bool dropped = !text.empty() && text.back() == separator;
    if (joined != (dropped ? text.substr(0, text.size() - 1) : text)) {
        std::abort();
    }
    return 0;
}
