// The window driven by the real controller, with a simulated controller on COM1: the clicks
// an operator makes, and pictures of the states the window goes through.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <memory>

#include "app/main_window.h"
#include "app/settings.h"
#include "gui/drive_area.h"
#include "gui/model_picture.h"
#include "gui/qt_front_end.h"
#include "gui/status_line.h"
#include "gui/usage_bar.h"
#include "lang/catalog.h"
#include "screenshots.h"
#include "sim/boot_library.h"
#include "sim/controller.h"
#include "sim/image_maker.h"
#include "sim/in_process_port.h"

namespace tarmix::gui {
namespace {

using namespace std::chrono_literals;
using testing::saveScreenshot;
using testing::screenshotFolder;

// The watch ticks every 500 ms; a few ticks are enough to identify the controller.
constexpr int kIdentifyWaitMs = 5000;

// Answers the message boxes the window opens while it is on (OK, or the scripted Yes/No),
// and writes down what they said.
class BoxAnswerer {
  public:
    struct Seen {
        QString text;
        QMessageBox::Icon icon;
    };

    BoxAnswerer() {
        timer_.callOnTimeout([this] { answer(); });
        timer_.start(10);
    }

    std::vector<Seen> seen;
    std::deque<bool> yesNo;  // answers to questions; No when empty

  private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        seen.push_back({box->text(), box->icon()});
        QAbstractButton* button = box->button(QMessageBox::Ok);
        if (button == nullptr) {
            const bool yes = !yesNo.empty() && yesNo.front();
            if (!yesNo.empty()) yesNo.pop_front();
            button = box->button(yes ? QMessageBox::Yes : QMessageBox::No);
        }
        button->click();
    }

    QTimer timer_;
};

class WindowOnSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        settingsFolder_ = folder_.path().toStdString();
        ASSERT_EQ(WriteSettings(settingsFolder_, Settings{kEnglishLanguage, 57600, 0, 0}), 0);
        portMap_.setCom(0, {"/dev/simulated-controller", false});
        controller_ = std::make_unique<CDownloadDialog>(
            MainWindowServices{front_.view(), front_.timers(), clock_, portMap_,
                               [this] {
                                   return std::unique_ptr<PortBackend>(
                                       new sim::InProcessPort(device_, clock_));
                               },
                               ProgramFolders{settingsFolder_, settingsFolder_ / "Library"}},
            MainWindowStart{});
        front_.attach(controller_.get());
        controller_->OnInitDialog();
        window().show();
    }

    void TearDown() override {
        front_.attach(nullptr);
        controller_->CloseThroughOk();
        controller_.reset();
        setLanguageIndex(kGermanLanguage);
    }

    MainWindow& window() { return front_.window(); }
    QAbstractButton* button(Control id) {
        return qobject_cast<QAbstractButton*>(window().control(id));
    }
    QString caption(Control id) { return button(id)->text(); }
    QString status() { return window().parts().status->text(); }
    static QString text(int id) { return QString::fromStdString(LoadText(id)); }

    bool waitForIdentification() {
        return QTest::qWaitFor([this] { return controller_->device().deviceIdentified; },
                               kIdentifyWaitMs);
    }

    QTemporaryDir folder_;
    std::filesystem::path settingsFolder_;
    VirtualClock clock_;
    sim::Controller device_{*sim::findModel("alder"), clock_};
    PortMap portMap_;
    QtFrontEnd front_;
    std::unique_ptr<CDownloadDialog> controller_;
    BoxAnswerer boxes_;
};

TEST_F(WindowOnSimulator, ConnectsAndShowsTheIdentifiedController) {
    EXPECT_EQ(window().windowTitle(), "Tarmix (3.5u)");
    EXPECT_TRUE(window().isChecked(Control::Com1));
    EXPECT_FALSE(button(Control::StartDownload)->isEnabled());
    saveScreenshot(window(), "01-connecting");

    ASSERT_TRUE(waitForIdentification()) << status().toStdString();
    EXPECT_EQ(status(), "Connection established");
    EXPECT_EQ(window().parts().info.at(InfoField::Panel)->text(), "Alder-Panel");
    EXPECT_EQ(window().parts().picture->model(), 1);
    EXPECT_TRUE(button(Control::StartDownload)->isEnabled());
    EXPECT_TRUE(window().isChecked(Control::Baud57600));
    EXPECT_TRUE(boxes_.seen.empty());
    saveScreenshot(window(), "02-connected");
}

TEST_F(WindowOnSimulator, ChoosingALanguageRecaptionsTheWindow) {
    EXPECT_EQ(caption(Control::Exit), "Exit");
    EXPECT_TRUE(window().isChecked(Control::RbEnglish));
    ASSERT_TRUE(waitForIdentification());

    window().languageButton(kGermanLanguage)->click();
    EXPECT_EQ(languageIndex(), kGermanLanguage);
    EXPECT_EQ(caption(Control::Exit), text(60605));
    EXPECT_NE(caption(Control::Exit), "Exit");
    EXPECT_EQ(caption(Control::StartDownload), text(60480));
    EXPECT_EQ(window().parts().drives->drives()->tabText(0), text(60140));
    saveScreenshot(window(), "03-german");

    window().languageButton(10)->click();  // Greek
    EXPECT_EQ(window().parts().languages[10]->text(), text(63729));
    saveScreenshot(window(), "04-greek");
}

