#include "gui/qt_front_end.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>

#include "app/stop_signals.h"
#include "app/window/download_dialog.h"
#include "gui/qt_front_end_translations.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"

#ifdef TARMIX_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace tarmix::gui {
namespace {

constexpr std::array<Control, 6> kComRadios = {Control::Com1, Control::Com2, Control::Com3,
                                               Control::Com4, Control::Com5, Control::Com6};
struct BaudRadio {
    Control control;
    int rate;
};
constexpr BaudRadio kBaudRadios[] = {
    {Control::Baud57600, 57600}, {Control::Baud115200, 115200}, {Control::Baud230400, 230400}};

// Qt ends the program when its X display cannot be reached; ask first, so that a stale
// DISPLAY (an ssh session, a stopped X server) leaves the console instead.
bool displayAnswers() {
#ifdef TARMIX_HAVE_XCB
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* display = std::getenv("DISPLAY");
    const bool usesX = (!platform || !*platform || std::string(platform) == "xcb") &&
                       (!wayland || !*wayland) && display && *display;
    if (!usesX) return true;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
#else
    return true;
#endif
}

// A device operation that is under way is let finish before the window closes.
constexpr int kCloseRetryMs = 100;

// SIGINT and SIGTERM reach the event loop through a socket pair: the handler sets the stop
// request (the operation under way ends at its next safe point) and writes a byte, the loop
// reads it. A second signal abandons the operation at once.
class StopSignals {
  public:
    explicit StopSignals(std::function<void()> onStop) {
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets_.data()) != 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(sockets_[1], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this, onStop] {
            char byte;
            if (read(sockets_[1], &byte, 1) == 1) onStop();
        });
        CatchStopSignals(sockets_[0]);
    }
    ~StopSignals() {
        if (!notifier_) return;
        ReleaseStopSignals();
        notifier_.reset();
        close(sockets_[0]);
        close(sockets_[1]);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    std::array<int, 2> sockets_{-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace

QtFrontEnd::QtFrontEnd(std::unique_ptr<QApplication> application)
    : application_(std::move(application)),
      timers_(
          [this](int id) {
              if (controller_ != nullptr) controller_->onTimer(id);
          },
          [this] { return window_.holdsTicks(); }) {
    window_.setEvents(this);
}

QtFrontEnd::~QtFrontEnd() { window_.setEvents(nullptr); }

RunEnd QtFrontEnd::run(CDownloadDialog& controller) {
    attach(&controller);
    window_.holdLayoutAcrossLanguages([&controller](int index) {
        setLanguageIndex(index);
        controller.ApplyLanguage();
    });
    UseLocaleOfLanguage();
    interrupted_ = false;
    StopSignals stopSignals([this] {
        interrupted_ = true;
        closeWhenIdle();
    });
    if (!controller.closed()) window_.exec();
    attach(nullptr);
    return interrupted_ ? RunEnd::Interrupted : RunEnd::Closed;
}

void QtFrontEnd::closeWhenIdle() {
    if (window_.holdsTicks())
        QTimer::singleShot(kCloseRetryMs, &window_, [this] { closeWhenIdle(); });
    else
        window_.closeWindow();
}

void QtFrontEnd::finish(const RunOutcome& outcome) {
    if (outcome.exitCode != 0) std::cerr << "tarmix: " << outcome.reason << "\n";
}

void QtFrontEnd::controlPressed(Control control) {
    if (controller_ == nullptr) return;
    CDownloadDialog& handlers = *controller_;
    for (size_t port = 0; port < kComRadios.size(); ++port)
        if (control == kComRadios[port]) return handlers.OnComRadio(int(port));
    for (const BaudRadio& radio : kBaudRadios)
        if (control == radio.control) return handlers.OnBaudRadio(radio.rate);
    switch (control) {
        case Control::StartDownload:
            handlers.OnStartDownload();
            return;
        case Control::Exit:
            return handlers.OnExit();
        case Control::ChooseFile:
            return handlers.OnChooseFile();
        case Control::StartApplication:
            return handlers.OnStartApplication();
        case Control::Backup:
            return handlers.OnBackup();
        case Control::TerminalOnOff:
            return handlers.OnTerminalOnOff();
        case Control::UpdateBootloader:
            return handlers.OnUpdateBootLoader();
        case Control::ComLpt:
            return handlers.OnComLpt();
        case Control::KeepSettings:
            return handlers.OnKeepSettings(window_.isChecked(control));
        case Control::Compare:
            return handlers.OnCompare(window_.isChecked(control));
        case Control::VerifyAfterWrite:
            return handlers.OnVerifyAfterWrite(window_.isChecked(control));
        case Control::ExtendedFirmware:
            return handlers.OnExtendedFirmware(window_.isChecked(control));
        case Control::StopOperation:
            return handlers.OnStopOperation();
        case Control::ExtendedView:
            return handlers.OnExtendedView();
        case Control::TerminalEcho:
            return handlers.OnTerminalEcho(window_.isChecked(control));
        case Control::TerminalTimestamps:
            return handlers.OnTerminalTimestamps(window_.isChecked(control));
        case Control::TerminalClear:
            return handlers.OnTerminalClear();
        case Control::TerminalSave:
            return handlers.OnTerminalSave();
        default:
            return;  // the controller has no action for it (the button stays disabled)
    }
}

void QtFrontEnd::languageChosen(int languageIndex) {
    if (controller_ != nullptr) controller_->OnLanguage(languageIndex);
    UseLocaleOfLanguage();
}

void QtFrontEnd::sourceEdited(const std::string& text) {
    if (controller_ != nullptr) controller_->OnSourceEdited(text);
}

void QtFrontEnd::terminalKey(TerminalKey key) {
    if (controller_ != nullptr) controller_->OnTerminalKey(key);
}

void QtFrontEnd::terminalText(const std::string& utf8) {
    if (controller_ != nullptr) controller_->OnTerminalText(utf8);
}

void QtFrontEnd::terminalRateChosen(uint32_t baud) {
    if (controller_ != nullptr) controller_->OnTerminalRate(baud);
}

void QtFrontEnd::stopRequested() {
    if (controller_ != nullptr) controller_->OnStopOperation();
}

void QtFrontEnd::driveTabChosen(int drive) {
    if (controller_ != nullptr) controller_->OnDriveTab(drive);
}

void QtFrontEnd::folderChosen(int index) {
    if (controller_ != nullptr) controller_->OnFolderSelected(index);
}

void QtFrontEnd::folderMenuRequested(int entryUnderClick) {
    if (controller_ != nullptr) controller_->OnFolderTreeMenu(entryUnderClick);
}

void QtFrontEnd::fileMenuRequested(const std::vector<int>& rows) {
    if (controller_ != nullptr) controller_->OnFileListMenu(rows);
}

void QtFrontEnd::fileNameEdited(const std::vector<int>& rows,
                                const std::optional<std::string>& text) {
    if (controller_ != nullptr) controller_->OnFileNameEdited(rows, text);
}

void QtFrontEnd::closeRequested() {
    if (controller_ != nullptr) controller_->OnCloseRequest();
}

std::unique_ptr<FrontEnd> MakeQtFrontEnd(int argc, char** argv, const ToolOptions&) {
    if (!displayAnswers()) {
        std::cerr << "tarmix: " << FormatText(text::kDisplayNotAnswering, std::getenv("DISPLAY"))
                  << "\n";
        return nullptr;
    }
    // QApplication keeps a reference to the count for its whole life.
    static int count = 0;
    count = argc;
    auto application = std::make_unique<QApplication>(count, argv);
    QApplication::setApplicationName(QStringLiteral("Tarmix"));
    // Asked after Qt's own catalogues, which the window installs later.
    static OwnQtTranslations ownWords;
    QCoreApplication::installTranslator(&ownWords);
    return std::make_unique<QtFrontEnd>(std::move(application));
}

}  // namespace tarmix::gui
