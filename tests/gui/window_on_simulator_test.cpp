// The window driven by the real controller, with a simulated controller on COM1: the clicks
// an operator makes, and pictures of the states the window goes through.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "app/settings.h"
#include "app/window/download_dialog.h"
#include "gui/drive_area.h"
#include "gui/folder_chooser.h"
#include "gui/model_picture.h"
#include "gui/qt_front_end.h"
#include "gui/qt_timer_host.h"
#include "gui/status_line.h"
#include "gui/terminal_widget.h"
#include "gui/usage_bar.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "platform/stop_request.h"
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
        bool defaultNo;  // a question's default button is No
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
        seen.push_back(
            {box->text(), box->icon(), box->defaultButton() == box->button(QMessageBox::No)});
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

// The lines the window sends to the controller; `onLine` sees each one as it goes out.
class SentLines final : public WireObserver {
  public:
    void onSent(Millis, const uint8_t* data, size_t count) override {
        if (onBytes) onBytes();
        for (size_t i = 0; i < count; ++i) {
            if (data[i] != '\r') {
                current_ += char(data[i]);
                continue;
            }
            lines.push_back(current_);
            current_.clear();
            if (onLine) onLine(lines.back());
        }
    }
    void onReceived(Millis, const uint8_t*, size_t) override {}
    size_t countContaining(const std::string& part) const {
        return size_t(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        }));
    }
    std::vector<std::string> lines;
    std::function<void(const std::string&)> onLine;
    std::function<void()> onBytes;  // before any bytes go out, also those of no line

  private:
    std::string current_;
};

