// BrandingSettings: the brand's values for the whole program, with the
// welcome page, banner and two links picked at random from the settings text.
#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <string_view>

#include "branding/settings_text.h"
#include "util/program_version.h"

namespace branding {

struct BrandingSettings {
    std::string ApplicationName;
    std::string BranderCode;
    std::string BranderType;
    std::string AffiliateURL;
    std::string AffiliateTYPE;
    std::string AffiliateID;
    std::string MasterNewsBaseURL;
    std::string PlatinumNewsBaseURL;
    std::string GoldNewsBaseURL;
    std::string MasterPublID;
    std::string PlatinumPublID;
    std::string GoldPublID;
    std::string AppHelpURL;
    std::string CopyrightYears;
    std::string CopyrightCompany;
    std::string AboutText;

    std::string WelcomePage;
    std::string BannerImageFile;
    std::string BannerURL;
    // The number of the Banner entry picked (1 for Banner1), which names its
    // picture data file; 0 without a banner.
    int BannerNumber = 0;
    std::string Link1Caption;
    std::string Link1URL;
    std::string Link2Caption;
    std::string Link2URL;
};

// Where the random picks come from, so tests can pin them.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    // REQUIRES: count > 0. Returns an index in [0, count), uniformly.
    virtual std::size_t Below(std::size_t count) = 0;
};

// A generator seeded from the system's random source.
class SystemRandom final : public RandomSource {
public:
    SystemRandom();
    std::size_t Below(std::size_t count) override;

private:
    std::mt19937 generator_;
};

// Copies the read values and makes the picks: one welcome page, one banner
// (split at "^" into picture name and click URL) and two different links
// (caption and URL). An entry without "^" has an empty second piece.
BrandingSettings PickBranding(const SettingsText& text, RandomSource& random);

// The News button shows when the brand's tier has a publisher id and a news
// base URL; a Free brand shows it on the Master values.
bool NewsButtonVisible(const BrandingSettings& settings);

// The main window's caption: the brand's name and the version, or the
// designed caption when the brand gives no name.
std::string WindowCaption(const BrandingSettings& settings);

}  // namespace branding
