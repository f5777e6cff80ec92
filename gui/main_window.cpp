#include "gui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "gui/drive_area.h"
#include "gui/model_picture.h"
#include "gui/status_line.h"
#include "gui/usage_bar.h"

namespace tarmix::gui {
namespace {

QString qt(const std::string& text) { return QString::fromStdString(text); }

// The controls whose press goes to the controller by id.
constexpr Control kPressable[] = {
    Control::StartDownload,    Control::Exit,
    Control::ChooseFile,       Control::TerminalOnOff,
    Control::StartApplication, Control::KeepSettings,
    Control::Compare,          Control::VerifyAfterWrite,
    Control::ExtendedFirmware, Control::Backup,
    Control::UpdateBootloader, Control::ExtendedView,
};
// Radio buttons that show only what the controller sets.
constexpr Control kControllerRadios[] = {
    Control::Com1, Control::Com2,   Control::Com3,      Control::Com4,       Control::Com5,
    Control::Com6, Control::ComLpt, Control::Baud57600, Control::Baud115200, Control::Baud230400,
};

constexpr const char* kFileFilter = "ROM-Files (*.rom);;TXT-Files (*.txt);;All Files (*)";

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Information:
            break;
    }
    return QMessageBox::Information;
}

}  // namespace

// While the window runs an event loop of its own (a dialog, or repainting during an
// operation): ticks wait. A dialog shows the normal cursor even in the middle of an
// operation.
class MainWindow::ModalScope {
  public:
    enum Kind { Dialog, Repaint };
    ModalScope(MainWindow& window, Kind kind)
        : window_(window), arrow_(kind == Dialog && window.waitCursor_) {
        ++window_.modalDepth_;
        if (arrow_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ModalScope() {
        if (arrow_) QApplication::restoreOverrideCursor();
        --window_.modalDepth_;
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

  private:
    MainWindow& window_;
    bool arrow_;
};

MainWindow::MainWindow(QWidget* parent) : QDialog(parent), parts_(buildWindow(*this)) {
    setWindowTitle(QStringLiteral("Tarmix"));
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    setSizeGripEnabled(true);
    connectControls();
}

MainWindow::~MainWindow() { setWaitCursor(false); }

void MainWindow::connectControls() {
    for (Control id : kPressable) {
        auto* button = qobject_cast<QAbstractButton*>(control(id));
        connect(button, &QAbstractButton::clicked, this, [this, id] { forward(id); });
    }
    for (Control id : kControllerRadios) {
        auto* radio = qobject_cast<QAbstractButton*>(control(id));
        // Undo the click's own toggle: the controller decides what is selected.
        connect(radio, &QAbstractButton::clicked, this, [this, radio, id](bool checked) {
            radio->setChecked(!checked);
            forward(id);
        });
    }
    for (int index = 0; index <= kLastLanguage; ++index) {
        connect(parts_.languages[index], &QAbstractButton::clicked, this, [this, index] {
            if (events_ != nullptr) events_->languageChosen(index);
        });
    }
    connect(parts_.source, &QLineEdit::editingFinished, this, [this] {
        if (events_ != nullptr) events_->sourceEdited(parts_.source->text().toStdString());
    });
}

void MainWindow::forward(Control control) {
    if (events_ != nullptr)
        events_->controlPressed(control);
    else if (control == Control::Exit)
        closeWindow();
}

QWidget* MainWindow::control(Control control) const {
    const auto found = parts_.controls.find(static_cast<int>(control));
    return found == parts_.controls.end() ? nullptr : found->second;
}

bool MainWindow::isChecked(Control id) const {
    const auto* button = qobject_cast<const QAbstractButton*>(control(id));
    return button != nullptr && button->isChecked();
}

QAbstractButton* MainWindow::languageButton(int languageIndex) const {
    if (languageIndex < 0 || languageIndex > kLastLanguage) return nullptr;
    return parts_.languages[languageIndex];
}

// --- View -------------------------------------------------------------------------------

void MainWindow::setStatus(const std::string& text) {
    statusText_ = text;
    showStatus();
}

void MainWindow::setTransferred(uint64_t done, uint64_t total) {
    transfer_.update(done, total, systemClock().now());
    showStatus();
}

// The status text, followed by the figures of a transfer while one runs.
void MainWindow::showStatus() {
    std::string shown = statusText_;
    if (transfer_.running()) shown += "  -  " + DescribeTransfer(*transfer_.figures());
    parts_.status->setText(qt(shown));
    // Shown at once, also in the middle of an operation that does not return to the loop.
    if (isVisible()) parts_.status->repaint();
}

void MainWindow::setProgressRange(int low, int high) { parts_.progress->setRange(low, high); }

void MainWindow::setProgress(int position) { parts_.progress->setValue(position); }

void MainWindow::showMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) {
    ModalScope modal(*this, ModalScope::Dialog);
    QMessageBox box(boxIcon(icon), boxTitle(caption), qt(text), QMessageBox::Ok, this);
    box.exec();
}

bool MainWindow::askYesNo(const std::string& text, const std::string& caption) {
    ModalScope modal(*this, ModalScope::Dialog);
    QMessageBox box(QMessageBox::Question, boxTitle(caption), qt(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

// A box without a caption of its own carries the program's title, as the main window does.
QString MainWindow::boxTitle(const std::string& caption) const {
    return caption.empty() ? windowTitle() : qt(caption);
}

void MainWindow::setWaitCursor(bool on) {
    if (on == waitCursor_) return;
    waitCursor_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void MainWindow::keepPainted() {
    ModalScope modal(*this, ModalScope::Repaint);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// --- MainWindowView ---------------------------------------------------------------------

void MainWindow::setEnabled(Control id, bool enabled) {
    if (QWidget* widget = control(id)) widget->setEnabled(enabled);
}

void MainWindow::setVisible(Control id, bool visible) {
    if (static_cast<int>(id) == kDriveTabsId) return setExtendedView(visible);
    if (QWidget* widget = control(id)) widget->setVisible(visible);
}

void MainWindow::setCaption(Control id, const std::string& caption) {
    if (QWidget* widget = control(id)) setControlText(widget, qt(caption));
    if (id == Control::LanguageGroup) applyLanguage();
}

void MainWindow::setChecked(Control id, bool checked) {
    auto* button = qobject_cast<QAbstractButton*>(control(id));
    if (button == nullptr || button->isChecked() == checked) return;
    if (checked || !button->autoExclusive()) return button->setChecked(checked);
    // The checked button of an exclusive set refuses to be cleared directly.
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

void MainWindow::setInfo(InfoField field, const std::string& text) {
    parts_.info.at(field)->setText(qt(text));
}

void MainWindow::setUsage(const UsageFigures& usage) {
    parts_.romBar->setFigures(usage);
    parts_.ramBar->setFigures(usage);
}

void MainWindow::setModelPicture(int hardwareModel) { parts_.picture->setModel(hardwareModel); }

void MainWindow::setLanguage(int languageIndex) {
    if (languageButton(languageIndex) != nullptr)
        setChecked(kLanguageRadios[size_t(languageIndex)], true);
    applyLanguage();
}

void MainWindow::applyLanguage() { parts_.drives->applyLanguage(); }

void MainWindow::setTitle(const std::string& title) { setWindowTitle(qt(title)); }

void MainWindow::setSourceText(const std::string& text) { parts_.source->setText(qt(text)); }

std::optional<std::string> MainWindow::chooseFile(const std::string& startPath) {
    ModalScope modal(*this, ModalScope::Dialog);
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), qt(startPath), QString(kFileFilter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

void MainWindow::closeWindow() {
    closing_ = true;
    done(QDialog::Accepted);
}

// --- Placement and closing --------------------------------------------------------------

void MainWindow::setExtendedView(bool extended) {
    if (extended == extendedView()) return;
    parts_.drives->setVisible(extended);
    layout()->activate();
    // The size the contents ask for, as far as the screen has room.
    QSize wanted = sizeHint();
    if (screen() != nullptr) wanted = wanted.boundedTo(screen()->availableGeometry().size());
    resize(wanted.expandedTo(minimumSizeHint()));
}

bool MainWindow::extendedView() const { return !parts_.drives->isHidden(); }

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closing_ || events_ == nullptr) {
        closing_ = true;
        event->accept();
        return;
    }
    event->ignore();
    requestClose();
}

void MainWindow::reject() { requestClose(); }

void MainWindow::requestClose() {
    if (events_ == nullptr) return closeWindow();
    // The frame stays usable while an operation keeps the window painted; closing then
    // would pull the link away from under the transfer.
    if (holdsTicks()) return;
    events_->closeRequested();
}

}  // namespace tarmix::gui
