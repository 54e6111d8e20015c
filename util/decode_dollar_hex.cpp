#include "util/decode_dollar_hex.h"

#include "util/ascii.h"

namespace util {

std::string DecodeDollarHex(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '$') {
            result += text[i];
            ++i;
            continue;
        }
        const std::string_view digits = text.substr(i + 1, 2);
        if (digits.empty()) {
            return {};
        }
        int value = 0;
        for (const char digit : digits) {
            const int nibble = HexValue(digit);
            if (nibble < 0) {
                return {};
            }
            value = value * 16 + nibble;
        }
        result += static_cast<char>(value);
        i += 1 + digits.size();
    }
    return result;
}

}  // namespace util
