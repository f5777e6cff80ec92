// The window on a laptop screen of 1366 x 768 (the second screen of the test run), in every
// language with the extended view open: it stays on that screen, inside its free area, and
// the folder tree's labels are shown whole. The font is the one the project installs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include "gui/drive_area.h"
#include "lang/catalog.h"
#include "screenshots.h"
#include "simulated_window.h"

namespace tarmix::gui {
namespace {

QScreen* laptopScreen() {
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->name() == QStringLiteral("Laptop")) return screen;
    return nullptr;
}

TEST(WindowSize, TheExtendedViewFitsALaptopScreenInEveryLanguage) {
    QScreen* laptop = laptopScreen();
    ASSERT_NE(laptop, nullptr);
    // At a display scale of 200 % the laptop's screen has room for half as much.
    if (laptop->size() != QSize(1366, 768)) GTEST_SKIP() << "not at a display scale of 100 %";
    const QFont font = QApplication::font();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    for (const Language& language : languages()) {
        if (!language.hasCatalogue) continue;
        SCOPED_TRACE(language.name);
        testing::SimulatedWindow simulated(language.index);
        ASSERT_TRUE(simulated.ready());
        CDownloadDialog& controller = simulated.controller();
        MainWindow& window = simulated.window();
        window.setScreen(laptop);
        window.move(laptop->availableGeometry().topLeft() + QPoint(200, 100));
        window.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return controller.device().deviceIdentified; }, 5000));
        controller.OnExtendedView();
        QTreeWidget* tree = window.parts().drives->folders();
        ASSERT_TRUE(QTest::qWaitFor([&] { return tree->topLevelItemCount() > 0; }, 5000));
        QApplication::processEvents();
        testing::saveScreenshot(
            window, QStringLiteral("laptop-extended-") + QString::fromStdString(language.code));

        EXPECT_EQ(window.screen(), laptop);
        const QRect frame = window.frameGeometry();
        EXPECT_TRUE(laptop->availableGeometry().contains(frame))
            << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        // The root's label with its branch mark and picture fits the tree's visible width.
        const QString root = tree->topLevelItem(0)->text(0);
        EXPECT_LE(tree->indentation() + 16 + tree->fontMetrics().horizontalAdvance(root),
                  tree->viewport()->width())
            << root.toStdString();
    }
    QApplication::setFont(font);
    setLanguageIndex(kGermanLanguage);
}

}  // namespace
}  // namespace tarmix::gui
