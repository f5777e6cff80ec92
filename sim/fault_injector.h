// A bad serial line between the program and the simulated controller, seeded and
// repeatable. The plan names the faults:
//
//   drop=P, drop-in=P         each byte the device sends / receives is lost with probability P
//   corrupt=P, corrupt-in=P   each byte sent / received gets one random bit flipped
//   cancel=P, cancel-in=P     a byte sent / received gets bit k flipped, and so does the next
//                             byte within 16 whose bit k is the other way: one change is
//                             +2^k, the other -2^k, so a sum over both bytes misses them
//   stall=MS@P                a command line the device receives is answered only after MS
//                             milliseconds of silence, with probability P; a command line
//                             is a CR after printable characters, never a CR in binary data
//   phase=NAME                one bit flipped in a chosen phase of the talk, the first time
//                             the program enters it: identification, caps, erase (the
//                             erase answer), echo (of a block command), address (the
//                             address line before read data), listing, eeprom (a block
//                             either way), restart; the byte within the phase is seeded
//   gone@N                    after the device has received N bytes the line goes away
//   reset@N                   after the device has received N bytes it restarts
//
// Every decision is a function of the seed, the fault kind and the byte's offset in its
// direction (bytes the device received, or produced, since the start), never of timing:
// the same seed brings the same faults at the same bytes. The partner of a cancelling flip
// depends on the bytes as well, which are the same again in a replay. Each injected fault
// is written to the log, one line each, so a failing run can be replayed.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace tarmix::sim {

struct FaultPlan {
    double dropOut = 0;
    double dropIn = 0;
    double corruptOut = 0;
    double corruptIn = 0;
    double cancelOut = 0;
    double cancelIn = 0;
    double stallChance = 0;
    Millis stall{0};
    std::optional<uint64_t> goneAt;
    std::optional<uint64_t> resetAt;
    std::string phase;  // empty: no aimed fault
};

// The phases a fault can be aimed at (the names of phase=NAME).
const std::vector<std::string>& FaultPhases();

// Reads a comma-separated plan such as "drop=0.001,stall=300@0.05,reset@20000". false with
// a reason for an unknown kind, a probability outside [0, 1] or a malformed number.
bool ParseFaultPlan(std::string_view text, FaultPlan& plan, std::string& error);

class FaultInjector {
  public:
    // What the line does once the device has received a piece of input.
    enum class LineEvent { kNone, kGone, kReset };
    struct Inbound {
        std::string bytes;                   // what reaches the device
        bool stall = false;                  // hold the answer to a line ended in these bytes
        LineEvent event = LineEvent::kNone;  // after the bytes: the line goes, or a restart
    };

    FaultInjector(const FaultPlan& plan, uint64_t seed, std::ostream& log)
        : plan_(plan), seed_(seed), log_(log) {}
    // A flip still waiting for its partner when the run ends stays single: logged here.
    ~FaultInjector();
    FaultInjector(const FaultInjector&) = delete;
    FaultInjector& operator=(const FaultInjector&) = delete;

    const FaultPlan& plan() const { return plan_; }
    // Bytes the program put on the line, as the device receives them.
    Inbound receive(std::string_view wire);
    // Bytes the device sends, as they reach the program.
    std::string send(std::string_view bytes);
    // The monitor's UART switched to another rate: written to the log, so that a run at
    // another rate than 57600 can show it got there.
    void noteRate(uint32_t baud) { log_ << "rate " << baud << std::endl; }

  private:
    // The bit of a flip is drawn with the salt of its kind plus kBit; the cancelling kinds
    // stand apart so that no two draws share a salt.
    enum Salt : uint64_t {
        kDropIn = 1,
        kCorruptIn,
        kDropOut,
        kCorruptOut,
        kStall,
        kBit,
        kCancelIn = 16,
        kCancelOut,
        kPhase = 32,
    };
    // One direction's cancelling flips: the first flip of a pair waits here for a byte
    // whose bit is the other way.
    struct Cancelling {
        const char* name;
        Salt salt;
        double rate;
        struct Waiting {
            uint64_t offset;
            int bit;
            bool wasSet;  // the bit of the first byte before its flip
        };
        std::optional<Waiting> waiting;
    };

    // A uniform number in [0, 1) for the byte at `offset` and the fault kind.
    double chance(Salt salt, uint64_t offset) const;
    char flipped(char byte, Salt salt, uint64_t offset, int& bit) const;
    bool reached(const std::optional<uint64_t>& limit) const;
    // The byte at `offset` as the cancelling kind leaves it: the first of a pair, its
    // partner, or unchanged.
    char cancel(char byte, uint64_t offset, Cancelling& kind);
    void giveUpPartner(Cancelling& kind);
    // Once the device has received its N bytes: the line goes or the device restarts (once).
    bool lineEnds(Inbound& in);
    // A CR that ends a command line: the bytes since the last line end are printable.
    bool endsCommandLine(char byte);
    // The command line just received starts the aimed phase: the byte to flip is chosen.
    void aimAt(const std::string& line);
    // The byte at `offset` in the direction, with the aimed flip when it is that byte.
    char aimed(char byte, bool inbound, uint64_t offset);

    FaultPlan plan_;
    uint64_t seed_;
    std::ostream& log_;
    uint64_t received_ = 0;      // bytes the device received so far, counted on the wire
    uint64_t sent_ = 0;          // bytes the device produced so far
    bool ended_ = false;         // the line went or the device restarted; that happens once
    bool gone_ = false;          // the line went: nothing reaches the device any more
    std::string line_;           // printable bytes received since the last line end
    bool linePrintable_ = true;  // no other byte came since the last line end
    struct Aim {
        bool inbound;
        uint64_t offset;
    };
    std::optional<Aim> aim_;  // the phase's byte, once the phase has begun
    bool aimTaken_ = false;   // the phase fault is placed once
    Cancelling cancelIn_{"cancel-in", kCancelIn, plan_.cancelIn, {}};
    Cancelling cancelOut_{"cancel", kCancelOut, plan_.cancelOut, {}};
};

}  // namespace tarmix::sim
