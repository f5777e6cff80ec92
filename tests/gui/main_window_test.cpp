#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <vector>

#include "gui/model_picture.h"
#include "gui/qt_timer_host.h"
#include "gui/status_line.h"
#include "gui/terminal_widget.h"
#include "gui/usage_bar.h"
#include "lang/catalog.h"
#include "screenshots.h"

namespace tarmix::gui {
namespace {

using namespace std::chrono_literals;

struct RecordedEvents : WindowEvents {
    void controlPressed(Control control) override { pressed.push_back(control); }
    void languageChosen(int index) override { languagesChosen.push_back(index); }
    void sourceEdited(const std::string& text) override { sources.push_back(text); }
    void closeRequested() override { ++closeRequests; }
    void terminalKey(TerminalKey key) override { terminalKeys.push_back(key); }
    void terminalText(const std::string& text) override { terminalTyped += text; }
    void stopRequested() override { ++stopRequests; }
    std::vector<Control> pressed;
    std::vector<TerminalKey> terminalKeys;
    std::string terminalTyped;
    std::vector<int> languagesChosen;
    std::vector<std::string> sources;
    int closeRequests = 0;
    int stopRequests = 0;
};

struct WindowTest : ::testing::Test {
    WindowTest() {
        setLanguageIndex(kEnglishLanguage);
        window.setEvents(&events);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    ~WindowTest() override { setLanguageIndex(kGermanLanguage); }
    QAbstractButton* button(Control id) {
        return qobject_cast<QAbstractButton*>(window.control(id));
    }
    void click(Control id) { button(id)->click(); }

    RecordedEvents events;
    MainWindow window;
};

// Runs `inspect` on the next message box the window opens, then answers it with `answer`.
void answerNextBox(QMessageBox::StandardButton answer,
                   std::function<void(QMessageBox&)> inspect = {}) {
    QTimer::singleShot(0, [answer, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (inspect) inspect(*box);
        box->button(answer)->click();
    });
}

TEST_F(WindowTest, PressesReachTheControllerByDialogId) {
    for (Control id : {Control::StartDownload, Control::Compare, Control::ChooseFile,
                       Control::Backup, Control::ExtendedView, Control::Exit})
        click(id);
    EXPECT_EQ(events.pressed,
              (std::vector<Control>{Control::StartDownload, Control::Compare, Control::ChooseFile,
                                    Control::Backup, Control::ExtendedView, Control::Exit}));
    EXPECT_TRUE(window.isVisible()) << "Exit is the controller's to decide";

    window.languageButton(9)->click();
    EXPECT_EQ(events.languagesChosen, std::vector<int>{9});
}

TEST_F(WindowTest, PortAndBaudButtonsShowOnlyWhatTheControllerSets) {
    window.setChecked(Control::Com1, true);
    click(Control::Com3);
    EXPECT_EQ(events.pressed, std::vector<Control>{Control::Com3});
    EXPECT_TRUE(button(Control::Com1)->isChecked());
    EXPECT_FALSE(button(Control::Com3)->isChecked());

    // The connection watch may find no port at all: every button cleared.
    window.setChecked(Control::Com1, false);
    EXPECT_FALSE(button(Control::Com1)->isChecked());
    // LPT1 is selected beside a COM port, not instead of it.
    window.setChecked(Control::Com2, true);
    window.setChecked(Control::ComLpt, true);
    EXPECT_TRUE(button(Control::Com2)->isChecked());
    EXPECT_TRUE(button(Control::ComLpt)->isChecked());
}

TEST_F(WindowTest, TheSelectedLanguageCanBeMovedAndCleared) {
    window.setLanguage(4);
    EXPECT_TRUE(window.languageButton(4)->isChecked());
    window.setLanguage(7);
    EXPECT_TRUE(window.languageButton(7)->isChecked());
    EXPECT_FALSE(window.languageButton(4)->isChecked());
    EXPECT_TRUE(window.languageButton(3)->isHidden()) << "Italian is never offered";
    EXPECT_TRUE(window.languageButton(3)->icon().isNull());
    EXPECT_FALSE(window.languageButton(10)->icon().isNull());
}

TEST_F(WindowTest, ControlStatesAndTextsArriveByDialogId) {
    window.setCaption(Control::StartDownload, "Compare");
    EXPECT_EQ(button(Control::StartDownload)->text(), "Compare");
    window.setCaption(Control::RbFrench,
                      "fran\xc3\xa7"
                      "ais");
    EXPECT_EQ(window.languageButton(2)->text(), QString::fromUtf8("français"));
    window.setEnabled(Control::Backup, false);
    EXPECT_FALSE(window.control(Control::Backup)->isEnabled());
    window.setVisible(Control::StartApplication, false);
    EXPECT_TRUE(window.control(Control::StartApplication)->isHidden());
    window.setCaption(static_cast<Control>(4242), "no such control");  // ignored

    window.setStatus("Connection\nestablished");
    EXPECT_EQ(window.parts().status->text(), "Connection established");
    window.setProgressRange(0, 37);
    window.setProgress(12);
    EXPECT_EQ(window.parts().progress->maximum(), 37);
    EXPECT_EQ(window.parts().progress->value(), 12);
}

TEST_F(WindowTest, TheSourceFieldIsTakenOverWhenItLosesTheFocus) {
    window.setSourceText("old.rom");
    QLineEdit* source = window.parts().source;
    source->setFocus();
    source->selectAll();
    QTest::keyClicks(source, "new.rom");
    EXPECT_TRUE(events.sources.empty());
    window.control(Control::Exit)->setFocus();
    EXPECT_EQ(events.sources, std::vector<std::string>{"new.rom"});
}

TEST_F(WindowTest, ClosingByTheFrameAsksTheControllerFirst) {
    window.close();
    EXPECT_EQ(events.closeRequests, 1);
    EXPECT_TRUE(window.isVisible());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(events.closeRequests, 2);
    EXPECT_TRUE(window.isVisible());
    window.closeWindow();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
}

TEST_F(WindowTest, MessageBoxesCarryTheirIconAndHoldTheTimers) {
    bool heldDuringBox = false;
    answerNextBox(QMessageBox::Ok, [&](QMessageBox& box) {
        EXPECT_EQ(box.icon(), QMessageBox::Critical);
        EXPECT_EQ(box.text(), "Error while open: \n COM3");
        EXPECT_EQ(box.windowTitle(), "Tarmix");
        heldDuringBox = window.holdsTicks();
        testing::saveScreenshot(box, "10-error-message");
    });
    window.showMessage("Error while open: \n COM3", "Tarmix", MessageIcon::Error);
    EXPECT_TRUE(heldDuringBox);
    EXPECT_FALSE(window.holdsTicks());

    window.setTitle("Tarmix (3.5u)");
    answerNextBox(QMessageBox::Yes, [](QMessageBox& box) {
        EXPECT_EQ(box.icon(), QMessageBox::Question);
        EXPECT_EQ(box.windowTitle(), "Tarmix (3.5u)") << "a box without caption";
    });
    EXPECT_TRUE(window.askYesNo("Would you really terminate the program?", ""));
    answerNextBox(QMessageBox::No);
    EXPECT_FALSE(window.askYesNo("Would you really terminate the program?", "Tarmix"));
}

// While an operation runs, a press on the window is never carried out, neither at once nor
// afterwards: the controls look disabled, and only Stop and Escape reach the controller.
TEST_F(WindowTest, InputDuringAnOperationIsThrownAwayExceptStop) {
    window.setEnabled(Control::Backup, false);
    window.setWaitCursor(true);
    EXPECT_FALSE(button(Control::StartDownload)->isEnabled());
    EXPECT_FALSE(window.languageButton(kGermanLanguage)->isEnabled());
    EXPECT_FALSE(window.parts().source->isEnabled());
    EXPECT_TRUE(window.parts().stop->isEnabled());
    window.setEnabled(Control::Backup, true);  // for afterwards
    EXPECT_FALSE(button(Control::Backup)->isEnabled());

    QWidget* start = button(Control::StartDownload);
    QTest::mouseClick(start, Qt::LeftButton);
    QTest::keyClick(window.languageButton(kGermanLanguage), Qt::Key_Space);
    // A click that arrives now but is only handled once the operation is over.
    const QPoint centre = start->rect().center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            start, new QMouseEvent(type, centre, start->mapToGlobal(centre), Qt::LeftButton,
                                   type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                   Qt::NoModifier));
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::mouseClick(window.parts().stop, Qt::LeftButton);
    window.setWaitCursor(false);
    QCoreApplication::processEvents();

