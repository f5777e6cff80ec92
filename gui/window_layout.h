// The widgets of the main window and where they sit. The window's behaviour
// (gui/main_window.h) reaches every control through these parts, by its dialog id.
//
// Compact view: device picture and information with the usage bars, the language choice,
// port, baud rate and options, source, status and progress, and the row of buttons.
// Extended view: the same with the file-system area of the drives beside it.
// Terminal: the terminal's text above the status line and the buttons that switch it off
// and start or stop the application.
#pragma once

#include <QString>
#include <array>
#include <map>
#include <vector>

#include "app/window/window_view.h"
#include "lang/catalog.h"

class QAbstractButton;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;

namespace tarmix::gui {

class DriveArea;
class ModelPicture;
class StatusLine;
class TerminalWidget;
class UsageBar;

// The file-system area's controls: drive tabs (the whole area), folder tree, file list.
inline constexpr int kDriveTabsId = 1397;
inline constexpr int kFolderTreeId = 1301;
inline constexpr int kFileListId = 1132;

struct WindowParts {
    std::map<int, QWidget*> controls;  // every control with a dialog id
    std::array<QRadioButton*, kLastLanguage + 1> languages{};
    QPushButton* startDownload = nullptr;
    QPushButton* extendedView = nullptr;
    QLineEdit* source = nullptr;
    StatusLine* status = nullptr;
    QProgressBar* progress = nullptr;
    QAbstractButton* stop = nullptr;  // the operation's own Stop
    ModelPicture* picture = nullptr;
    std::map<InfoField, QLabel*> info;
    UsageBar* romBar = nullptr;
    UsageBar* ramBar = nullptr;
    DriveArea* drives = nullptr;
    TerminalWidget* terminal = nullptr;  // hidden until the terminal is switched on
    QWidget* terminalBar = nullptr;      // the terminal's own controls, shown with it
    QComboBox* terminalRate = nullptr;
    // What the terminal hides: everything but itself, the status line, TERMINAL_ON_OFF
    // and START_APPLICATION.
    std::vector<QWidget*> hiddenWithTerminal;
};

// Builds the window's widgets into `window` and returns them. The controls that take the
// user's language are left without a caption: the controller's language step puts them on.
WindowParts buildWindow(QDialog& window);

// Puts a caption on a control whatever its kind (button, label or group box).
void setControlText(QWidget* control, const QString& text);

}  // namespace tarmix::gui
