// The program's mark and the toolbar's pictures: drawn from their SVG files
// at every size asked for, sharp at large sizes and on high-density screens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QToolButton>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/f_main.h"
#include "app/svg_icon.h"
#include "app/zorvane_application.h"
#include "tests/support/temp_dir.h"

namespace {

struct PixelCounts {
    int covered = 0;  // any alpha
    int partial = 0;  // neither empty nor fully covered: an edge
    int total = 0;
};

PixelCounts CountPixels(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    PixelCounts counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            counts.covered += alpha > 0 ? 1 : 0;
            counts.partial += alpha > 0 && alpha < 255 ? 1 : 0;
            ++counts.total;
        }
    }
    return counts;
}

struct ShownIcon {
    std::string name;
    QIcon icon;
};

// The icons as the program shows them: the window's, and those the main
// window's News, Update and Help buttons carry.
class ProgramIcons : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<app::TfrmMain>(folder_.pathWithSlash());
        icons_.push_back({"window", QApplication::windowIcon()});
        for (const char* button : {"btnNews", "btnUpdate", "btnHelp"}) {
            auto* control = window_->findChild<QToolButton*>(QString::fromLatin1(button));
            ASSERT_NE(control, nullptr) << button;
            icons_.push_back({button, control->icon()});
        }
    }

    testsupport::TempDir folder_{"zorvane-icons"};
    std::unique_ptr<app::TfrmMain> window_;
    std::vector<ShownIcon> icons_;
};

TEST_F(ProgramIcons, DrawAtSixteenAndTwoHundredFiftySixPixelsWithSharpEdges) {
    for (const ShownIcon& shown : icons_) {
        ASSERT_FALSE(shown.icon.isNull()) << shown.name;
        for (const int size : {16, 256}) {
            const QPixmap pixmap = shown.icon.pixmap(QSize(size, size));
            ASSERT_EQ(pixmap.size(), QSize(size, size)) << shown.name << " at " << size;
            const PixelCounts counts = CountPixels(pixmap.toImage());
            // Every picture fills a good part of its square.
            EXPECT_GT(counts.covered, counts.total / 10) << shown.name << " at " << size;
            if (size == 256) {
                // Drawn at the size, an edge is a pixel or two wide; a small
                // picture blown up would smear every edge across many.
                EXPECT_LT(counts.partial, counts.total / 20) << shown.name;
            }
        }
    }
}

TEST_F(ProgramIcons, HighDensityScreenGetsAPictureOfItsOwnPixels) {
    for (const ShownIcon& shown : icons_) {
        const QPixmap pixmap = shown.icon.pixmap(QSize(24, 24), 2.0);
        EXPECT_EQ(pixmap.size(), QSize(48, 48)) << shown.name;
        EXPECT_EQ(pixmap.devicePixelRatio(), 2.0) << shown.name;
    }
}

TEST_F(ProgramIcons, DisabledButtonShowsItsPictureGreyed) {
    for (const ShownIcon& shown : icons_) {
        const QImage normal = shown.icon.pixmap(QSize(24, 24), QIcon::Normal).toImage();
        const QImage disabled = shown.icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage();
        EXPECT_NE(normal, disabled) << shown.name;
        EXPECT_GT(CountPixels(disabled).covered, 0) << shown.name;
    }
}

TEST(SvgIcon, FileThatHoldsNoDrawingGivesANullIconThatDrawsNothing) {
    testsupport::TempDir folder("zorvane-icons");
    const std::string notSvg = (folder / "picture.svg").string();
    std::ofstream(notSvg) << "<svg xmlns=\"http://www.w3.org/2000/svg\"><path d=\"M0 0";
    const std::string empty = (folder / "empty.svg").string();
    std::ofstream{empty};
    for (const std::string& file :
         {std::string(":/icons/none.svg"), notSvg, empty, (folder / "missing.svg").string()}) {
        const QIcon icon = app::SvgIcon(QString::fromStdString(file));
        EXPECT_TRUE(icon.isNull()) << file;
        EXPECT_TRUE(icon.pixmap(QSize(32, 32)).isNull()) << file;
    }
}

}  // namespace

// One application object for every test, as in the program; headless unless
// the caller picked a platform.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    app::ZorvaneApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