class WindowOnSimulator : public ::testing::Test {
  protected:
    // The two ways an operator stops an operation.
    struct StopWay {
        const char* how;
        std::function<void()> stop;
    };
    std::vector<StopWay> stopWays() {
        return {{"Stop", [this] { QTest::mouseClick(window().parts().stop, Qt::LeftButton); }},
                {"Escape", [this] { QTest::keyClick(&window(), Qt::Key_Escape); }}};
    }

    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        settingsFolder_ = folder_.path().toStdString();
        ASSERT_EQ(WriteSettings(settingsFolder_, Settings{kEnglishLanguage, 57600, 0, 0}), 0);
        portMap_.setCom(0, {"/dev/simulated-controller", false});
        controller_ = std::make_unique<CDownloadDialog>(
            MainWindowServices{
                front_.view(), front_.timers(), clock_, portMap_,
                [this] {
                    return std::unique_ptr<PortBackend>(new sim::InProcessPort(device_, clock_));
                },
                ProgramFolders{settingsFolder_, settingsFolder_ / "Library"}, &sent_},
            MainWindowStart{});
        front_.attach(controller_.get());
        controller_->OnInitDialog();
        window().show();
    }

    void TearDown() override {
        ResetStopRequest();
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
    SentLines sent_;
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
    EXPECT_EQ(caption(Control::Exit), text(text::kExit));
    EXPECT_NE(caption(Control::Exit), "Exit");
    EXPECT_EQ(caption(Control::StartDownload), text(text::kTransmit));
    EXPECT_EQ(window().parts().drives->drives()->tabText(0), text(text::kDriveA));
    EXPECT_EQ(status(), text(text::kConnectionEstablished));  // in German
    EXPECT_NE(status(), "Connection established");
    saveScreenshot(window(), "03-german");

    window().languageButton(10)->click();  // Greek
    EXPECT_EQ(window().parts().languages[10]->text(), text(text::kLanguageGreek));
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

// Chooses an image of `size` bytes for the controller's bank A in the source field.
void chooseImage(CDownloadDialog& controller, MainWindow& window, const std::filesystem::path& path,
                 uint32_t size) {
    std::string error;
    ASSERT_EQ(sim::MakeRomImage(path.string(), 0x110000, size, {}, error), 0) << error;
    window.setSourceText(path.string());
    controller.OnSourceEdited(path.string());
}

// A click on the download button while a download runs is carried out neither then nor
// afterwards: the image is flashed once.
TEST_F(WindowOnSimulator, AClickDuringADownloadIsNeverReplayed) {
    ASSERT_TRUE(waitForIdentification());
    chooseImage(*controller_, window(), settingsFolder_ / "app.rom", 0x4000);
    QAbstractButton* start = button(Control::StartDownload);
    bool posted = false, disabledMeanwhile = false;
    // Once the blocks are out (no more repainting until the download ends), the user
    // clicks again: the click waits in the queue, as a window system's would.
    sent_.onLine = [&](const std::string& line) {
        if (posted || sent_.countContaining(" erase ") == 0 || line.rfind("tell caps", 0) != 0)
            return;
        posted = true;
        disabledMeanwhile = !start->isEnabled() && window().parts().stop->isEnabled();
        const QPoint centre = start->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                start,
                new QMouseEvent(type, centre, start->mapToGlobal(centre), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
    };
    start->click();
    QTest::qWait(1500);  // time for a replayed click to start a second download
    sent_.onLine = nullptr;
    ASSERT_TRUE(posted);
    EXPECT_TRUE(disabledMeanwhile) << "the controls look disabled during the download";
    EXPECT_EQ(sent_.countContaining(" erase "), 1u);
    EXPECT_TRUE(controller_->applicationLoaded());
    EXPECT_TRUE(start->isEnabled());
}

// The Stop control ends a download between two blocks, at the raised rate put back, with
// the window saying what the flash holds.
TEST_F(WindowOnSimulator, StopEndsTheDownloadBetweenBlocksAndRestoresTheRate) {
    ASSERT_TRUE(waitForIdentification());
    ASSERT_TRUE(controller_->device().allowBaud115200);
    controller_->OnBaudRadio(115200);
    chooseImage(*controller_, window(), settingsFolder_ / "big.rom", 0x20000);
    size_t burnsAtStop = 0;
    QTimer midway;
    midway.callOnTimeout([&] {
        if (burnsAtStop != 0 || window().parts().progress->value() < 200) return;
        burnsAtStop = sent_.countContaining("burn ");
        QTest::mouseClick(window().parts().stop, Qt::LeftButton);
    });
    midway.start(0);
    button(Control::StartDownload)->click();
    midway.stop();

    ASSERT_GT(burnsAtStop, 0u);
    EXPECT_LE(sent_.countContaining("burn "), burnsAtStop + 1) << "at most the block under way";
    EXPECT_TRUE(status().startsWith(text(text::kDownloadCutShort))) << status().toStdString();
    EXPECT_FALSE(controller_->applicationLoaded());
    // A command line may follow the bytes of a block at once.
    const auto sentEnding = [this](auto from, const std::string& command) {
        return std::find_if(from, sent_.lines.end(),
                            [&](const std::string& line) { return line.ends_with(command); });
    };
    const auto raised = sentEnding(sent_.lines.begin(), "setbaudrate 115200");
    ASSERT_NE(raised, sent_.lines.end());
    EXPECT_NE(sentEnding(raised, "setbaudrate 57600"), sent_.lines.end());
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(window().parts().stop->isEnabled());
    EXPECT_TRUE(button(Control::StartDownload)->isEnabled());
    EXPECT_FALSE(StopRequested()) << "the next operation runs";
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
    EXPECT_TRUE(boxes_.seen[0].defaultNo);
}

TEST_F(WindowOnSimulator, TheTerminalTakesTheWindowAndGivesItBack) {
    ASSERT_TRUE(waitForIdentification());
    auto& timers = static_cast<QtTimerHost&>(front_.timers());
    const QRect placement = window().geometry();
    std::map<int, bool> shownBefore;
    for (const auto& [id, widget] : window().parts().controls)
        shownBefore[id] = widget->isVisibleTo(&window());

    button(Control::TerminalOnOff)->click();
    EXPECT_EQ(caption(Control::TerminalOnOff), "Hide terminal");
    EXPECT_EQ(status(), "Terminal over COM1");
    TerminalWidget* terminal = window().parts().terminal;
    const std::set<int> stayShown = {int(Control::Terminal),
                                     int(Control::TerminalOnOff),
                                     int(Control::StartApplication),
                                     int(Control::StaticState),
                                     1122,
                                     int(Control::TerminalRate),
                                     int(Control::TerminalEcho),
                                     int(Control::TerminalTimestamps),
                                     int(Control::TerminalClear),
                                     int(Control::TerminalSave),
                                     int(Control::StaticTerminalRate)};
    for (const auto& [id, widget] : window().parts().controls)
        EXPECT_EQ(widget->isVisibleTo(&window()), stayShown.contains(id)) << id;
    EXPECT_GE(terminal->columns(), 80);
    EXPECT_GE(window().width(), placement.width());
    EXPECT_FALSE(timers.isRunning(CDownloadDialog::kWatchTimer));
    EXPECT_TRUE(timers.isRunning(CDownloadDialog::kTerminalTimer));

    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    EXPECT_TRUE(terminal->hasFocus());
    QTest::keyClicks(terminal, "tell drives");
    QTest::keyClick(terminal, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return terminal->toPlainText().contains("Drives: 1024 64 256\nBoot> "); }, 3000))
        << terminal->toPlainText().toStdString();
    QTest::keyClicks(terminal, "tell versio");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return terminal->toPlainText().endsWith("tell versio"); }, 3000));
    saveScreenshot(window(), "11-terminal");

    // A command key shows in the terminal's check box; with local echo a key shows at once,
    // before the device's echo; Clear empties the text.
    QTest::keyClick(terminal, Qt::Key_T, Qt::ControlModifier);
    QTest::keyClick(terminal, Qt::Key_E);
    EXPECT_TRUE(button(Control::TerminalEcho)->isChecked());
    button(Control::TerminalClear)->click();
    EXPECT_EQ(terminal->toPlainText(), "");
    QTest::keyClick(terminal, Qt::Key_N);
    EXPECT_EQ(terminal->toPlainText(), "n");
    QTest::keyClick(terminal, Qt::Key_Return);

    button(Control::TerminalOnOff)->click();
    EXPECT_EQ(caption(Control::TerminalOnOff), "Show terminal");
    for (const auto& [id, widget] : window().parts().controls)
        EXPECT_EQ(widget->isVisibleTo(&window()), shownBefore[id]) << id;
    EXPECT_EQ(window().geometry(), placement);
    EXPECT_TRUE(timers.isRunning(CDownloadDialog::kWatchTimer));
    EXPECT_FALSE(timers.isRunning(CDownloadDialog::kTerminalTimer));
    EXPECT_TRUE(waitForIdentification());
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return status() == "Connection established"; }, kIdentifyWaitMs));
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

