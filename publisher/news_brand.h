#pragma once

// The brand fields the news services read, and the tier they select.

#include <optional>
#include <string>
#include <string_view>

namespace publisher {

// The branding settings' tier fields, copied from the brand when it is read.
struct NewsBrand {
    std::string BranderType;
    std::string BranderCode;
    std::string MasterPublID;
    std::string PlatinumPublID;
    std::string GoldPublID;
    std::string MasterNewsBaseURL;
    std::string PlatinumNewsBaseURL;
    std::string GoldNewsBaseURL;
};

// The news tier a brand uses: its publisher id and product type code.
struct NewsTier {
    std::string publisherId;
    std::string productType;  // "BM", "BP" or "BG"
};

// The first of Master, Platinum, Gold whose name BranderType equals exactly
// and whose publisher id is not empty; nullopt for any other brand ("Free").
std::optional<NewsTier> ActiveNewsTier(const NewsBrand& brand);

// The news base URL for a product type code; empty for an unknown code.
std::string NewsBaseUrl(const NewsBrand& brand, std::string_view productType);

}  // namespace publisher
