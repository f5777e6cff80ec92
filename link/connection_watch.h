// The connection watch: twice a second the main window asks the boot monitor "please answer
// me". The first good answer after a loss identifies the controller and runs the one-time
// queries (parallel port, version, baud capabilities, drives); a missing or wrong answer
// marks the device as gone and, where the line itself failed, reopens the port at 57600.
//
// Device-facing only: a tick fills the device description and reports what the window
// must show in a WatchReport. The window owns the link, the parallel port and the flags.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/identify.h"
#include "link/monitor_exchange.h"
#include "link/parallel.h"
#include "models/device.h"

namespace tarmix {

// Every answer of the watch's queries keeps at most this many bytes, and comes within this
// wait.
inline constexpr size_t kWatchAnswerCapacity = 999;
inline constexpr Wait kWatchAnswerWait = Wait::Scaled(Millis{100});

// The parallel path as the main window keeps it.
struct ParallelFlags {
    // The controller confirmed "parportCTRL test" and LPT1 could be opened (or the last
    // switch-on succeeded).
    bool available = false;
    // The parallel transfer is on: LPT1 is held open and downloads send their blocks there.
    bool open = false;
};

// The COM_LPT choice: switches the parallel transfer off (LPT1 closed), or tries to switch
// it on (LPT1 opened; `available` and `open` tell whether that worked).
void ToggleParallelTransfer(CParallel& parallel, ParallelFlags& flags);

// Asks the monitor "parportCTRL test". Confirmed and off: LPT1 is opened once to see whether
// it exists (`available`), then closed. Confirmed and on: the transfer is switched on again
// (LPT1 reopened). Not confirmed: the transfer is switched off. A failed send changes nothing.
void ProbeParallelPort(MonitorExchange& monitor, CParallel& parallel, ParallelFlags& flags);

// A monitor with drives whose "tell drives" answer is unusable counts as not identified yet
// and is asked again on the next ticks; after this many asks in all it is identified with
// its drive sizes marked unread.
inline constexpr int kDrivesAsks = 3;
// The same for an unusable "tell version" answer (a garbled number must not pass for
// version 0, which would change the rates and commands used): after this many asks the
// version counts as unknown.
inline constexpr int kVersionAsks = 3;
// Readings of "tell version" taken at most in one ask, while looking for two that agree.
inline constexpr int kVersionReadings = 4;

// A controller whose USB port re-enumerates needs this long before its port can be opened
// again, and then up to kUsbOpenTries opens, kUsbRetryPause after each failed one.
inline constexpr Millis kUsbSettle{1500};
inline constexpr Millis kUsbRetryPause{1000};
inline constexpr int kUsbOpenTries = 4;

// After a controller restart, or after the line failed: closes the link's port, opens it
// again and sets it to 57600; with `usbReenumerating` by the waits above, otherwise with
// one open. 0 when the port is open and set up again, 1 otherwise (the port stays closed).
int ReopenLink(CSerial& serial, bool usbReenumerating);

// True for the models whose USB port re-enumerates when they leave the monitor, when they
// are reached through a USB serial adapter.
bool NeedsUsbReopen(int32_t hardwareModel, bool portIsUsb);

// What one tick found.
struct WatchReport {
    // The monitor answered the handshake: START_DOWNLOAD may be used, Panel and Flash show
    // `fields`. When false the device is not identified (Panel and Flash "<unknown>",
    // "Connection interrupted").
    bool answered = false;
    ModelFieldTexts fields;
    // The one-time queries of a new identification ran on this tick.
    bool queriesRan = false;
    std::string firmwareText;          // the Firmware field, when queriesRan
    bool extendedFirmwareSet = false;  // the check box must be redrawn, when queriesRan
    int firstDrive = -1;               // the drive to list (0 A:, 1 B:, 2 C:), -1 none
    // The line failed (read error or failed send, or a silent USB adapter): the port was
    // closed and opened again; `reopened` tells whether that worked.
    bool lineFailed = false;
    bool reopened = false;
};

class ConnectionWatch {
  public:
    ConnectionWatch(MonitorExchange& monitor, CParallel& parallel, DeviceDescription& device,
                    ParallelFlags& parallelFlags)
        : monitor_(monitor), parallel_(parallel), device_(device), parallelFlags_(parallelFlags) {}

    // One tick. `portIsUsb`: the selected port is a USB adapter. `baudRate`: the operator's
    // rate, moved where an identified model demands. `shownFlashText`: what the Flash field
    // shows now (a model that reports an unknown size may keep it).
    WatchReport Tick(bool portIsUsb, int32_t& baudRate, std::string_view shownFlashText);

    uint32_t tickCount() const { return tickCount_; }

  private:
    // Failure kinds of a tick: the monitor did not answer (nothing reopened), a read
    // failed, the line is gone (send failed, or a USB adapter brought no answer).
    enum class Failure { None, NoAnswer, ReadError, LineLost };

    Failure Handshake(bool portIsUsb, std::string& answer);
    // The one-time queries of a new identification. False while an answer was unusable and
    // is asked for again on a later tick.
    bool RunOneTimeQueries(int32_t& baudRate, WatchReport& report);
    // "tell version" and the baud capabilities. False while the answer was unusable and may
    // be asked for again on a later tick.
    bool AskVersion(int32_t& baudRate, WatchReport& report);
    std::optional<int32_t> ReadAgreedVersion();
    // "tell drives" on a monitor that has drives. False while the answer was unusable and
    // may be asked for again on a later tick.
    bool AskDrives(WatchReport& report);
    // One query's answer, collected up to its prompt (at most the watch's time-out).
    std::string Collect(std::string_view command);

    MonitorExchange& monitor_;
    CParallel& parallel_;
    DeviceDescription& device_;
    ParallelFlags& parallelFlags_;
    uint32_t tickCount_ = 0;
    // Unusable "tell drives" answers since the handshake came back; while there are any,
    // the next ticks ask for the drives only.
    int drivesFailures_ = 0;
    // Unusable "tell version" answers since the handshake came back.
    int versionFailures_ = 0;
};

}  // namespace tarmix