// Picks the entry `text` of the context menu that opens next.
class MenuPicker {
  public:
    explicit MenuPicker(QString text) : text_(std::move(text)) {
        timer_.callOnTimeout([this] { pick(); });
        timer_.start(10);
    }
    QStringList offered;  // the entries that were enabled

  private:
    void pick() {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        timer_.stop();
        for (QAction* action : menu->actions())
            if (action->isEnabled()) offered.append(action->text());
        for (QAction* action : menu->actions()) {
            if (action->text() != text_) continue;
            // As the operator does: onto the entry, then a click.
            return QTest::mouseClick(menu, Qt::LeftButton, {},
                                     menu->actionGeometry(action).center());
        }
        menu->close();
    }
    QString text_;
    QTimer timer_;
};

// The names in the file list, one per line.
std::string rowNames(const QTreeWidget& list) {
    std::string names;
    for (int row = 0; row < list.topLevelItemCount(); ++row)
        names += list.topLevelItem(row)->text(0).toStdString() + "\n";
    return names;
}

TEST_F(WindowOnSimulator, TheExtendedViewShowsTheDriveAndDeletesTheChosenFile) {
    const std::filesystem::path driveA = device_.drives().drive(0);
    std::filesystem::create_directories(driveA / "DATA" / "LOG");
    for (const char* name : {"ONE.TXT", "TWO.TXT", "THREE.TXT"})
        std::ofstream(driveA / name, std::ios::binary) << name;
    ASSERT_TRUE(waitForIdentification());
    const QSize compact = window().size();

    button(Control::ExtendedView)->click();
    EXPECT_EQ(caption(Control::ExtendedView), "<<<");
    DriveArea& area = *window().parts().drives;
    ASSERT_TRUE(area.isVisible());
    EXPECT_GT(window().width(), compact.width());
    EXPECT_EQ(area.drives()->currentIndex(), 0);
    EXPECT_EQ(area.drives()->tabText(0), "A:\\ (Flash-Card)");
    QTreeWidgetItem* root = area.folders()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), "A:\\ (Flash-Card)");
    ASSERT_EQ(root->childCount(), 1);
    EXPECT_EQ(root->child(0)->text(0), "DATA");
    EXPECT_EQ(root->child(0)->child(0)->text(0), "LOG");
    QTreeWidget& list = *area.files();
    EXPECT_EQ(rowNames(list), "DATA\nONE.TXT\nTHREE.TXT\nTWO.TXT\n");
    EXPECT_EQ(list.topLevelItem(0)->text(1), "<DIR>");
    EXPECT_EQ(list.topLevelItem(3)->text(1), "7");
    EXPECT_FALSE(list.topLevelItem(3)->text(2).isEmpty()) << "the date column is filled";
    saveScreenshot(window(), "10-extended-files");
    EXPECT_TRUE(window().languageButton(kGermanLanguage)->isEnabled())
        << "every control comes back after an operation";

    // The "File" menu on TWO.TXT: Delete removes exactly that file.
    list.topLevelItem(3)->setSelected(true);
    MenuPicker picker(text(text::kDelete));
    const QRect row = list.visualItemRect(list.topLevelItem(3));
    QContextMenuEvent click(QContextMenuEvent::Mouse, row.center(),
                            list.viewport()->mapToGlobal(row.center()));
    QApplication::sendEvent(list.viewport(), &click);
    EXPECT_TRUE(picker.offered.contains(text(text::kUpload))) << "Upload";
    EXPECT_FALSE(picker.offered.contains(text(text::kNewFolder)))
        << "New folder needs no selection";
    EXPECT_FALSE(std::filesystem::exists(driveA / "TWO.TXT"));
    EXPECT_TRUE(std::filesystem::exists(driveA / "ONE.TXT"));
    EXPECT_TRUE(std::filesystem::exists(driveA / "THREE.TXT"));
    EXPECT_EQ(rowNames(list), "DATA\nONE.TXT\nTHREE.TXT\n");
    EXPECT_TRUE(boxes_.seen.empty());

    // Another language re-reads all drives and ends on C:.
    window().languageButton(kGermanLanguage)->click();
    QApplication::processEvents();  // the window takes the size the new captions need
    EXPECT_EQ(area.drives()->currentIndex(), 2);
    area.drives()->setCurrentIndex(0);
    EXPECT_EQ(area.folders()->topLevelItem(0)->text(0), text(text::kDriveA));
    EXPECT_EQ(list.headerItem()->text(0), text(text::kFileName));
    EXPECT_EQ(rowNames(list), "DATA\nONE.TXT\nTHREE.TXT\n");
    saveScreenshot(window(), "11-extended-german");

    button(Control::ExtendedView)->click();
    EXPECT_EQ(caption(Control::ExtendedView), ">>>");
    EXPECT_FALSE(area.isVisible());
}