    EXPECT_TRUE(events.pressed == std::vector<Control>{Control::StopOperation});
    EXPECT_TRUE(events.languagesChosen.empty());
    EXPECT_EQ(events.stopRequests, 1);
    EXPECT_EQ(events.closeRequests, 0);
    EXPECT_TRUE(button(Control::StartDownload)->isEnabled());
    EXPECT_TRUE(button(Control::Backup)->isEnabled());
    EXPECT_FALSE(window.parts().stop->isEnabled());
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(events.pressed.back(), Control::StartDownload);
}

TEST_F(WindowTest, ExtendedViewShowsTheDrivesBesideTheCompactWindow) {
    const int compactWidth = window.width();
    window.setExtendedView(true);
    EXPECT_TRUE(window.extendedView());
    EXPECT_GT(window.width(), compactWidth);
    // The controller switches it by the drive tabs' visibility.
    window.setVisible(static_cast<Control>(kDriveTabsId), false);
    EXPECT_FALSE(window.extendedView());
    EXPECT_EQ(window.width(), compactWidth);
}

TEST_F(WindowTest, TerminalKeysGoToTheControllerAndTheTextStaysReadOnly) {
    window.setTerminalShown(true);
    TerminalWidget* terminal = window.parts().terminal;
    window.focusTerminal();
    QTest::keyClicks(terminal, "ab");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_Left})
        QTest::keyClick(terminal, key);
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Tab, Qt::Key_Escape})
        QTest::keyClick(terminal, key);
    QTest::keyClick(terminal, Qt::Key_C, Qt::ControlModifier);  // nothing selected: a byte
    EXPECT_EQ(events.terminalTyped, "ab\b\t\x1b\x03");
    EXPECT_EQ(events.terminalKeys,
              (std::vector<TerminalKey>{TerminalKey::Enter, TerminalKey::CursorUp,
                                        TerminalKey::CursorRight, TerminalKey::CursorDown,
                                        TerminalKey::CursorLeft}));
    EXPECT_TRUE(terminal->toPlainText().isEmpty()) << "typing shows nothing by itself";
    EXPECT_EQ(events.closeRequests, 0) << "Escape belongs to the device";
    EXPECT_TRUE(terminal->hasFocus()) << "Tab stays in the terminal";

    // Output arrives; selected text is copied; Paste types the clipboard.
    window.updateTerminal({{TerminalPiece::Text, "Boot> ", 0},
                           {TerminalPiece::NewLine, {}, 0},
                           {TerminalPiece::Text, "Version: 30", 0}});
    EXPECT_EQ(terminal->toPlainText(), "Boot> \nVersion: 30");
    terminal->selectAll();
    QTest::keyClick(terminal, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "Boot> \nVersion: 30");
    EXPECT_EQ(events.terminalTyped, "ab\b\t\x1b\x03");
    QApplication::clipboard()->setText(QString::fromUtf8("tell drives\n\u00e9"));
    QTest::keyClick(terminal, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(events.terminalTyped,
              "ab\b\t\x1b\x03"
              "tell drives\n\u00e9");
    EXPECT_EQ(terminal->toPlainText(), "Boot> \nVersion: 30");

    // The controller drops whole lines from the top; the caret stays at the end.
    terminal->moveCursor(QTextCursor::End);
    window.updateTerminal({{TerminalPiece::Drop, {}, 7},
                           {TerminalPiece::Erase, {}, 0},
                           {TerminalPiece::Text, "1", 0}});
    EXPECT_EQ(terminal->toPlainText(), "Version: 31");
    EXPECT_TRUE(terminal->textCursor().atEnd());
    // Columns line up: every character is as wide as any other, whatever font the
    // system's "monospace" resolves to (some do not report themselves as fixed pitch).
    const QFontMetrics metrics(terminal->font());
    for (const QChar c : QStringLiteral("il.MW@ 0_|"))
        EXPECT_EQ(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QChar('m')))
            << int(c.unicode());
}

