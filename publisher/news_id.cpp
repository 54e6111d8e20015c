#include "publisher/news_id.h"

#include <charconv>

namespace publisher {

std::optional<std::int32_t> ParseNewsId(std::string_view text) {
    // from_chars takes a "-" but no "+"; "+-1" must not pass as -1.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::int32_t NewsIdNumber(std::string_view text) {
    return ParseNewsId(text).value_or(0);
}

}  // namespace publisher
