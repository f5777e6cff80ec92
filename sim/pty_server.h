// Serves a simulated controller on a pseudo-terminal: the program opens the pty's device
// as it would open a serial port. The server reads the program's line settings to know its
// rate and format, garbles both directions while they differ from the monitor's (a rate, or
// anything but 8 data bits, no parity, one stop bit and no flow control), and can pace the
// line at the monitor's rate (10 bit times per byte each way) so transfers take as long as
// on a cable. Answers leave in pieces of random size, one piece per millisecond at most, as
// a USB serial adapter hands them over, so a client that expects an answer whole fails.
//
// The parallel port is a named pipe the program opens as LPT1 and writes to; whatever
// arrives there goes to the monitor's parallel input, unpaced.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "sim/controller.h"
#include "sim/fault_injector.h"

namespace tarmix::sim {

class PtyServer {
  public:
    PtyServer(Controller& controller, bool paced) : controller_(&controller), paced_(paced) {}
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pty and, when linkPath is not empty, a symbolic link to its device.
    bool start(const std::string& linkPath, std::string& error);
    const std::string& devicePath() const { return devicePath_; }
    // Creates the named pipe at `path` (an existing pipe is used as it is) and reads it from
    // now on. false with a reason when the path is taken by something else or the pipe
    // cannot be made or opened.
    bool openParallelPipe(const std::string& path, std::string& error);

    // Answers leave in pieces, at most one per kPieceGap, as an adapter hands on what it
    // gathered: of 1 to `maxBytes` bytes (chosen by a seeded generator) on an unpaced line,
    // and on a paced one what the wire brought since the last piece, up to `maxBytes`; 0
    // sends what is due at once. A piece may hold the end of one answer and the start of the
    // next. A backlog of more than kBulkPieces pieces' worth goes out at once, as an adapter
    // streams full packets, so bulk output (the echo of a long transfer) is never slowed
    // below the line's rate.
    void setPieces(size_t maxBytes) { pieceLimit_ = maxBytes; }
    static constexpr size_t kBulkPieces = 8;
    static constexpr size_t kDefaultPieceLimit = 62;  // a full-speed USB packet's payload
    static constexpr std::chrono::milliseconds kPieceGap{1};
    // Puts a bad line between the program and the monitor (nullptr: a clean line).
    void setFaults(FaultInjector* faults) { faults_ = faults; }

    // A second pseudo-terminal on which the same controller answers too, as a wrong cable
    // joins two adapters to one controller: what either side sends reaches the controller,
    // and its answers go out on both. false with a reason when it cannot be made.
    bool addTwin(std::string& error);
    const std::string& twinPath() const { return twinPath_; }

    // Serves until `stop` becomes true (checked at least every 100 ms). `between` runs
    // between two rounds of the loop, on the serving thread: where unplug and plug are
    // called from.
    void run(const std::atomic<bool>& stop, const std::function<void()>& between = {});

    // The controller is taken off the line. On a USB link its port disappears (the device
    // closes and the link goes); on a plain serial line the port stays and nobody answers.
    void unplug(bool portGoes);
    // `next` is on the line now: the port comes back (under the same link) if it went, and
    // the controller answers.
    void plug(Controller& next);

    // A re-enumerating USB device is gone this long before its new device appears.
    static constexpr std::chrono::milliseconds kReenumerationTime{300};

  private:
    using Clock = std::chrono::steady_clock;

    // A new pty, linked from linkPath_ when that is set.
    bool createDevice(std::string& error);
    void closeDevice();
    // The controller's USB port went away: the device disappears, and a new one takes its
    // place behind the same link a little later.
    void reenumerate(Clock::time_point now);

    std::chrono::nanoseconds byteTime() const;
    // The program's side of the line is set as the monitor's UART is: same rate and format.
    bool lineAgrees() const;
    // How many bytes the next write may carry under the piece rule (SIZE_MAX: any).
    size_t nextPieceSize(Clock::time_point now);
    size_t pendingOutput() const;
    void takeInput(Clock::time_point now, int from);
    void takeParallelInput();
    void queueOutput(Clock::time_point now);
    void sendOutput(Clock::time_point now);
    int pollTimeoutMs(Clock::time_point now) const;
    // Faults the injector decided on for input that has just reached the monitor.
    void applyLineEvents(const FaultInjector::Inbound& in, Clock::time_point now);
    // The line goes away: the pty closes, a link to it is left dangling.
    void closeLine();

    struct Outgoing {
        std::string bytes;
        uint32_t baudAfter = 0;
    };

    Controller* controller_;  // nullptr while unplugged
    bool paced_;
    int master_ = -1;
    int slave_ = -1;  // kept open so the pty lives on while the program reopens its side
    std::string devicePath_;
    std::string linkPath_;
    int twinMaster_ = -1;
    int twinSlave_ = -1;
    std::string twinPath_;
    int parallelIn_ = -1;
    // A write end of our own keeps the pipe from reaching its end whenever the program
    // closes LPT1, so the read end never needs reopening.
    int parallelKeepAlive_ = -1;
    std::string createdPipe_;  // removed on the way out
    std::deque<Outgoing> outgoing_;
    std::optional<Clock::time_point> reappearAt_;  // set while the device is gone
    Clock::time_point inputFreeAt_{};              // when the line may carry the next byte in
    Clock::time_point outputFreeAt_{};             // when the line may carry the next byte out
    size_t pieceLimit_ = kDefaultPieceLimit;
    Clock::time_point nextPieceAt_{};
    uint32_t pieceSeed_ = 1;
    FaultInjector* faults_ = nullptr;
    Clock::time_point holdUntil_{};  // a stalled device says nothing until then
    bool lineGone_ = false;          // for good: a fault took the line away
};

}  // namespace tarmix::sim
