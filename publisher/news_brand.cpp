#include "publisher/news_brand.h"

namespace publisher {

std::optional<NewsTier> ActiveNewsTier(const NewsBrand& brand) {
    const struct {
        std::string_view name;
        const std::string& publisherId;
        std::string_view productType;
    } tiers[] = {
        {"Master", brand.MasterPublID, "BM"},
        {"Platinum", brand.PlatinumPublID, "BP"},
        {"Gold", brand.GoldPublID, "BG"},
    };
    for (const auto& tier : tiers) {
        if (brand.BranderType == tier.name && !tier.publisherId.empty()) {
            return NewsTier{tier.publisherId, std::string(tier.productType)};
        }
    }
    return std::nullopt;
}

std::string NewsBaseUrl(const NewsBrand& brand, std::string_view productType) {
    if (productType == "BM") {
        return brand.MasterNewsBaseURL;
    }
    if (productType == "BP") {
        return brand.PlatinumNewsBaseURL;
    }
    if (productType == "BG") {
        return brand.GoldNewsBaseURL;
    }
    return {};
}

}  // namespace publisher
