// Which file the banner picture comes from, in a folder of side files that
// must stay exactly as it was.
#include "branding/banner_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace branding {
namespace {

namespace fs = std::filesystem;

TEST(BannerFileName, KeepsOnlyTheLastPathComponent) {
    const std::pair<std::string, std::string> cases[] = {
        {"banner.gif", "banner.gif"},
        {"c:\\images\\Banner.GIF", "Banner.GIF"},
        {"c:top.png", "top.png"},
        {"../../etc/passwd", "passwd"},
        {"/etc/shadow", "shadow"},
        {"dir/", ""},
        {"..", ".."},
    };
    for (const auto& [entry, name] : cases) {
        EXPECT_EQ(BannerFileName(entry), name) << entry;
    }
}

class BannerFolder : public ::testing::Test {
protected:
    void Put(const std::string& name) { std::ofstream(dir_ / name) << name; }
    static BrandingSettings Banner(const std::string& file, int number) {
        BrandingSettings settings;
        settings.BannerImageFile = file;
        settings.BannerNumber = number;
        return settings;
    }

    testsupport::TempDir dir_{"zorvane-banner"};
    const std::string folder_ = dir_.pathWithSlash();
};

TEST_F(BannerFolder, ReadsTheDataFileWithTheFormatOfTheName) {
    Put("banner2.dat");
    const auto source = FindBannerSource(folder_, Banner("c:\\art\\Top.GIF", 2));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->path, folder_ + "banner2.dat");
    EXPECT_EQ(source->format, "gif");
    EXPECT_TRUE(source->animated);

    const auto still = FindBannerSource(folder_, Banner("top.Png", 2));
    ASSERT_TRUE(still);
    EXPECT_EQ(still->format, "png");
    EXPECT_FALSE(still->animated);

    const auto bare = FindBannerSource(folder_, Banner("picture", 2));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->format, "");
}

TEST_F(BannerFolder, AFileOfThePicturesNameIsShownInstead) {
    Put("banner1.dat");
    Put("top.png");
    const auto source = FindBannerSource(folder_, Banner("top.png", 1));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->path, folder_ + "top.png");
}

TEST_F(BannerFolder, HidesWithoutDataFileOrWithANameThatIsNoFile) {
    Put("banner1.dat");
    Put("top.png");
    EXPECT_FALSE(FindBannerSource(folder_, Banner("top.png", 2))) << "banner2.dat is missing";
    for (const std::string name : {"", ".", "..", "c:\\dir\\", "x/.."}) {
        EXPECT_FALSE(FindBannerSource(folder_, Banner(name, 1))) << name;
    }
    EXPECT_FALSE(FindBannerSource(folder_, Banner("top.png", 0)));
}

}  // namespace
}  // namespace branding
