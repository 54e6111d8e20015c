#include "branding/settings_text.h"

#include "util/line_file.h"
#include "util/settings_file.h"
#include "util/take_between.h"

namespace branding {

namespace {

constexpr std::string_view kAffiliatePlaceholder = "%%AFFILIATEID%%";
constexpr std::string_view kDesignedMakeMoneyCaption = "Make Money";

// The cursor only moves forward: a tag written before the place of an
// earlier one is not seen, and a start marker without its end marker leaves
// the cursor right after it.
class TagReader {
public:
    explicit TagReader(std::string_view text) : text_(text) {}

    std::string Read(const std::string& tag) {
        const std::string start = "<%%" + tag + "%%>";
        const std::size_t found = util::FindNoCase(text_, start, cursor_);
        if (found == std::string_view::npos) {
            return {};
        }
        cursor_ = found + start.size();
        const std::size_t end = util::FindNoCase(text_, "<%%/" + tag + "%%>", cursor_);
        if (end == std::string_view::npos) {
            return {};
        }
        std::string value(text_.substr(cursor_, end - cursor_));
        cursor_ = end;
        return value;
    }

    // Entries 1, 2, ... up to the first empty one.
    std::vector<std::string> ReadFamily(const std::string& family) {
        std::vector<std::string> entries;
        for (int number = 1; number <= kMaxFamilyEntries; ++number) {
            std::string entry = Read(family + std::to_string(number));
            if (entry.empty()) {
                break;
            }
            entries.push_back(std::move(entry));
        }
        return entries;
    }

private:
    std::string_view text_;
    std::size_t cursor_ = 0;
};

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace

SettingsText ReadSettingsText(std::string_view plain) {
    const std::string joined = util::JoinLinesCrLf(util::SplitLines(plain));
    TagReader reader(joined);
    SettingsText text;
    text.ApplicationName = reader.Read("ApplicationName");
    text.BranderCode = reader.Read("BranderCode");
    text.BranderType = reader.Read("BranderType");
    text.AffiliateURL = reader.Read("AffiliateURL");
    text.AffiliateTYPE = reader.Read("AffiliateTYPE");
    text.AffiliateID = reader.Read("AffiliateID");
    text.AffiliateURL = ReplaceAll(text.AffiliateURL, kAffiliatePlaceholder, text.AffiliateID);
    text.MasterNewsBaseURL = reader.Read("MasterNewsBaseURL");
    text.PlatinumNewsBaseURL = reader.Read("PlatinumNewsBaseURL");
    text.GoldNewsBaseURL = reader.Read("GoldNewsBaseURL");
    text.MasterPublID = reader.Read("MasterPublID");
    text.PlatinumPublID = reader.Read("PlatinumPublID");
    text.GoldPublID = reader.Read("GoldPublID");
    text.MakeMoneyButton = reader.Read("MakeMoneyButton");
    text.AppHelpURL = reader.Read("AppHelpURL");
    text.CopyrightYears = reader.Read("CopyrightYears");
    text.CopyrightCompany = reader.Read("CopyrightCompany");
    text.AboutText = reader.Read("AboutText");
    text.Welcome = reader.ReadFamily("Welcome");
    text.Banner = reader.ReadFamily("Banner");
    text.Link = reader.ReadFamily("Link");
    return text;
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
