#include "gui/usage_bar.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

namespace tarmix::gui {
namespace {

// The colour of the bar at a logical position, whatever the display scale.
QColor pixel(UsageBar& bar, int x, int y) {
    const QImage image = bar.grab().toImage();
    const qreal density = image.devicePixelRatio();
    return image.pixelColor(int(x * density), int(y * density));
}

struct UsageBarTest : ::testing::Test {
    UsageBarTest() {
        rom.resize(202, 22);  // 200 pixels inside the frame
        ram.resize(202, 22);
    }
    void show(const UsageFigures& figures) {
        rom.setFigures(figures);
        ram.setFigures(figures);
    }
    UsageBar rom{UsageBar::Kind::Rom};
    UsageBar ram{UsageBar::Kind::Ram};
};

TEST_F(UsageBarTest, WithoutAnApplicationOnlyTheFileSystemShareShows) {
    show({.romUsage = 0, .ramUsage = 0.25});
    EXPECT_EQ(rom.percent(), -1);
    EXPECT_EQ(ram.percent(), -1);
    EXPECT_EQ(pixel(rom, 190, 10), QColor(255, 0, 255));
    EXPECT_EQ(pixel(rom, 20, 10), rom.palette().color(QPalette::Button));
    EXPECT_EQ(pixel(ram, 20, 10), ram.palette().color(QPalette::Button));
    // The sunken frame: shadow above, light below.
    EXPECT_EQ(pixel(rom, 50, 0), QColor(128, 128, 128));
    EXPECT_EQ(pixel(rom, 50, 21), QColor(255, 255, 255));
}

TEST_F(UsageBarTest, SegmentsAreLaidOverTheWhiteBarWithExclusiveOr) {
    // Half of the bank used, of which half is the image's unused extent; a quarter holds
    // the file system.
    show({.romUsage = 0.5,
          .ramUsage = 0.25,
          .romExtent = 0x1000,
          .romCodeSize = 0x800,
          .ramNeeded = 0x4000,
          .ramAvailable = 0x10000});
    EXPECT_EQ(rom.percent(), 75);
    EXPECT_EQ(ram.percent(), 25);
    EXPECT_EQ(pixel(rom, 20, 10), QColor(127, 127, 255));  // olive over white
    EXPECT_EQ(pixel(rom, 70, 10), QColor(255, 0, 0));      // cyan over white
    EXPECT_EQ(pixel(rom, 140, 10), QColor(255, 255, 255));
    EXPECT_EQ(pixel(rom, 190, 10), QColor(255, 0, 255));  // green over white
    EXPECT_EQ(pixel(ram, 20, 10), QColor(255, 0, 0));
    EXPECT_EQ(pixel(ram, 190, 10), QColor(255, 255, 255));
}

TEST_F(UsageBarTest, FiguresThatCannotBeDrawnStayInsideTheBar) {
    // An image header that names no RAM and no ROM extent, and a usage far beyond the bank.
    show({.romUsage = 1e12,
          .ramUsage = 0.1,
          .romExtent = 0,
          .romCodeSize = 0x100,
          .ramNeeded = 0x100,
          .ramAvailable = 0});
    EXPECT_EQ(ram.percent(), 0);
    EXPECT_EQ(rom.percent(), 99999);
    EXPECT_FALSE(rom.grab().isNull());
    EXPECT_FALSE(ram.grab().isNull());
    EXPECT_EQ(pixel(rom, 50, 21), QColor(255, 255, 255)) << "the frame is not painted over";
}

}  // namespace
}  // namespace tarmix::gui
