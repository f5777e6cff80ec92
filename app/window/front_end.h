// What a front end is to the window's controller: the host that shows what the controller
// tells its view, runs its timers and hands it the user's events. The window (gui/), the
// console (app/console) and a production-line station (app/line) each provide one.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/options/command_line.h"
#include "app/window/download_dialog.h"

namespace tarmix {

// How a front end's run ended.
enum class RunEnd {
    Closed,        // the window closed (Exit, the frame, or the end of an unattended run)
    Interrupted,   // SIGINT or SIGTERM
    NoController,  // an unattended run gave up: no controller was identified in time
};

// How a run ended, for the front end's last words.
struct RunOutcome {
    int exitCode = kResultOk;
    std::string reason;  // one line of English
    std::string port;    // the port the run used or tried ("COM1"); empty when none
    std::string device;  // the device behind that port
};

// A window for the main-window controller: it shows what the controller tells its view,
// runs its timers, and forwards the user's events to the CDownloadDialog handlers.
class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    virtual MainWindowView& view() = 0;
    virtual TimerHost& timers() = 0;
    // Sees every byte of the serial link besides the --trace file; nullptr for none.
    virtual WireObserver* wireObserver() { return nullptr; }
    // Shows the window and runs until it closes. The window's OnInitDialog has run.
    virtual RunEnd run(CDownloadDialog& window) = 0;
    // Told how the run ended once the window has closed.
    virtual void finish(const RunOutcome& outcome) { (void)outcome; }
};

// Makes the windowed front end; nullptr when it cannot run (the launcher then uses the
// console). Called only when a display is available and --headless was not given.
using FrontEndFactory =
    std::function<std::unique_ptr<FrontEnd>(int argc, char** argv, const ToolOptions& options)>;

}  // namespace tarmix
