#include "branding/banner_source.h"

#include <sys/stat.h>

#include "util/ascii.h"

namespace branding {

namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string BannerFileName(const std::string& bannerImageFile) {
    const std::size_t separator = bannerImageFile.find_last_of("\\/:");
    return separator == std::string::npos ? bannerImageFile : bannerImageFile.substr(separator + 1);
}

std::optional<BannerSource> FindBannerSource(const std::string& programFolder,
                                             const BrandingSettings& settings) {
    if (settings.BannerImageFile.empty() || settings.BannerNumber <= 0) {
        return std::nullopt;
    }
    const std::string name = BannerFileName(settings.BannerImageFile);
    if (name.empty() || name == "." || name == "..") {
        return std::nullopt;
    }
    const std::string dataFile =
        programFolder + "banner" + std::to_string(settings.BannerNumber) + ".dat";
    if (!Exists(dataFile)) {
        return std::nullopt;
    }
    BannerSource source;
    const std::string named = programFolder + name;
    source.path = Exists(named) ? named : dataFile;
    const std::string lowered = util::AsciiLower(name);
    const std::size_t dot = lowered.rfind('.');
    if (dot != std::string::npos) {
        source.format = lowered.substr(dot + 1);
    }
    source.animated = lowered.find(".gif") != std::string::npos;
    return source;
}

}  // namespace branding