// The backup button: the operator picks a folder; the application, every drive and the EEPROM
// go into it, while the status line shows each part's bytes and rate after its own text.
TEST_F(WindowOnSimulator, BackupCopiesTheDrivesWithFiguresInTheStatusLine) {
    device_.setFirmware(40);
    device_.memory().store(0x110000, std::vector<uint8_t>(0x8000, 0x5a));
    const std::filesystem::path log = device_.drives().drive(0) / "LOG";
    std::filesystem::create_directories(log);
    std::ofstream(log / "DAY1.TXT", std::ios::binary) << std::string(40000, 'x');
    const std::filesystem::path backup = settingsFolder_ / "backup";
    std::filesystem::create_directories(backup);
    ASSERT_TRUE(waitForIdentification());

    QString figures;
    QTimer chooserAnswer;
    chooserAnswer.callOnTimeout([&] {
        if (auto* chooser = dynamic_cast<FolderChooser*>(QApplication::activeModalWidget())) {
            chooser->selectPath(backup.string());
            ASSERT_EQ(chooser->chosenPath(), backup.string());
            chooser->okButton()->click();
        }
    });
    // The window shows the figures as the frames of the drive's file arrive (each answered
    // by the PC).
    sent_.onBytes = [&] {
        if (figures.isEmpty() && status().contains("DAY1.TXT") && status().contains(" KiB, ") &&
            !status().contains(" 0.0 of ")) {
            figures = status();
            saveScreenshot(window(), "10-backup-copying-a-drive");
        }
    };
    chooserAnswer.start(0);
    button(Control::Backup)->click();
    chooserAnswer.stop();
    sent_.onBytes = nullptr;

    EXPECT_TRUE(figures.contains(" of 39.1 KiB, ")) << figures.toStdString();
    std::ifstream script(backup / "Reload.rom", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(script), {}};
    EXPECT_NE(text.find("download \"Drive_A\\LOG\\DAY1.TXT\" \"A:\\LOG\\DAY1.TXT\""),
              std::string::npos)
        << text;
    for (const auto& box : boxes_.seen)
        EXPECT_NE(box.icon, QMessageBox::Critical) << box.text.toStdString();
}

