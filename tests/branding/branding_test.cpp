// The settings text reader, the picks and the News button rule, on texts
// encrypted into a real settings file as a brander would make it.
#include <gtest/gtest.h>

#include <filesystem>

#include "branding/branding_settings.h"
#include "branding/settings_text.h"
#include "scripted_random.h"
#include "tests/support/temp_dir.h"
#include "util/settings_file.h"

namespace branding {
namespace {

namespace fs = std::filesystem;
using branding_test::ScriptedRandom;

std::string Tag(const std::string& name, const std::string& value) {
    return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>";
}

class SettingsFileFixture : public ::testing::Test {
protected:
    SettingsText ReadThroughFile(const std::string& plain) {
        const std::string path = (dir_ / "dbsettings.dat").string();
        util::ReplaceSettingsFile(path, plain);
        return ReadSettingsFile(path);
    }

    testsupport::TempDir dir_{"zorvane-branding"};
};

struct ValueCase {
    const char* name;
    std::string plain;
    std::string SettingsText::*field;
    std::string value;
};

TEST_F(SettingsFileFixture, ReadsEachTagFromTheCursorOn) {
    const std::string inOrder = Tag("ApplicationName", "Example Pro") + "\r\n" +
                                Tag("BranderCode", "EX1") + "\r\n" + Tag("BranderType", "Gold");
    const ValueCase cases[] = {
        {.name = "in order",
         .plain = inOrder,
         .field = &SettingsText::BranderType,
         .value = "Gold"},
        {.name = "code moved before the name: name still read",
         .plain = Tag("BranderCode", "EX1") + Tag("ApplicationName", "Example"),
         .field = &SettingsText::ApplicationName,
         .value = "Example"},
        {.name = "code moved before the name: code lost",
         .plain = Tag("BranderCode", "EX1") + Tag("ApplicationName", "Example"),
         .field = &SettingsText::BranderCode,
         .value = ""},
        {.name = "markers in other case, value keeps its own",
         .plain = "<%%applicationname%%>MiXed Case <%%/APPLICATIONNAME%%>",
         .field = &SettingsText::ApplicationName,
         .value = "MiXed Case "},
        {.name = "unclosed start marker gives empty",
         .plain = "<%%ApplicationName%%>no end " + Tag("BranderCode", "EX1"),
         .field = &SettingsText::ApplicationName,
         .value = ""},
        {.name = "and the next tag is searched after it",
         .plain = "<%%ApplicationName%%>no end " + Tag("BranderCode", "EX1"),
         .field = &SettingsText::BranderCode,
         .value = "EX1"},
        {.name = "a value spans lines ending in LF or CR; they become CR LF",
         .plain = Tag("AboutText", "one\ntwo\rthree\r\nfour"),
         .field = &SettingsText::AboutText,
         .value = "one\r\ntwo\r\nthree\r\nfour"},
        {.name = "a NUL ends the text",
         .plain = std::string("<%%ApplicationName%%>cut") + '\0' + "<%%/ApplicationName%%>",
         .field = &SettingsText::ApplicationName,
         .value = ""},
        {.name = "placeholder replaced twice, lower case kept",
         .plain = Tag("AffiliateURL",
                      "http://a/?id=%%AFFILIATEID%%&b=%%AFFILIATEID%%&c=%%affiliateid%%") +
                  Tag("AffiliateID", "42"),
         .field = &SettingsText::AffiliateURL,
         .value = "http://a/?id=42&b=42&c=%%affiliateid%%"},
        {.name = "an empty id removes the placeholder",
         .plain = Tag("AffiliateURL", "http://a/%%AFFILIATEID%%x"),
         .field = &SettingsText::AffiliateURL,
         .value = "http://a/x"},
        {.name = "an id holding the placeholder is not replaced again",
         .plain = Tag("AffiliateURL", "%%AFFILIATEID%%") + Tag("AffiliateID", "[%%AFFILIATEID%%]"),
         .field = &SettingsText::AffiliateURL,
         .value = "[%%AFFILIATEID%%]"},
        {.name = "text outside markers is ignored",
         .plain = "garbage <%% %%> " + Tag("AppHelpURL", "http://help") + " more",
         .field = &SettingsText::AppHelpURL,
         .value = "http://help"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadThroughFile(c.plain).*c.field, c.value) << c.name;
    }
}

TEST_F(SettingsFileFixture, FamiliesEndAtTheFirstGap) {
    const SettingsText text =
        ReadThroughFile(Tag("Welcome1", "<p>one</p>") + Tag("Welcome2", "<p>two</p>") +
                        Tag("Welcome4", "four") + Tag("Banner10", "ten.gif^http://ten") +
                        Tag("Link1", "A^http://a") + Tag("Link2", "") + Tag("Link3", "C^http://c"));
    EXPECT_EQ(text.Welcome, (std::vector<std::string>{"<p>one</p>", "<p>two</p>"}));
    EXPECT_TRUE(text.Banner.empty()) << "Banner10 is not Banner1";
    EXPECT_EQ(text.Link, std::vector<std::string>{"A^http://a"});

    std::string sixteen;
    for (int n = 1; n <= 17; ++n) {
        sixteen += Tag("Link" + std::to_string(n), std::to_string(n));
    }
    EXPECT_EQ(ReadThroughFile(sixteen).Link.size(), 16u);
}

// Garbled text must never pass for settings: every value empty.
TEST_F(SettingsFileFixture, FileThatIsNotAuthenticHasNoValues) {
    const std::string path = (dir_ / "dbsettings.dat").string();
    util::ReplaceSettingsFile(path, Tag("ApplicationName", "Example"), "another password");
    const SettingsText text = ReadSettingsFile(path);
    EXPECT_EQ(text.ApplicationName, "");
    EXPECT_EQ(MakeMoneyCaption(text), "Make Money");
    ScriptedRandom random;
    EXPECT_FALSE(NewsButtonVisible(PickBranding(text, random)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1)
        << "nothing is written beside the settings file";
}

TEST(MakeMoneyCaption, BrandsCaptionOrTheDesignedOne) {
    EXPECT_EQ(MakeMoneyCaption(ReadSettingsText("")), "Make Money");
    EXPECT_EQ(MakeMoneyCaption(ReadSettingsText(Tag("MakeMoneyButton", "Earn"))), "Earn");
}

TEST(WindowCaption, NameAndVersionOrTheDesignedCaption) {
    BrandingSettings settings;
    EXPECT_EQ(WindowCaption(settings), "Zorvane");
    settings.ApplicationName = "Example";
    EXPECT_EQ(WindowCaption(settings), "Example v2.0");
}

TEST(PickBranding, PicksOneWelcomeOneBannerAndTwoDifferentLinks) {
    SettingsText text;
    text.Welcome = {"w1", "w2", "w3"};
    text.Banner = {"a.png^http://a", "b.gif^http://b^ignored"};
    text.Link = {"L1^http://1", "L2^http://2", "L3^http://3"};
    ScriptedRandom random({2, 1, 0, 0});
    const BrandingSettings s = PickBranding(text, random);
    EXPECT_EQ(random.counts, (std::vector<std::size_t>{3, 2, 3, 2}));
    EXPECT_EQ(s.WelcomePage, "w3");
    EXPECT_EQ(s.BannerImageFile, "b.gif");
    EXPECT_EQ(s.BannerURL, "http://b");
    EXPECT_EQ(s.BannerNumber, 2);
    EXPECT_EQ(s.Link1Caption, "L1");
    EXPECT_EQ(s.Link1URL, "http://1");
    EXPECT_EQ(s.Link2Caption, "L2") << "index 0 among the links left after the first";
    EXPECT_EQ(s.Link2URL, "http://2");
}

TEST(PickBranding, EntriesWithoutACaretAndSingleOrNoLinks) {
    SettingsText text;
    text.Banner = {"plain.png"};
    text.Link = {"Only"};
    ScriptedRandom random;
    const BrandingSettings s = PickBranding(text, random);
    EXPECT_EQ(s.BannerImageFile, "plain.png");
    EXPECT_EQ(s.BannerURL, "");
    EXPECT_EQ(s.Link1Caption, "Only");
    EXPECT_EQ(s.Link1URL, "");
    EXPECT_EQ(s.Link2Caption, "");
    EXPECT_EQ(s.WelcomePage, "");
    EXPECT_EQ(random.counts, (std::vector<std::size_t>{1, 1}));

    const BrandingSettings none = PickBranding(SettingsText{}, random);
    EXPECT_EQ(none.BannerNumber, 0);
    EXPECT_EQ(none.Link1Caption, "");
}

TEST(SystemRandom, StaysInRangeAndReachesEveryIndex) {
    SystemRandom random;
    std::vector<int> seen(3);
    for (int i = 0; i < 300; ++i) {
        const std::size_t pick = random.Below(3);
        ASSERT_LT(pick, 3u);
        ++seen[pick];
    }
    for (int count : seen) {
        EXPECT_GT(count, 0);
    }
    EXPECT_EQ(random.Below(1), 0u);
}

TEST(NewsButtonVisible, TierNeedsItsPublisherIdAndBaseUrl) {
    struct Case {
        const char* type;
        const char* masterId;
        const char* masterUrl;
        const char* goldId;
        const char* goldUrl;
        bool visible;
    };
    const Case cases[] = {
        {.type = "Master",
         .masterId = "7",
         .masterUrl = "http://n/",
         .goldId = "",
         .goldUrl = "",
         .visible = true},
        {.type = "master",
         .masterId = "7",
         .masterUrl = "http://n/",
         .goldId = "",
         .goldUrl = "",
         .visible = false},
        {.type = "Master",
         .masterId = "",
         .masterUrl = "http://n/",
         .goldId = "",
         .goldUrl = "",
         .visible = false},
        {.type = "Master",
         .masterId = "7",
         .masterUrl = "",
         .goldId = "",
         .goldUrl = "",
         .visible = false},
        {.type = "Gold",
         .masterId = "7",
         .masterUrl = "http://n/",
         .goldId = "",
         .goldUrl = "",
         .visible = false},
        {.type = "Gold",
         .masterId = "",
         .masterUrl = "",
         .goldId = "9",
         .goldUrl = "http://g/",
         .visible = true},
        {.type = "Free",
         .masterId = "7",
         .masterUrl = "http://n/",
         .goldId = "",
         .goldUrl = "",
         .visible = true},
        {.type = "Free",
         .masterId = "",
         .masterUrl = "",
         .goldId = "9",
         .goldUrl = "http://g/",
         .visible = false},
        {.type = "",
         .masterId = "7",
         .masterUrl = "http://n/",
         .goldId = "",
         .goldUrl = "",
         .visible = false},
    };
    for (const auto& c : cases) {
        BrandingSettings s;
        s.BranderType = c.type;
        s.MasterPublID = c.masterId;
        s.MasterNewsBaseURL = c.masterUrl;
        s.GoldPublID = c.goldId;
        s.GoldNewsBaseURL = c.goldUrl;
        EXPECT_EQ(NewsButtonVisible(s), c.visible) << c.type << " " << c.masterId << c.goldId;
    }
    BrandingSettings platinum;
    platinum.BranderType = "Platinum";
    platinum.PlatinumPublID = "5";
    platinum.PlatinumNewsBaseURL = "http://p/";
    EXPECT_TRUE(NewsButtonVisible(platinum));
}

}  // namespace
}  // namespace branding