TEST_F(WindowOnSimulator, TheCompareBoxSwitchesTheDownloadButton) {
    EXPECT_EQ(caption(Control::StartDownload), "Transmit");
    button(Control::Compare)->click();
    EXPECT_EQ(caption(Control::StartDownload), "Compare");
    EXPECT_TRUE(window().isChecked(Control::Compare));
    saveScreenshot(window(), "05-compare");
    button(Control::Compare)->click();
    EXPECT_EQ(caption(Control::StartDownload), "Transmit");
}

TEST_F(WindowOnSimulator, DownloadsAnImageAndShowsItsUsage) {
    const std::string image = (settingsFolder_ / "Application.rom").string();
    std::string error;
    sim::ImageOptions options;
    ASSERT_EQ(sim::MakeRomImage(image, 0x110000, 0x6000, options, error), 0) << error;
    ASSERT_TRUE(waitForIdentification());

    // What the user types in the source field counts once the field loses the focus.
    QLineEdit* source = window().parts().source;
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    source->setFocus();
    QTest::keyClicks(source, QString::fromStdString(image));
    button(Control::StartDownload)->setFocus();

    // A picture half way through, while the operation keeps the window painted.
    bool tookMidway = false;
    QTimer midway;
    midway.callOnTimeout([&] {
        if (tookMidway || window().parts().progress->value() < 300) return;
        tookMidway = true;
        saveScreenshot(window(), "06-downloading");
        EXPECT_TRUE(window().holdsTicks());
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        window().close();  // the frame's close button, in the middle of the transfer
    });
    midway.start(0);
    boxes_.yesNo = {true};  // were the close question asked, it would be answered Yes

    button(Control::StartDownload)->click();
    midway.stop();
    EXPECT_TRUE(tookMidway) << "the window was painted during the download";

    EXPECT_TRUE(controller_->applicationLoaded()) << status().toStdString();
    EXPECT_FALSE(controller_->closed());
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(button(Control::StartApplication)->isEnabled());
    // The watch runs again after the operation and works out the usage.
    EXPECT_TRUE(QTest::qWaitFor([this] { return window().parts().romBar->percent() > 0; },
                                kIdentifyWaitMs));
    EXPECT_FALSE(window().holdsTicks());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
    for (const auto& box : boxes_.seen) {
        EXPECT_NE(box.icon, QMessageBox::Critical) << box.text.toStdString();
        EXPECT_NE(box.icon, QMessageBox::Question) << box.text.toStdString();
    }
    saveScreenshot(window(), "07-downloaded");

    window().setExtendedView(true);
    saveScreenshot(window(), "08-extended");
}

TEST_F(WindowOnSimulator, ExitAsksAndClosesOnlyOnYes) {
    boxes_.yesNo = {false, true};
    button(Control::Exit)->click();
    EXPECT_TRUE(window().isVisible());
    button(Control::Exit)->click();
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(controller_->closed());
    ASSERT_EQ(boxes_.seen.size(), 2u);
    EXPECT_EQ(boxes_.seen[0].icon, QMessageBox::Question);
}

// Every model picture once, for people to look at.
TEST(ModelPictures, SheetOfEveryModel) {
    QWidget sheet;
    sheet.setAutoFillBackground(true);
    constexpr int kColumns = 5;
    for (int code = 0; code <= 18; ++code) {
        auto* picture = new ModelPicture(&sheet);
        picture->setModel(code);
        picture->setGeometry((code % kColumns) * 180, (code / kColumns) * 150, 176, 146);
    }
    sheet.resize(kColumns * 180, 4 * 150);
    EXPECT_TRUE(saveScreenshot(sheet, "09-model-pictures") || screenshotFolder().empty());
}

TEST_F(WindowOnSimulator, UpdateFirmwareAsksThenRenewsTheBootLoader) {
    EXPECT_FALSE(button(Control::UpdateBootloader)->isEnabled());
    std::string error;
    ASSERT_EQ(
        sim::MakeBootLibrary(*sim::findModel("alder"), 31, 30, settingsFolder_ / "Library", error),
        0)
        << error;
    ASSERT_TRUE(waitForIdentification());
    ASSERT_TRUE(QTest::qWaitFor([this] { return button(Control::UpdateBootloader)->isEnabled(); },
                                kIdentifyWaitMs));
    EXPECT_EQ(caption(Control::UpdateBootloader), "Update firmware");
    saveScreenshot(window(), "09-update-enabled");

    boxes_.yesNo = {true};
    button(Control::UpdateBootloader)->click();
    ASSERT_FALSE(boxes_.seen.empty());
    EXPECT_EQ(boxes_.seen.front().icon, QMessageBox::Question);
    EXPECT_TRUE(boxes_.seen.front().text.contains("boot loader"));
    EXPECT_EQ(boxes_.seen.size(), 1u) << boxes_.seen.back().text.toStdString();
    ASSERT_TRUE(waitForIdentification());
    EXPECT_TRUE(window().parts().info.at(InfoField::Firmware)->text().contains("31"));
}

}  // namespace
}  // namespace tarmix::gui