TEST_F(WindowTest, ANarrowTerminalIsWidenedTo80ColumnsWithinTheDesktop) {
    window.setTerminalShown(true);
    TerminalWidget* terminal = window.parts().terminal;
    const QRect work = window.screen()->availableGeometry();
    window.setGeometry(work.right() - 300, work.top() + 40, 300, 300);
    ASSERT_LT(terminal->columns(), 80);
    window.widenForTerminal();
    EXPECT_GE(terminal->columns(), 80);
    EXPECT_LE(terminal->columns(), 81);
    EXPECT_LE(window.frameGeometry().right(), work.right());
    EXPECT_GE(window.frameGeometry().left(), work.left());
    // Already wide enough: nothing changes.
    const QRect wide = window.geometry();
    window.widenForTerminal();
    EXPECT_EQ(window.geometry(), wide);
}

TEST(QtTimerHost, TicksWaitWhileTheWindowHoldsThem) {
    bool hold = false;
    std::vector<int> ticks;
    QtTimerHost timers([&](int id) { ticks.push_back(id); }, [&] { return hold; });
    timers.start(1, 10ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks.size() >= 2; }, 2000));
    hold = true;
    ticks.clear();
    QTest::qWait(60);
    EXPECT_TRUE(ticks.empty());
    hold = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ticks.empty(); }, 2000));
    timers.stop(1);
    EXPECT_FALSE(timers.isRunning(1));
    ticks.clear();
    QTest::qWait(40);
    EXPECT_TRUE(ticks.empty());
}

TEST(QtTimerHost, ATickNeverRunsInsideAnother) {
    int depth = 0, deepest = 0, count = 0;
    QtTimerHost* host = nullptr;
    QtTimerHost timers(
        [&](int) {
            ++count;
            deepest = std::max(deepest, ++depth);
            if (count == 1) QTest::qWait(50);  // an event loop inside the handler
            --depth;
            if (count >= 3) host->stop(0);
        },
        [] { return false; });
    host = &timers;
    timers.start(0, 5ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return count >= 3; }, 2000));
    EXPECT_EQ(deepest, 1);
}

}  // namespace
}  // namespace tarmix::gui
