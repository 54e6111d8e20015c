// The program's version: shown in the caption and the About box, compared
// and passed on by the update check. The executable carries no other.
#pragma once

#include <string_view>

namespace util {

inline constexpr std::string_view ProgramVersion = "2.0";

}  // namespace util