// Stop and Escape end a backup between two frames of the drive copy: no restore script and
// no half file on the PC, the status line says so, and the next operation runs.
TEST_F(WindowOnSimulator, StopAndEscapeEndABackupBetweenFrames) {
    device_.setFirmware(40);
    const std::filesystem::path log = device_.drives().drive(0) / "LOG";
    std::filesystem::create_directories(log);
    // Many frames: the stop comes after the first, well before the last.
    std::ofstream(log / "DAY1.TXT", std::ios::binary) << std::string(200000, 'x');
    const std::vector<StopWay> ways = stopWays();
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        // A backup ends with the controller identified afresh.
        ASSERT_TRUE(QTest::qWaitFor([this] { return button(Control::Backup)->isEnabled(); },
                                    kIdentifyWaitMs));
        const std::filesystem::path backup = settingsFolder_ / (std::string("to-") + way.how);
        std::filesystem::create_directories(backup);
        QTimer chooserAnswer;
        chooserAnswer.callOnTimeout([&] {
            if (auto* chooser = dynamic_cast<FolderChooser*>(QApplication::activeModalWidget())) {
                chooser->selectPath(backup.string());
                chooser->okButton()->click();
            }
        });
        bool stopped = false;
        sent_.onBytes = [&] {
            if (stopped || !status().contains("DAY1.TXT") || status().contains(" 0.0 of ")) return;
            stopped = true;
            way.stop();
        };
        const size_t dumps = sent_.countContaining("file dump");
        chooserAnswer.start(0);
        button(Control::Backup)->click();
        chooserAnswer.stop();
        sent_.onBytes = nullptr;

        ASSERT_TRUE(stopped);
        EXPECT_EQ(sent_.countContaining("file dump"), dumps + 1) << "no further file";
        EXPECT_EQ(sent_.countContaining("geteepromdata"), 0u);
        EXPECT_FALSE(std::filesystem::exists(backup / "Reload.rom"));
        EXPECT_FALSE(std::filesystem::exists(backup / "Drive_A" / "LOG" / "DAY1.TXT"));
        EXPECT_TRUE(status().contains("Reload.rom")) << status().toStdString();
        EXPECT_FALSE(StopRequested()) << "the next operation runs";
    }
    saveScreenshot(window(), "11-backup-stopped");
}

