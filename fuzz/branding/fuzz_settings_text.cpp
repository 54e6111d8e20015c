#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "branding/banner_source.h"
#include "branding/branding_settings.h"
#include "branding/settings_text.h"

namespace {

// Picks the last entry each time, so every split is reached.
class LastPick final : public branding::RandomSource {
public:
    std::size_t Below(std::size_t count) override { return count - 1; }
};

}  // namespace

// Any settings text reads without a crash; a family never exceeds its 16
// entries and never holds an empty one; the banner's file name never names
// a folder.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view plain(reinterpret_cast<const char*>(data), size);
    const branding::SettingsText text = branding::ReadSettingsText(plain);
    for (const auto* family : {&text.Welcome, &text.Banner, &text.Link}) {
        if (family->size() > static_cast<std::size_t>(branding::kMaxFamilyEntries)) {
            std::abort();
        }
        for (const auto& entry : *family) {
            if (entry.empty()) {
                std::abort();
            }
        }
    }
    LastPick pick;
    const branding::BrandingSettings settings = branding::PickBranding(text, pick);
    const std::string name = branding::BannerFileName(settings.BannerImageFile);
    if (name.find_first_of("/\\:") != std::string::npos) {
        std::abort();
    }
    return 0;
}
