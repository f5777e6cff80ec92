// The windowed front end of the tarmix program: the Qt application, the main window and its
// timers, with the user's events handed to the CDownloadDialog handlers.
//
// The program's entry plugs it into the launcher:
//   return tarmix::RunTarmix(argc, argv, tarmix::gui::MakeQtFrontEnd);
#pragma once

#include <QApplication>
#include <memory>

#include "app/window/front_end.h"
#include "gui/main_window.h"
#include "gui/qt_timer_host.h"

namespace tarmix::gui {

class QtFrontEnd final : public FrontEnd, private WindowEvents {
  public:
    // Runs on the given application, or on one that already exists (tests).
    explicit QtFrontEnd(std::unique_ptr<QApplication> application = nullptr);
    ~QtFrontEnd() override;

    MainWindowView& view() override { return window_; }
    TimerHost& timers() override { return timers_; }
    // Shows the window and runs until it closes; SIGINT or SIGTERM close it as well.
    RunEnd run(CDownloadDialog& controller) override;
    // A run that did not succeed leaves its reason on the error stream.
    void finish(const RunOutcome& outcome) override;

    MainWindow& window() { return window_; }
    // Where the window's events go (run() sets it; the tests set it themselves).
    void attach(CDownloadDialog* controller) { controller_ = controller; }

  private:
    void controlPressed(Control control) override;
    void languageChosen(int languageIndex) override;
    void sourceEdited(const std::string& text) override;
    void closeRequested() override;
    void terminalKey(TerminalKey key) override;
    void terminalText(const std::string& utf8) override;
    void terminalRateChosen(uint32_t baud) override;
    void stopRequested() override;
    void driveTabChosen(int drive) override;
    void folderChosen(int index) override;
    void folderMenuRequested(int entryUnderClick) override;
    void fileMenuRequested(const std::vector<int>& rows) override;
    void fileNameEdited(const std::vector<int>& rows,
                        const std::optional<std::string>& text) override;
    // After SIGINT or SIGTERM: closes the window once no device operation is under way.
    void closeWhenIdle();

    std::unique_ptr<QApplication> application_;  // made first, ended last
    MainWindow window_;
    QtTimerHost timers_;
    CDownloadDialog* controller_ = nullptr;
    bool interrupted_ = false;
};

// The FrontEndFactory of the launcher: makes the Qt application and the window. The
// launcher calls it only when the environment names a display; Qt ends the program with a
// message when that display cannot be opened.
std::unique_ptr<FrontEnd> MakeQtFrontEnd(int argc, char** argv, const ToolOptions& options);

}  // namespace tarmix::gui
