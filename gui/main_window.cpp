#include "gui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <iostream>

#include "gui/drive_area.h"
#include "gui/folder_chooser.h"
#include "gui/model_picture.h"
#include "gui/status_line.h"
#include "gui/terminal_widget.h"
#include "gui/usage_bar.h"
#include "lang/catalog.h"

namespace tarmix::gui {
namespace {

QString qt(const std::string& text) { return QString::fromStdString(text); }

// The controls whose press goes to the controller by id.
constexpr Control kPressable[] = {
    Control::StartDownload,
    Control::Exit,
    Control::ChooseFile,
    Control::TerminalOnOff,
    Control::StartApplication,
    Control::KeepSettings,
    Control::Compare,
    Control::VerifyAfterWrite,
    Control::ExtendedFirmware,
    Control::Backup,
    Control::UpdateBootloader,
    Control::ExtendedView,
    Control::StopOperation,
    Control::TerminalEcho,
    Control::TerminalTimestamps,
    Control::TerminalClear,
    Control::TerminalSave,
};
// Radio buttons that show only what the controller sets.
constexpr Control kControllerRadios[] = {
    Control::Com1, Control::Com2,   Control::Com3,      Control::Com4,       Control::Com5,
    Control::Com6, Control::ComLpt, Control::Baud57600, Control::Baud115200, Control::Baud230400,
};

// Input that would act on a control: thrown away while an operation runs.
bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

// Qt's own texts (standard buttons, the file chooser) for a language index: Italian and
// every index without a language of its own show German, as the program's texts do.
QString qtLanguageCode(int index) {
    for (const Language& language : languages())
        if (language.index == index && language.hasCatalogue && index != kGermanLanguage)
            return QString::fromLatin1(language.code);
    return QStringLiteral("de");
}

constexpr const char* kFileFilter = "ROM-Files (*.rom);;TXT-Files (*.txt);;All Files (*)";
constexpr const char* kTextFileFilter = "TXT-Files (*.txt);;All Files (*)";
constexpr const char* kRomFileFilter = "ROM-Files (*.rom);;All Files (*)";

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
    parts_.terminal->keyTyped = [this](TerminalKey key) {
        if (events_ != nullptr) events_->terminalKey(key);
    };
    parts_.terminal->textTyped = [this](const std::string& text) {
        if (events_ != nullptr) events_->terminalText(text);
    };
    connect(parts_.terminalRate, &QComboBox::activated, this, [this](int index) {
        if (events_ != nullptr)
            events_->terminalRateChosen(parts_.terminalRate->itemData(index).toUInt());
    });
    connectDriveArea();
}

void MainWindow::connectDriveArea() {
    DriveArea& drives = *parts_.drives;
    drives.tabChosen = [this](int drive) {
        if (events_ != nullptr) events_->driveTabChosen(drive);
    };
    drives.folderChosen = [this](int index) {
        if (events_ != nullptr) events_->folderChosen(index);
    };
    drives.folderMenuRequested = [this](int entry) {
        if (events_ != nullptr) events_->folderMenuRequested(entry);
    };
    drives.fileMenuRequested = [this](const std::vector<int>& rows) {
        if (events_ != nullptr) events_->fileMenuRequested(rows);
    };
    drives.nameEdited = [this](const std::vector<int>& rows,
                               const std::optional<std::string>& text) {
        if (events_ != nullptr) events_->fileNameEdited(rows, text);
    };
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
    paintDuringOperation();
}

void MainWindow::setTransferred(uint64_t done, uint64_t total) {
    transfer_.update(done, total, systemClock().now());
    showStatus();
    paintDuringOperation();
}

void MainWindow::paintDuringOperation() {
    constexpr auto kPaintPeriod = std::chrono::milliseconds(50);
    if (!waitCursor_ || modalDepth_ > 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - paintedAt_ < kPaintPeriod) return;
    paintedAt_ = now;
    keepPainted();
}

void MainWindow::clearOperationProgress() {
    transfer_.reset();
    QProgressBar* bar = parts_.progress;
    if (bar->value() != bar->maximum()) bar->setValue(bar->minimum());
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

void MainWindow::setProgress(int position) {
    parts_.progress->setValue(position);
    paintDuringOperation();
}

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
    // Every question comes before something that cannot be undone: Enter declines.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// A box without a caption of its own carries the program's title, as the main window does.
QString MainWindow::boxTitle(const std::string& caption) const {
    return caption.empty() ? windowTitle() : qt(caption);
}

void MainWindow::setWaitCursor(bool on) {
    if (on == waitCursor_) return;
    if (on) {
        waitCursor_ = true;
        transfer_.reset();  // the figures belong to this operation only
        holdInput(true);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        return;
    }
    // Input that came in during the operation and waits to be handled is handled (and thrown
    // away) now, while the window still holds it off.
    keepPainted();
    QApplication::restoreOverrideCursor();
    waitCursor_ = false;
    holdInput(false);
    clearOperationProgress();
}

void MainWindow::keepPainted() {
    ModalScope modal(*this, ModalScope::Repaint);
    // Everything is handled, input included: the event filter throws it away.
    QCoreApplication::processEvents();
}

std::vector<QWidget*> MainWindow::operatedControls() const {
    std::vector<QWidget*> controls;
    for (const auto& [id, widget] : parts_.controls)
        if (widget != parts_.stop && (qobject_cast<QAbstractButton*>(widget) != nullptr ||
                                      qobject_cast<QLineEdit*>(widget) != nullptr))
            controls.push_back(widget);
    for (QAbstractButton* language : parts_.languages)
        if (language != nullptr) controls.push_back(language);
    controls.push_back(parts_.drives);
    return controls;
}

void MainWindow::holdInput(bool on) {
    if (on) {
        // A control listed twice (the language buttons) keeps the state it had first.
        for (QWidget* widget : operatedControls()) {
            enabledAfter_.emplace(widget, widget->isEnabled());
            widget->setEnabled(false);
        }
        parts_.stop->setEnabled(true);
        QApplication::instance()->installEventFilter(this);
        return;
    }
    QApplication::instance()->removeEventFilter(this);
    parts_.stop->setEnabled(false);
    for (const auto& [widget, enabled] : enabledAfter_) widget->setEnabled(enabled);
    enabledAfter_.clear();
}

bool MainWindow::eventFilter(QObject* target, QEvent* event) {
    if (!waitCursor_ || !isUserInput(event->type())) return false;
    auto* widget = qobject_cast<QWidget*>(target);
    // Dialogs of the operation, and the window system's own windows, get their input.
    if (widget == nullptr || widget->window() != this) return false;
    if (widget == parts_.stop) return false;
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && events_ != nullptr)
        events_->stopRequested();
    return true;
}

// --- MainWindowView ---------------------------------------------------------------------

void MainWindow::setEnabled(Control id, bool enabled) {
    QWidget* widget = control(id);
    if (widget == nullptr) return;
    // During an operation the control stays disabled; the state is for afterwards.
    if (const auto held = enabledAfter_.find(widget); held != enabledAfter_.end())
        held->second = enabled;
    else
        widget->setEnabled(enabled);
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

void MainWindow::applyLanguage() {
    parts_.drives->applyLanguage();
    loadQtTranslations();
    // Longer captions must not squeeze the file list: once every caption of the new
    // language is on, the window takes the size they need.
    if (extendedView() && isVisible())
        QTimer::singleShot(0, this, [this] {
            if (extendedView()) fitToContents();
        });
}

void MainWindow::loadQtTranslations() {
    const QString code = qtLanguageCode(languageIndex());
    if (code == qtTranslationCode_) return;
    qtTranslationCode_ = code;
    QCoreApplication::removeTranslator(&qtTranslator_);
    // English needs none; a language Qt has no texts for shows Qt's English ones.
    if (code != QStringLiteral("en") &&
        qtTranslator_.load(QStringLiteral("qt_") + code,
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator_);
}

void MainWindow::holdLayoutAcrossLanguages(const std::function<void(int)>& showLanguage) {
    // Every part whose size follows its captions: the groups and frames, and the buttons.
    std::vector<QWidget*> parts;
    for (QWidget* widget : findChildren<QWidget*>())
        if (widget != parts_.drives && !parts_.drives->isAncestorOf(widget) &&
            (qobject_cast<QAbstractButton*>(widget) != nullptr ||
             qobject_cast<QGroupBox*>(widget) != nullptr ||
             qobject_cast<QLabel*>(widget) != nullptr))
            parts.push_back(widget);
    std::map<QWidget*, QSize> largest;
    const int current = languageIndex();
    for (const Language& language : languages()) {
        showLanguage(language.index);
        for (QWidget* widget : parts)
            largest[widget] = largest[widget].expandedTo(widget->sizeHint());
    }
    showLanguage(current);
    for (const auto& [widget, size] : largest) widget->setMinimumSize(size);
    layout()->activate();
    resize(size().expandedTo(minimumSizeHint()));
}

void MainWindow::setTitle(const std::string& title) { setWindowTitle(qt(title)); }

void MainWindow::setSourceText(const std::string& text) { parts_.source->setText(qt(text)); }

std::optional<std::string> MainWindow::chooseFile(const std::string& startPath) {
    ModalScope modal(*this, ModalScope::Dialog);
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), qt(startPath), QString(kFileFilter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

// The file-system forms of the command line print their entries also when a window shows.
void MainWindow::printEntry(const std::string& line, const JsonEvent&) {
    std::cout << line << "\n" << std::flush;
}

std::optional<std::string> MainWindow::chooseFolder(const std::string& startPath) {
    ModalScope modal(*this, ModalScope::Dialog);
    FolderChooser chooser(this, startPath);
    if (chooser.exec() != QDialog::Accepted) return std::nullopt;
    return chooser.chosenPath();
}

DriveView* MainWindow::driveView() { return parts_.drives; }

std::optional<std::string> MainWindow::chooseSaveFile(const std::string& name) {
    ModalScope modal(*this, ModalScope::Dialog);
    // The dialog asks itself before it replaces an existing file.
    const QString chosen =
        QFileDialog::getSaveFileName(this, QString(), qt(name), QString(kTextFileFilter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

std::vector<std::string> MainWindow::chooseFiles() {
    ModalScope modal(*this, ModalScope::Dialog);
    std::vector<std::string> files;
    for (const QString& file :
         QFileDialog::getOpenFileNames(this, QString(), QString(), QString(kTextFileFilter)))
        files.push_back(file.toStdString());
    return files;
}

std::optional<std::string> MainWindow::chooseRomImage() {
    ModalScope modal(*this, ModalScope::Dialog);
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), QString(), QString(kRomFileFilter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

void MainWindow::closeWindow() {
    closing_ = true;
    done(QDialog::Accepted);
}

// --- The terminal -----------------------------------------------------------------------

void MainWindow::setTerminalShown(bool shown) {
    if (shown == !parts_.terminal->isHidden()) return;
    if (!shown) {
        parts_.terminal->hide();
        parts_.terminalBar->hide();
        for (QWidget* widget : hiddenForTerminal_) widget->show();
        hiddenForTerminal_.clear();
        layout()->activate();
        setGeometry(placementBeforeTerminal_);
        return;
    }
    placementBeforeTerminal_ = geometry();
    for (QWidget* widget : parts_.hiddenWithTerminal) {
        if (widget->isHidden()) continue;
        widget->hide();
        hiddenForTerminal_.push_back(widget);
    }
    parts_.terminal->show();
    parts_.terminalBar->show();
    layout()->activate();
    widenForTerminal();
}

void MainWindow::widenForTerminal() {
    constexpr int kColumns = 80;
    TerminalWidget& terminal = *parts_.terminal;
    const int width = terminal.characterWidth();
    const int missing = kColumns - terminal.columns();
    if (missing <= 0) return;
    QRect placement = geometry();
    placement.setWidth(placement.width() + missing * width + width / 2);
    if (screen() != nullptr) {
        // The frame's own edges count as part of the window on the desktop.
        const QRect work = screen()->availableGeometry();
        const int frameRight = frameGeometry().right() - geometry().right();
        const int overhang = placement.right() + frameRight - work.right();
        const int frameLeft = geometry().left() - frameGeometry().left();
        if (overhang > 0)
            placement.moveLeft(std::max(work.left() + frameLeft, placement.left() - overhang));
    }
    setGeometry(placement);
}

void MainWindow::focusTerminal() { parts_.terminal->setFocus(); }

void MainWindow::updateTerminal(const TerminalUpdate& update) { parts_.terminal->apply(update); }

std::string MainWindow::shownTerminalText() const {
    return parts_.terminal->toPlainText().toStdString();
}

void MainWindow::terminalSettingsChanged(const TerminalSettings& settings) {
    const int rate = parts_.terminalRate->findData(QVariant::fromValue(settings.baud));
    if (rate >= 0) parts_.terminalRate->setCurrentIndex(rate);
    setChecked(Control::TerminalEcho, settings.localEcho);
    setChecked(Control::TerminalTimestamps, settings.timestamps);
}

// --- Placement and closing --------------------------------------------------------------

void MainWindow::setExtendedView(bool extended) {
    if (extended == extendedView()) return;
    parts_.drives->setVisible(extended);
    fitToContents();
}

void MainWindow::fitToContents() {
    layout()->activate();
    // The size the contents ask for, as far as the screen has room beside the frame.
    QSize wanted = sizeHint();
    if (screen() != nullptr) {
        const QSize frame = frameGeometry().size() - geometry().size();
        wanted = wanted.boundedTo(screen()->availableGeometry().size() - frame);
    }
    resize(wanted.expandedTo(minimumSizeHint()));
    keepOnScreen();
}

void MainWindow::keepOnScreen() {
    if (screen() == nullptr || !isVisible()) return;
    const QRect work = screen()->availableGeometry();
    const QRect frame = frameGeometry();
    // The top-left corner wins over the others, so that the title bar stays reachable.
    QPoint corner = frame.topLeft();
    corner.setX(std::max(work.left(), std::min(corner.x(), work.right() - frame.width() + 1)));
    corner.setY(std::max(work.top(), std::min(corner.y(), work.bottom() - frame.height() + 1)));
    if (corner != frame.topLeft()) move(corner);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    keepOnScreen();
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
