// What a brand's plain settings text holds, read tag by tag with one forward
// cursor, and the one call that reads it from the encrypted settings file.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "branding/tag_reader.h"

namespace branding {

// Entries per numbered family (Welcome1..16, Banner1..16, Link1..16).
inline constexpr int kMaxFamilyEntries = 16;

// Every value exactly as it stands between its markers (line breaks as CR
// LF); a tag that is missing, unclosed, or found only before the place of an
// earlier tag is empty.
struct SettingsText {
    std::string ApplicationName;
    std::string BranderCode;
    std::string BranderType;
    std::string AffiliateURL;  // with every "%%AFFILIATEID%%" replaced
    std::string AffiliateTYPE;
    std::string AffiliateID;
    std::string MasterNewsBaseURL;
    std::string PlatinumNewsBaseURL;
    std::string GoldNewsBaseURL;
    std::string MasterPublID;
    std::string PlatinumPublID;
    std::string GoldPublID;
    std::string MakeMoneyButton;
    std::string AppHelpURL;
    std::string CopyrightYears;
    std::string CopyrightCompany;
    std::string AboutText;
    // The numbered entries up to the first empty one, whole and unsplit.
    std::vector<std::string> Welcome;
    std::vector<std::string> Banner;
    std::vector<std::string> Link;
};

// Reads the tags from a plain settings text: its lines (ending at CR LF, LF
// or CR; a NUL ends the text) are joined with CR LF after each, then every
// tag is looked for, in a fixed order, from where the previous one was found,
// with the markers matched without regard to ASCII case.
SettingsText ReadSettingsText(std::string_view plain);

// Called with every tag the reader looks for, in its order, and what it found.
using TagVisitor = std::function<void(const std::string& tag, const TagFound& found)>;

// ReadSettingsText on text whose lines are already joined with CR LF,
// telling visit about every tag it looks for.
SettingsText ReadJoinedSettingsText(std::string_view joined, const TagVisitor& visit);

// Reads the encrypted settings file at path in memory. A file that is not
// authentic (wrong password, damaged, cut short) counts as a text without
// tags. Throws util::SettingsFileError when the file cannot be read.
SettingsText ReadSettingsFile(const std::string& path);

// The caption of the Make Money button: the brand's, or the designed one.
std::string MakeMoneyCaption(const SettingsText& text);

}  // namespace branding
