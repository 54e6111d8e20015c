#include "search/profiles/profile_locale.h"

#include <algorithm>

namespace search {

std::string LocaleValueFault(std::string_view value) {
    if (value.empty()) {
        return "must not be empty";
    }
    if (value.size() > kMaxLocaleValueBytes) {
        return "longer than " + std::to_string(kMaxLocaleValueBytes) + " bytes";
    }
    const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
    return plain ? "" : "may hold only ASCII letters, digits, \"-\" and \"_\"";
}

const std::string& LocaleValue(std::string_view field, const ProfileLocale& chosen,
                               const ProfileLocale& defaults) {
    if (field == "lang") {
        return chosen.lang.empty() ? defaults.lang : chosen.lang;
    }
    return chosen.region.empty() ? defaults.region : chosen.region;
}

std::string FillHeaderValue(std::string_view value, const ProfileLocale& chosen,
                            const ProfileLocale& defaults) {
    std::string filled;
    while (!value.empty()) {
        const std::size_t open = value.find('{');
        const std::string_view rest = value.substr(open == std::string_view::npos ? 0 : open);
        const std::string_view field = rest.starts_with("{lang}")     ? "lang"
                                       : rest.starts_with("{region}") ? "region"
                                                                      : "";
        if (open == std::string_view::npos) {
            filled.append(value);
            break;
        }
        filled.append(value.substr(0, open));
        if (field.empty()) {
            filled += '{';
            value.remove_prefix(open + 1);
            continue;
        }
        filled += LocaleValue(field, chosen, defaults);
        value.remove_prefix(open + field.size() + 2);
    }
    return filled;
}

}  // namespace search
