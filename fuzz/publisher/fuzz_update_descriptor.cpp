#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "publisher/ini_file.h"
#include "publisher/update_check.h"

// A value never spans lines, and any version text reads as a finite number.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string value = publisher::ReadIniValue(text, "APPLICATION", "Version");
    if (value.find_first_of("\r\n") != std::string::npos) {
        std::abort();
    }
    if (!std::isfinite(publisher::DescriptorVersion(value)) ||
        !std::isfinite(publisher::DescriptorVersion(text))) {
        std::abort();
    }
    publisher::IsNewerVersion(text);
    return 0;
}
