#include "branding/branding_settings.h"

#include <algorithm>
#include <vector>

#include "util/split_by_char.h"

namespace branding {

namespace {

constexpr std::string_view kDesignedCaption = "Zorvane";

struct Pieces {
    std::string first;
    std::string second;
};

// Only the first two pieces count; a missing one is empty.
Pieces SplitEntry(const std::string& entry) {
    std::vector<std::string> pieces = util::SplitByChar('^', entry);
    pieces.resize(std::max<std::size_t>(pieces.size(), 2));
    return {std::move(pieces[0]), std::move(pieces[1])};
}

}  // namespace

SystemRandom::SystemRandom() : generator_(std::random_device{}()) {}

std::size_t SystemRandom::Below(std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(generator_);
}

BrandingSettings PickBranding(const SettingsText& text, RandomSource& random) {
    BrandingSettings settings;
    settings.ApplicationName = text.ApplicationName;
    settings.BranderCode = text.BranderCode;
    settings.BranderType = text.BranderType;
    settings.AffiliateURL = text.AffiliateURL;
    settings.AffiliateTYPE = text.AffiliateTYPE;
    settings.AffiliateID = text.AffiliateID;
    settings.MasterNewsBaseURL = text.MasterNewsBaseURL;
    settings.PlatinumNewsBaseURL = text.PlatinumNewsBaseURL;
    settings.GoldNewsBaseURL = text.GoldNewsBaseURL;
    settings.MasterPublID = text.MasterPublID;
    settings.PlatinumPublID = text.PlatinumPublID;
    settings.GoldPublID = text.GoldPublID;
    settings.AppHelpURL = text.AppHelpURL;
    settings.CopyrightYears = text.CopyrightYears;
    settings.CopyrightCompany = text.CopyrightCompany;
    settings.AboutText = text.AboutText;

    if (!text.Welcome.empty()) {
        settings.WelcomePage = text.Welcome[random.Below(text.Welcome.size())];
    }
    if (!text.Banner.empty()) {
        const std::size_t picked = random.Below(text.Banner.size());
        auto [picture, url] = SplitEntry(text.Banner[picked]);
        settings.BannerImageFile = std::move(picture);
        settings.BannerURL = std::move(url);
        settings.BannerNumber = static_cast<int>(picked) + 1;
    }
    // The second link is picked among the entries left after the first, so
    // the bar never shows one link twice.
    std::vector<std::string> links = text.Link;
    if (!links.empty()) {
        const std::size_t first = random.Below(links.size());
        auto [caption, url] = SplitEntry(links[first]);
        settings.Link1Caption = std::move(caption);
        settings.Link1URL = std::move(url);
        links.erase(links.begin() + static_cast<std::ptrdiff_t>(first));
    }
    if (!links.empty()) {
        auto [caption, url] = SplitEntry(links[random.Below(links.size())]);
        settings.Link2Caption = std::move(caption);
        settings.Link2URL = std::move(url);
    }
    return settings;
}

bool NewsButtonVisible(const BrandingSettings& s) {
    const auto tier = [&](std::string_view name, const std::string& publisherId,
                          const std::string& baseUrl) {
        return s.BranderType == name && !publisherId.empty() && !baseUrl.empty();
    };
    return tier("Master", s.MasterPublID, s.MasterNewsBaseURL) ||
           tier("Platinum", s.PlatinumPublID, s.PlatinumNewsBaseURL) ||
           tier("Gold", s.GoldPublID, s.GoldNewsBaseURL) ||
           tier("Free", s.MasterPublID, s.MasterNewsBaseURL);
}

std::string WindowCaption(const BrandingSettings& settings) {
    if (settings.ApplicationName.empty()) {
        return std::string(kDesignedCaption);
    }
    return settings.ApplicationName + " v" + std::string(util::ProgramVersion);
}

}  // namespace branding
