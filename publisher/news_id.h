#pragma once

// The news service's item ids: text on the wire and in the settings file,
// compared as signed 32-bit numbers by the start-up hint.

#include <cstdint>
#include <optional>
#include <string_view>

namespace publisher {

// A news id: a decimal integer (an optional sign and digits, nothing else)
// within the signed 32-bit range; nullopt for any other text.
std::optional<std::int32_t> ParseNewsId(std::string_view text);

// A news id as the hint rule compares it: 0 for any text that is no news id.
std::int32_t NewsIdNumber(std::string_view text);

}  // namespace publisher
