// Where the banner picture comes from: the picked entry's data file, read
// with the format its picture name gives, or a file of that name beside it.
#pragma once

#include <optional>
#include <string>

#include "branding/branding_settings.h"

namespace branding {

struct BannerSource {
    // The file whose bytes are the picture.
    std::string path;
    // The picture format the name's extension gives, in lower case ("gif",
    // "png", "jpg", ...); empty when the name has none.
    std::string format;
    // The name contains ".gif" in any case: shown animated.
    bool animated = false;
};

// The last path component of a banner's picture name: the text after its
// last "\", "/" or ":", so no name reaches outside the program folder.
std::string BannerFileName(const std::string& bannerImageFile);

// The banner to show for settings in programFolder (ending in "/"), or
// nullopt when the panel hides: no banner picked, a name that is empty, "."
// or "..", or no data file "banner<N>.dat" for the picked entry. When a file
// of the picture's own name exists beside the data file, that file is shown,
// as a copy that placed it there expects. Nothing is renamed or written.
std::optional<BannerSource> FindBannerSource(const std::string& programFolder,
                                             const BrandingSettings& settings);

}  // namespace branding
