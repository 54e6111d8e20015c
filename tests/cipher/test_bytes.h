#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cipher_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(std::string_view hex) {
    Bytes out;
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
    }
    return out;
}

inline std::string ToHex(const std::uint8_t* data, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

inline Bytes FromText(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

}  // namespace cipher_test