// Stop and Escape end every other operation that moves data at its next safe point: no
// further step of its kind goes out, the status line says that it stopped and never that
// it finished, no PC or device file stands half written under its name, and the next
// operation runs.
TEST_F(WindowOnSimulator, StopAndEscapeEndEachOperationAtItsNextSafePoint) {
    namespace fs = std::filesystem;
    // An EEPROM area of two blocks (7680 bytes below the end of its 8192).
    const fs::path state = settingsFolder_ / "device";
    fs::create_directories(state);
    std::ofstream(state / "caps.txt") << "1 7680 8192 0 0\n";
    std::string error;
    ASSERT_TRUE(device_.loadState(state, error)) << error;
    device_.setFirmware(40);
    device_.memory().store(0x110000, std::vector<uint8_t>(0x8000, 0x5a));
    const fs::path driveA = device_.drives().drive(0);
    // Many frames each: a stop comes well before a file's end.
    for (const char* name : {"DAY1.TXT", "DAY2.TXT", "DAY3.TXT"})
        std::ofstream(driveA / name, std::ios::binary) << std::string(60000, 'x');
    std::ofstream(settingsFolder_ / "day.txt", std::ios::binary) << std::string(60000, 'y');
    const fs::path script = settingsFolder_ / "copies.rom";
    std::ofstream(script, std::ios::binary)
        << "download day.txt A:\\NEW1.TXT\r\ndownload day.txt A:\\NEW2.TXT\r\n";
    const fs::path program = settingsFolder_ / "program.rom";
    ASSERT_EQ(sim::MakeRomImage(program.string(), 0x110000, 0x10000, {}, error), 0) << error;
    ASSERT_TRUE(waitForIdentification());

    // The folder chooser and the file dialog take these.
    fs::path chosenFolder, chosenFile;
    QTimer dialogs;
    dialogs.callOnTimeout([&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* chooser = dynamic_cast<FolderChooser*>(modal)) {
            chooser->selectPath(chosenFolder.string());
            chooser->okButton()->click();
        } else if (auto* files = qobject_cast<QFileDialog*>(modal); files && files->isVisible()) {
            // Typed into its name field and accepted directly once it holds the file: it may
            // still be reading a folder, and its own accept can refuse meanwhile.
            const QString path = QString::fromStdString(chosenFile.string());
            if (auto* name = files->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
            if (files->selectedFiles() == QStringList{path})
                static_cast<QDialog*>(files)->done(QDialog::Accepted);
        }
    });
    dialogs.start(10);
    const auto backUpInto = [&](const fs::path& folder) {
        fs::create_directories(folder);
        chosenFolder = folder;
        button(Control::Backup)->click();
    };
    const auto run = [&](const fs::path& rom) {
        window().setSourceText(rom.string());
        controller_->OnSourceEdited(rom.string());
        button(Control::StartDownload)->click();
    };
    // The "File" menu of the extended view on drive A:, with the rows of `names` selected.
    const auto fileMenu = [&](int entry, const std::vector<std::string>& names) {
        QTreeWidget& list = *window().parts().drives->files();
        QTreeWidgetItem* under = nullptr;
        for (int row = 0; row < list.topLevelItemCount(); ++row) {
            QTreeWidgetItem* item = list.topLevelItem(row);
            const bool chosen =
                std::find(names.begin(), names.end(), item->text(0).toStdString()) != names.end();
            item->setSelected(chosen);
            if (chosen || under == nullptr) under = item;
        }
        ASSERT_NE(under, nullptr);
        MenuPicker picker(text(entry));
        const QRect row = list.visualItemRect(under);
        QContextMenuEvent click(QContextMenuEvent::Mouse, row.center(),
                                list.viewport()->mapToGlobal(row.center()));
        QApplication::sendEvent(list.viewport(), &click);
    };
    const fs::path backup = settingsFolder_ / "backup";
    backUpInto(backup);
    ASSERT_TRUE(fs::exists(backup / "Reload.rom")) << status().toStdString();
    const fs::path uploads = settingsFolder_ / "uploads";
    fs::create_directories(uploads);

    const struct {
        const char* operation;
        std::function<void()> start;
        const char* stopAt;  // the stop comes as this command goes out the `nth` time
        size_t nth;
        int stoppedText;  // the status line begins with this text
        std::function<void()> check;
    } operations[] = {
        {"EEPROM save", [&] { backUpInto(settingsFolder_ / "eeprom"); }, "geteepromdata", 1,
         text::kBackupStopped,
         [&] {
             EXPECT_FALSE(fs::exists(settingsFolder_ / "eeprom" / "EEPROM" / "Eeprom.bin"));
             EXPECT_FALSE(fs::exists(settingsFolder_ / "eeprom" / "Reload.rom"));
             fs::remove_all(settingsFolder_ / "eeprom");
         }},
        {"script", [&] { run(script); }, "file load", 1, text::kStoppedAtLine,
         [&] {
             // Said in a message box, and kept out of the next run's way.
             EXPECT_TRUE(boxes_.seen.back().text.contains("<A:\\NEW1.TXT>"));
             fs::remove(driveA / "NEW1.TXT");
             EXPECT_FALSE(fs::exists(driveA / "NEW2.TXT"));
         }},
        {"Upload queue",
         [&] {
             chosenFolder = uploads;
             fileMenu(text::kUpload, {"DAY1.TXT", "DAY2.TXT", "DAY3.TXT"});
             // The queue runs on a timer, after the menu has closed.
             EXPECT_TRUE(QTest::qWaitFor([&] { return sent_.countContaining("file dump") != 0; }));
             EXPECT_TRUE(QTest::qWaitFor([&] { return !window().parts().stop->isEnabled(); }));
         },
         "file dump", 2, text::kCopyStopped,
         [&] {
             EXPECT_TRUE(fs::exists(uploads / "DAY1.TXT"));
             EXPECT_FALSE(fs::exists(uploads / "DAY2.TXT"));
             EXPECT_FALSE(fs::exists(uploads / "DAY3.TXT"));
             EXPECT_EQ(std::distance(fs::directory_iterator(uploads), {}), 1) << "no part file";
             fs::remove_all(uploads / "DAY1.TXT");
         }},
        {"New program",
         [&] {
             chosenFile = program;
             fileMenu(text::kNewProgram, {});
         },
         "file load", 1, text::kDeviceFileCut,
         [&] {
             // The incomplete device file is named, and kept out of the next run's way.
             EXPECT_TRUE(status().contains("Application.exe")) << status().toStdString();
             fs::remove(driveA / "Application.exe");
         }},
        // Last: these restores format the drive.
        {"EEPROM restore", [&] { run(backup / "Reload.rom"); }, "seteepromdata", 1,
         text::kEepromRestoreStopped,
         [&] { EXPECT_EQ(boxes_.seen.back().icon, QMessageBox::Warning) << "it stays on screen"; }},
        {"restore", [&] { run(backup / "Reload.rom"); }, "file load", 1, text::kStoppedAtLine,
         [&] { EXPECT_FALSE(fs::exists(driveA / "DAY2.TXT")); }},
    };
    const std::vector<StopWay> ways = stopWays();
    for (const auto& operation : operations) {
        for (const auto& way : ways) {
            SCOPED_TRACE(std::string(operation.operation) + " / " + way.how);
            ASSERT_TRUE(QTest::qWaitFor([this] { return button(Control::Backup)->isEnabled(); },
                                        kIdentifyWaitMs));
            if (std::string(operation.operation) == "Upload queue" ||
                std::string(operation.operation) == "New program") {
                if (!controller_->extendedView()) button(Control::ExtendedView)->click();
            } else if (controller_->extendedView()) {
                button(Control::ExtendedView)->click();
            }
            boxes_.yesNo = {true, true, true};
            sent_.lines.clear();
            size_t seen = 0;
            bool stopped = false;
            sent_.onLine = [&](const std::string& line) {
                if (stopped || line.find(operation.stopAt) == std::string::npos) return;
                if (++seen < operation.nth) return;
                stopped = true;
                way.stop();
            };
            operation.start();
            sent_.onLine = nullptr;
            boxes_.yesNo.clear();

            std::string wire;
            for (const std::string& line : sent_.lines) wire += line.substr(0, 60) + "\n";
            for (const auto& box : boxes_.seen) wire += box.text.toStdString() + "\n";
            ASSERT_TRUE(stopped) << status().toStdString() << "\n" << wire;
            EXPECT_EQ(sent_.countContaining(operation.stopAt), operation.nth)
                << "no further step of its kind";
            const QString said = text(operation.stoppedText);
            EXPECT_TRUE(status().startsWith(said.left(said.indexOf('%'))))
                << status().toStdString();
            operation.check();
            EXPECT_FALSE(StopRequested()) << "the next operation runs";
        }
    }
    for (const auto& box : boxes_.seen)
        EXPECT_FALSE(box.text.contains(text(text::kDownloadFinished))) << box.text.toStdString();
}

