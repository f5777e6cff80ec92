// One station of a production line: its own port, link, window controller and console,
// run on its own thread. It programs the controller on its port with the download (or
// script) of the unattended "/p" run and tells what happened; in a station loop it then
// waits until that controller is taken away before the next one is programmed.
//
// A station uses exactly its port: the window it runs knows no other, so it can never fall
// back to a neighbour's controller.
#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/line/line_console.h"
#include "app/program_folders.h"
#include "platform/clock.h"

namespace tarmix {

// What the stations share, fixed for the run.
struct StationPlan {
    std::string file;  // the image or script, absolute
    bool verify = false;
    std::optional<int> baud;        // the bulk rate; the settings' when not given
    std::string traceFile;          // --trace: this station's wire trace goes to traceFile.N
    std::optional<Millis> waitFor;  // how long a station waits for its controller (none: for ever)
    ProgramFolders folders;         // the user's settings and Library
    bool json = false;
    bool repeat = false;  // the station loop
};

// What one controller came to.
struct ControllerOutcome {
    bool handled = false;  // a controller was identified (and so was worked on)
    int exitCode = 0;
    std::string reason;     // the exit code's meaning
    std::string message;    // the last warning or error the operation showed
    int32_t modelCode = 0;  // 0: unknown
    std::string model;      // the Panel text
    std::optional<int32_t> monitorBefore;
    std::optional<int32_t> monitorAfter;
    uint64_t bytes = 0;
    uint32_t blocks = 0;
    Millis duration{0};
    std::string verifyOutcome;  // "off", "passed", "failed" or "not reached"
    std::chrono::system_clock::time_point finished;
};

class Station {
  public:
    // `number` counts from 1. The console is shared with the other stations.
    Station(int number, std::string port, const StationPlan& plan, LineConsole& console);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    int number() const { return number_; }
    const std::string& port() const { return port_; }

    // Programs the controller on the port once it answers. Waits at most plan.waitFor.
    ControllerOutcome programOne();
    // The monitor version the controller on the port reports now; nullopt when nobody
    // answers (the controller went away, or is in its application).
    std::optional<int32_t> askVersion();
    // Waits until the controller on the port is gone: no answer, or the port disappeared.
    // false when a stop request came first.
    bool waitUntilRemoved();
    // Waits until the port can be opened again (a USB adapter that went away with the
    // controller comes back with the next one). false when a stop request came first.
    bool waitForPort();

  private:
    const std::filesystem::path& settingsFolder();

    int number_;
    std::string port_;
    const StationPlan& plan_;
    LineConsole& console_;
    std::filesystem::path settingsFolder_;  // a private copy of the user's settings
};

// Which ports lead to a controller that answers on an earlier port too (a wrong cable
// joining two adapters to one controller): for each port, the index of that earlier port,
// or -1. Each port asks in turn while the others listen; a port that hears the answer
// shares the controller. Ports without a controller (or that cannot be opened) share none.
std::vector<int> SharedControllers(const std::vector<std::string>& ports);

// A private settings folder for one station: the user's Tarmix.ini with the rate of the run.
// The stations save their settings there, never over the user's file.
std::filesystem::path StationSettings(const std::filesystem::path& userFolder, int station,
                                      std::optional<int> baud, std::string& error);

}  // namespace tarmix
