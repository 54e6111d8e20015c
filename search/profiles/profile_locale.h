// {lang} and {region} in a profile's path and header values: the values a
// user may give, and how they are filled in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "search/profiles/engine_profile.h"

namespace search {

// A language tag or region code is a few letters ("de", "pt-BR", "wt-wt");
// 35 bytes hold any BCP 47 tag an engine takes, and keep a header line short.
inline constexpr std::size_t kMaxLocaleValueBytes = 35;

// Why a language or region value cannot be used, or "": it must be 1 to
// kMaxLocaleValueBytes of ASCII letters, digits, "-" and "_", so that it
// needs no encoding in a header and cannot end or split one.
std::string LocaleValueFault(std::string_view value);

// The value for field ("lang" or "region"): the chosen one when given, else
// the profile's default (empty when it states none).
const std::string& LocaleValue(std::string_view field, const ProfileLocale& chosen,
                               const ProfileLocale& defaults);

// A header value with every "{lang}" and "{region}" replaced by its value,
// as it stands (values are checked by LocaleValueFault).
std::string FillHeaderValue(std::string_view value, const ProfileLocale& chosen,
                            const ProfileLocale& defaults);

}  // namespace search