// A stop while a script's closing step runs (the drive list read again after the copy) cuts
// nothing short: the status line keeps what the script said, not "Stopping…".
TEST_F(WindowOnSimulator, AStopDuringTheLastStepLeavesTheOutcomeOnTheStatusLine) {
    std::ofstream(settingsFolder_ / "day.txt", std::ios::binary) << "one frame";
    const std::filesystem::path script = settingsFolder_ / "copy.rom";
    std::ofstream(script, std::ios::binary) << "download day.txt A:\\NEW.TXT\r\n";
    ASSERT_TRUE(waitForIdentification());
    button(Control::ExtendedView)->click();
    window().setSourceText(script.string());
    controller_->OnSourceEdited(script.string());
    const QString copied = text(text::kCopied).left(text(text::kCopied).indexOf('%'));
    for (const auto& way : stopWays()) {
        SCOPED_TRACE(way.how);
        // The script ends with the controller identified afresh.
        ASSERT_TRUE(QTest::qWaitFor([this] { return button(Control::StartDownload)->isEnabled(); },
                                    kIdentifyWaitMs));
        bool loaded = false, stopped = false;
        sent_.onLine = [&](const std::string& line) {
            loaded = loaded || line.starts_with("file load");
            if (loaded && !stopped && line.ends_with("tree a:")) stopped = true, way.stop();
        };
        button(Control::StartDownload)->click();
        sent_.onLine = nullptr;
        ASSERT_TRUE(stopped);
        EXPECT_TRUE(status().startsWith(copied)) << status().toStdString();
        EXPECT_FALSE(StopRequested());
    }
}

}  // namespace
}  // namespace tarmix::gui
