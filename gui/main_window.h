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
#pragma once

#include <QDialog>
#include <string>

#include "app/main_window_view.h"
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
};

class MainWindow final : public QDialog, public MainWindowView {
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Where the user's actions go; without a receiver Exit and the frame close the window.
    void setEvents(WindowEvents* events) { events_ = events; }

    // View
    void setStatus(const std::string& text) override;
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
    void closeWindow() override;

    // Compact view, or extended view with the drives' file-system area beside it. The
    // window takes the size its contents need.
    void setExtendedView(bool extended);
    bool extendedView() const;

    // Puts the current language's texts on the parts the controller does not caption:
    // drive tabs and file-list columns.
    void applyLanguage();

    bool holdsTicks() const { return waitCursor_ || modalDepth_ > 0; }

    // Whether a check box or radio button shows a tick; false for other controls.
    bool isChecked(Control control) const;

    // The widget of a control (for the tests); nullptr for an unknown id.
    QWidget* control(Control control) const;
    QAbstractButton* languageButton(int languageIndex) const;
    const WindowParts& parts() const { return parts_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    class ModalScope;

    void connectControls();
    void forward(Control control);
    QString boxTitle(const std::string& caption) const;
    void requestClose();
    void showStatus();

    WindowParts parts_;
    std::string statusText_;
    TransferMeter transfer_;
    WindowEvents* events_ = nullptr;
    bool waitCursor_ = false;
    int modalDepth_ = 0;
    bool closing_ = false;
};

}  // namespace tarmix::gui
