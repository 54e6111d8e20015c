// The lines of `zorvane-brand show`, built from the same reader and rules the
// window uses, so the tool can never disagree with the program.
#include "tools/brand/show_settings.h"

#include <cstddef>
#include <vector>

#include "branding/branding_settings.h"

namespace brandtool {

namespace {

// The News button rule does not look at the picks, so any fixed choice will do.
class FirstEntry final : public branding::RandomSource {
public:
    std::size_t Below(std::size_t) override { return 0; }
};

}  // namespace

std::string EscapeValue(std::string_view value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '\n':
                escaped += "\\n";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string FormatSettings(const branding::SettingsText& text) {
    std::string out;
    const auto line = [&out](std::string_view name, std::string_view value) {
        out.append(name).append("=").append(EscapeValue(value)).append("\n");
    };
    const auto family = [&line](std::string_view name, const std::vector<std::string>& entries) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            line(std::string(name) + "[" + std::to_string(i + 1) + "]", entries[i]);
        }
    };
    line("ApplicationName", text.ApplicationName);
    line("BranderCode", text.BranderCode);
    line("BranderType", text.BranderType);
    line("AffiliateURL", text.AffiliateURL);
    line("AffiliateTYPE", text.AffiliateTYPE);
    line("AffiliateID", text.AffiliateID);
    line("MasterNewsBaseURL", text.MasterNewsBaseURL);
    line("PlatinumNewsBaseURL", text.PlatinumNewsBaseURL);
    line("GoldNewsBaseURL", text.GoldNewsBaseURL);
    line("MasterPublID", text.MasterPublID);
    line("PlatinumPublID", text.PlatinumPublID);
    line("GoldPublID", text.GoldPublID);
    line("MakeMoneyButton", branding::MakeMoneyCaption(text));
    line("AppHelpURL", text.AppHelpURL);
    line("CopyrightYears", text.CopyrightYears);
    line("CopyrightCompany", text.CopyrightCompany);
    line("AboutText", text.AboutText);
    family("Welcome", text.Welcome);
    family("Banner", text.Banner);
    family("Link", text.Link);
    FirstEntry random;
    line("NewsButtonVisible",
         branding::NewsButtonVisible(branding::PickBranding(text, random)) ? "true" : "false");
    return out;
}

}  // namespace brandtool
