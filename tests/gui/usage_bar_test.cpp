#include "gui/usage_bar.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <map>

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

// The percentage must stand out on whatever part of the bar lies under it: red on white,
// white on the magenta the file-system share makes and on the red the RAM share makes.
TEST_F(UsageBarTest, PercentageStandsOutOnEveryPartOfTheBar) {
    struct Case {
        UsageFigures figures;
        bool romBar;
        QColor background;
        QColor text;
    };
    const Case cases[] = {
        {{.romUsage = 0.01, .ramUsage = 0.0}, true, Qt::white, QColor(255, 0, 0)},
        {{.romUsage = 0.01, .ramUsage = 1.0}, true, QColor(255, 0, 255), Qt::white},
        {{.romUsage = 0.5, .ramNeeded = 0x10000, .ramAvailable = 0x10000},
         false,
         QColor(255, 0, 0),
         Qt::white},
    };
    for (const Case& c : cases) {
        show(c.figures);
        UsageBar& bar = c.romBar ? rom : ram;
        const QImage image = bar.grab().toImage();
        const qreal density = image.devicePixelRatio();
        std::map<QRgb, int> seen;  // the colours in the middle, where the text is
        for (int x = 80; x < 122; ++x)
            for (int y = 3; y < 19; ++y) ++seen[image.pixel(int(x * density), int(y * density))];
        EXPECT_GT(seen[c.background.rgb()], 0) << bar.percent();
        EXPECT_GT(seen[c.text.rgb()], 0) << "no text of its colour at " << bar.percent() << "%";
        // Nothing of the text may share the background's colour family only faintly:
        // every other pixel is a blend of the two.
        for (const auto& [colour, count] : seen) {
            const QColor pixel = QColor::fromRgb(colour);
            const auto between = [](int value, int a, int b) {
                return value >= std::min(a, b) - 1 && value <= std::max(a, b) + 1;
            };
            EXPECT_TRUE(between(pixel.red(), c.background.red(), c.text.red()) &&
                        between(pixel.green(), c.background.green(), c.text.green()) &&
                        between(pixel.blue(), c.background.blue(), c.text.blue()))
                << pixel.name().toStdString() << " at " << bar.percent() << "%";
        }
    }
}

}  // namespace
}  // namespace tarmix::gui
