#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "util/line_file.h"

// Lines never hold a line break or a NUL, and writing them out and reading
// them back gives the same lines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto lines = util::SplitLines(text);
    for (const auto& line : lines) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            std::abort();
        }
    }
    if (util::SplitLines(util::JoinLinesCrLf(lines)) != lines) {
        std::abort();
    }
    return 0;
}
