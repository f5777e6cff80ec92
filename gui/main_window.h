// The program's window on Qt 6 Widgets. It shows what the main-window controller tells it
// (MainWindowView) and reports what the user does (WindowEvents); it holds no device logic.
//
// Buttons, check boxes and the port and baud radio buttons report a press by their dialog
// id. The port and baud radio buttons do not change by themselves: they show what the
// controller sets with setChecked. The language radio buttons report the language index.
//
// While a device operation runs (wait cursor on), and while one of the window's message
// boxes, questions or file dialogs is open, holdsTicks() is true: the timer host then keeps
// the controller's timers from interrupting.
//
// While an operation runs, the window's controls look disabled and the user's input to
// them is thrown away (also what arrived but was not yet handled when it ends), so that no
// click is carried out afterwards. The Stop control and Escape are the exceptions: they
// ask the operation to stop. Dialogs the operation opens take input as usual.
#pragma once

#include <QDialog>
#include <QTranslator>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/window/window_view.h"
#include "gui/window_layout.h"
#include "platform/transfer_meter.h"

class QAbstractButton;

namespace tarmix::gui {

class WindowEvents {
  public:
    virtual ~WindowEvents() = default;
    // A button, check box or port/baud radio button was pressed by the user.
    virtual void controlPressed(Control control) = 0;
    // A language radio button was pressed.
    virtual void languageChosen(int languageIndex) = 0;
    // The source field lost the focus, or Return was pressed in it.
    virtual void sourceEdited(const std::string& text) = 0;
    // The user closes the window by its frame or with Escape (not reported while a device
    // operation runs). The window stays open until closeWindow() is called.
    virtual void closeRequested() = 0;
    // A key, or text (typed or pasted, UTF-8), in the shown terminal.
    virtual void terminalKey(TerminalKey key) = 0;
    virtual void terminalText(const std::string& utf8) = 0;
    // A rate chosen for the shown terminal's line.
    virtual void terminalRateChosen(uint32_t baud) { (void)baud; }
    // Escape, or the Stop control, while a device operation runs.
    virtual void stopRequested() = 0;
    // The extended view: a drive tab chosen, a folder selected, a context menu asked for
    // on the tree (the folder under the mouse, or -1) or on the list (the selected rows),
    // and the end of a new row's name edit (nullopt when it was abandoned).
    virtual void driveTabChosen(int) {}
    virtual void folderChosen(int) {}
    virtual void folderMenuRequested(int) {}
    virtual void fileMenuRequested(const std::vector<int>&) {}
    virtual void fileNameEdited(const std::vector<int>&, const std::optional<std::string>&) {}
};

class MainWindow final : public QDialog, public MainWindowView {
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Where the user's actions go; without a receiver Exit and the frame close the window.
    void setEvents(WindowEvents* events) { events_ = events; }

    // View
    void setStatus(const std::string& text) override;
    std::string statusText() const override { return statusText_; }
    void setProgressRange(int low, int high) override;
    void setProgress(int position) override;
    void setTransferred(uint64_t done, uint64_t total) override;
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    void setWaitCursor(bool on) override;
    void keepPainted() override;

    // MainWindowView; a control id the window does not have is ignored. Showing or hiding
    // the drive tabs (1397) switches between the extended and the compact view.
    using QDialog::setEnabled;
    using QDialog::setVisible;
    void setEnabled(Control control, bool enabled) override;
    void setVisible(Control control, bool visible) override;
    void setCaption(Control control, const std::string& caption) override;
    void setChecked(Control control, bool checked) override;
    void setInfo(InfoField field, const std::string& text) override;
    void setUsage(const UsageFigures& usage) override;
    void setModelPicture(int hardwareModel) override;
    void setLanguage(int languageIndex) override;
    void setTitle(const std::string& title) override;
    void setSourceText(const std::string& text) override;
    std::optional<std::string> chooseFile(const std::string& startPath) override;
    std::optional<std::string> chooseFolder(const std::string& startPath) override;
    DriveView* driveView() override;
    std::optional<std::string> chooseSaveFile(const std::string& name) override;
    std::vector<std::string> chooseFiles() override;
    std::optional<std::string> chooseRomImage() override;
    void closeWindow() override;
    void printEntry(const std::string& line, const JsonEvent& json) override;
    std::string shownTerminalText() const override;
    void terminalSettingsChanged(const TerminalSettings& settings) override;
    void setTerminalShown(bool shown) override;
    void focusTerminal() override;
    void updateTerminal(const TerminalUpdate& update) override;

    // Compact view, or extended view with the drives' file-system area beside it. The
    // window takes the size its contents need.
    void setExtendedView(bool extended);
    bool extendedView() const;

    // Puts the current language's texts on the parts the controller does not caption:
    // drive tabs and file-list columns.
    void applyLanguage();

    // Wider by whole characters until the terminal shows 80 columns (never narrower), and
    // moved left as far as that takes it past the desktop's right edge (never past its
    // left edge). Done when the terminal is shown.
    void widenForTerminal();

    bool holdsTicks() const { return waitCursor_ || modalDepth_ > 0; }

    // Gives every captioned part the room its longest translation needs, so that choosing
    // another language moves nothing: `showLanguage` puts one language's captions on (and
    // is called with each, then with the current one again).
    void holdLayoutAcrossLanguages(const std::function<void(int languageIndex)>& showLanguage);

    // Whether a check box or radio button shows a tick; false for other controls.
    bool isChecked(Control control) const;

    // The widget of a control (for the tests); nullptr for an unknown id.
    QWidget* control(Control control) const;
    QAbstractButton* languageButton(int languageIndex) const;
    const WindowParts& parts() const { return parts_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* target, QEvent* event) override;
    // A window that grows (longer labels in the folder tree) stays on its screen.
    void resizeEvent(QResizeEvent* event) override;

  private:
    class ModalScope;

    // The controls an operation disables, the Stop control aside.
    std::vector<QWidget*> operatedControls() const;
    void holdInput(bool on);
    void loadQtTranslations();

    void connectControls();
    void connectDriveArea();
    // Takes the size the contents ask for, as far as the screen has room.
    void fitToContents();
    // Moves the window, frame included, into the free area of the screen it is on.
    void keepOnScreen();
    void forward(Control control);
    QString boxTitle(const std::string& caption) const;
    void requestClose();
    void showStatus();
    // During an operation: repaints, and lets Stop and Escape through, at most every
    // kPaintPeriod, whatever the operation reports.
    void paintDuringOperation();
    // An operation's end: the transfer figures go, and a bar left part-way goes empty.
    void clearOperationProgress();

    WindowParts parts_;
    std::string statusText_;
    TransferMeter transfer_;
    std::chrono::steady_clock::time_point paintedAt_;
    WindowEvents* events_ = nullptr;
    bool waitCursor_ = false;
    int modalDepth_ = 0;
    bool closing_ = false;
    // While the terminal is shown: the placement to come back to, and what it hid.
    QRect placementBeforeTerminal_;
    std::vector<QWidget*> hiddenForTerminal_;
    // While an operation runs: what each control's enabled state is to be afterwards.
    std::map<QWidget*, bool> enabledAfter_;
    QTranslator qtTranslator_;
    QString qtTranslationCode_;
};

}  // namespace tarmix::gui
