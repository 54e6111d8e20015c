#include "branding/settings_text.h"

#include "branding/tag_reader.h"
#include "util/line_file.h"
#include "util/settings_file.h"

namespace branding {

namespace {

constexpr std::string_view kAffiliatePlaceholder = "%%AFFILIATEID%%";
constexpr std::string_view kDesignedMakeMoneyCaption = "Make Money";

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

struct SingleTag {
    const char* name;
    std::string SettingsText::*field;
};

// The reader's order, which is also the order a brander must write them in.
constexpr SingleTag kSingleTags[] = {
    {"ApplicationName", &SettingsText::ApplicationName},
    {"BranderCode", &SettingsText::BranderCode},
    {"BranderType", &SettingsText::BranderType},
    {"AffiliateURL", &SettingsText::AffiliateURL},
    {"AffiliateTYPE", &SettingsText::AffiliateTYPE},
    {"AffiliateID", &SettingsText::AffiliateID},
    {"MasterNewsBaseURL", &SettingsText::MasterNewsBaseURL},
    {"PlatinumNewsBaseURL", &SettingsText::PlatinumNewsBaseURL},
    {"GoldNewsBaseURL", &SettingsText::GoldNewsBaseURL},
    {"MasterPublID", &SettingsText::MasterPublID},
    {"PlatinumPublID", &SettingsText::PlatinumPublID},
    {"GoldPublID", &SettingsText::GoldPublID},
    {"MakeMoneyButton", &SettingsText::MakeMoneyButton},
    {"AppHelpURL", &SettingsText::AppHelpURL},
    {"CopyrightYears", &SettingsText::CopyrightYears},
    {"CopyrightCompany", &SettingsText::CopyrightCompany},
    {"AboutText", &SettingsText::AboutText},
};

struct FamilyTag {
    const char* name;
    std::vector<std::string> SettingsText::*field;
};

constexpr FamilyTag kFamilyTags[] = {
    {"Welcome", &SettingsText::Welcome},
    {"Banner", &SettingsText::Banner},
    {"Link", &SettingsText::Link},
};

}  // namespace

SettingsText ReadJoinedSettingsText(std::string_view joined, const TagVisitor& visit) {
    TagReader reader(joined);
    SettingsText text;
    for (const SingleTag& tag : kSingleTags) {
        TagFound found = reader.Find(tag.name);
        visit(tag.name, found);
        text.*tag.field = std::move(found.value);
    }
    // A family's entries count up to the first empty one.
    for (const FamilyTag& family : kFamilyTags) {
        for (int number = 1; number <= kMaxFamilyEntries; ++number) {
            const std::string name = family.name + std::to_string(number);
            TagFound found = reader.Find(name);
            visit(name, found);
            if (found.value.empty()) {
                break;
            }
            (text.*family.field).push_back(std::move(found.value));
        }
    }
    text.AffiliateURL = ReplaceAll(text.AffiliateURL, kAffiliatePlaceholder, text.AffiliateID);
    return text;
}

SettingsText ReadSettingsText(std::string_view plain) {
    return ReadJoinedSettingsText(util::JoinLinesCrLf(util::SplitLines(plain)),
                                  [](const std::string&, const TagFound&) {});
}

SettingsText ReadSettingsFile(const std::string& path) {
    const auto plain = util::DecryptSettingsText(path);
    return plain ? ReadSettingsText(*plain) : SettingsText{};
}

std::string MakeMoneyCaption(const SettingsText& text) {
    return text.MakeMoneyButton.empty() ? std::string(kDesignedMakeMoneyCaption)
                                        : text.MakeMoneyButton;
}

}  // namespace branding
