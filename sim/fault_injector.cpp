#include "sim/fault_injector.h"

#include <algorithm>
#include <charconv>

namespace tarmix::sim {

namespace {

// How many bytes after the first flip of a cancelling pair its partner may come.
constexpr uint64_t kCancelWindow = 16;

// Where each phase is in the talk: the command that begins it, whether the aimed byte is
// one the device receives, and the bytes the flip may land in, counted from the echo's
// end (answers) or the line's start (an echo: `window` 0 covers the echo and its CR LF).
struct PhaseCommand {
    std::string_view phase;
    std::string_view command;
    bool inbound;
    bool afterEcho;
    uint64_t window;
};
constexpr PhaseCommand kPhaseCommands[] = {
    {"identification", "please answer me", false, true, 60},
    {"caps", "tell caps", false, true, 24},
    {"erase", "flash erase", false, true, 16},
    {"echo", "burn", false, false, 0},
    {"echo", "verify", false, false, 0},
    {"address", "geteepromdata", false, true, 15},
    {"address", "dump", false, true, 15},
    {"listing", "dir", false, true, 60},
    {"listing", "tree", false, true, 60},
    {"listing", "tell drives", false, true, 30},
    {"eeprom", "seteepromdata", true, false, 0xF02},
    {"eeprom", "geteepromdata", false, true, 0xF00},
    {"restart", "reset", false, true, 8},
    {"restart", "call", false, true, 8},
};

bool isPrintable(char byte) { return byte >= 0x20 && byte < 0x7f; }

// splitmix64: a good spread of bits from consecutive inputs.
uint64_t mix(uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

bool readProbability(std::string_view text, double& value) {
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    return failure == std::errc() && end == text.data() + text.size() && value >= 0 && value <= 1;
}

template <typename Number>
bool readWhole(std::string_view text, Number& value) {
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    return failure == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool readItem(std::string_view item, FaultPlan& plan) {
    const size_t equals = item.find('=');
    const size_t at = item.find('@');
    if (equals != std::string_view::npos) {
        const std::string_view kind = item.substr(0, equals), value = item.substr(equals + 1);
        if (kind == "phase") {
            const auto& phases = FaultPhases();
            plan.phase = value;
            return std::find(phases.begin(), phases.end(), plan.phase) != phases.end();
        }
        if (kind == "drop") return readProbability(value, plan.dropOut);
        if (kind == "drop-in") return readProbability(value, plan.dropIn);
        if (kind == "corrupt") return readProbability(value, plan.corruptOut);
        if (kind == "corrupt-in") return readProbability(value, plan.corruptIn);
        if (kind == "cancel") return readProbability(value, plan.cancelOut);
        if (kind == "cancel-in") return readProbability(value, plan.cancelIn);
        if (kind != "stall") return false;
        const size_t split = value.find('@');
        long long ms = 0;
        if (split == std::string_view::npos || !readWhole(value.substr(0, split), ms)) return false;
        plan.stall = Millis{ms};
        return readProbability(value.substr(split + 1), plan.stallChance);
    }
    if (at == std::string_view::npos) return false;
    const std::string_view kind = item.substr(0, at), value = item.substr(at + 1);
    uint64_t count = 0;
    if (!readWhole(value, count)) return false;
    if (kind == "gone")
        plan.goneAt = count;
    else if (kind == "reset")
        plan.resetAt = count;
    else
        return false;
    return true;
}

}  // namespace

bool ParseFaultPlan(std::string_view text, FaultPlan& plan, std::string& error) {
    FaultPlan parsed;
    for (size_t comma = 0; !text.empty() && comma != std::string_view::npos;) {
        comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        if (!readItem(item, parsed)) {
            error = "cannot read the fault \"" + std::string(item) +
                    "\" (drop=P, drop-in=P, corrupt=P, corrupt-in=P, cancel=P, cancel-in=P, "
                    "stall=MS@P, phase=NAME, gone@N, reset@N)";
            return false;
        }
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
        if (comma != std::string_view::npos && text.empty()) {
            error = "a fault plan does not end with a comma";
            return false;
        }
    }
    plan = parsed;
    return true;
}

const std::vector<std::string>& FaultPhases() {
    static const std::vector<std::string> phases = [] {
        std::vector<std::string> names;
        for (const PhaseCommand& entry : kPhaseCommands)
            if (std::find(names.begin(), names.end(), entry.phase) == names.end())
                names.emplace_back(entry.phase);
        return names;
    }();
    return phases;
}

double FaultInjector::chance(Salt salt, uint64_t offset) const {
    const uint64_t bits = mix(mix(seed_ ^ (salt << 56)) ^ offset);
    return double(bits >> 11) * 0x1.0p-53;
}

char FaultInjector::flipped(char byte, Salt salt, uint64_t offset, int& bit) const {
    bit = int(chance(Salt(salt + kBit), offset) * 8);
    return char(uint8_t(byte) ^ (1u << bit));
}

FaultInjector::~FaultInjector() {
    giveUpPartner(cancelIn_);
    giveUpPartner(cancelOut_);
}

void FaultInjector::giveUpPartner(Cancelling& kind) {
    if (!kind.waiting) return;
    log_ << "fault " << kind.name << " " << kind.waiting->offset << " bit " << kind.waiting->bit
         << " unpaired" << std::endl;
    kind.waiting.reset();
}

char FaultInjector::cancel(char byte, uint64_t offset, Cancelling& kind) {
    if (kind.waiting && offset >= kind.waiting->offset + kCancelWindow) giveUpPartner(kind);
    if (kind.waiting) {
        const auto [first, bit, wasSet] = *kind.waiting;
        if (bool(uint8_t(byte) >> bit & 1) == wasSet) return byte;
        kind.waiting.reset();
        log_ << "fault " << kind.name << " " << first << "+" << offset << " bit " << bit
             << std::endl;
        return char(uint8_t(byte) ^ (1u << bit));
    }
    if (chance(kind.salt, offset) >= kind.rate) return byte;
    int bit = 0;
    const char changed = flipped(byte, kind.salt, offset, bit);
    kind.waiting = Cancelling::Waiting{offset, bit, bool(uint8_t(byte) >> bit & 1)};
    return changed;
}

bool FaultInjector::reached(const std::optional<uint64_t>& limit) const {
    return limit && received_ >= *limit;
}

bool FaultInjector::lineEnds(Inbound& in) {
    if (ended_ || !(reached(plan_.goneAt) || reached(plan_.resetAt))) return false;
    ended_ = true;
    in.event = reached(plan_.goneAt) ? LineEvent::kGone : LineEvent::kReset;
    gone_ = in.event == LineEvent::kGone;
    log_ << "fault " << (in.event == LineEvent::kGone ? "gone" : "reset") << " in " << received_
         << std::endl;
    return true;
}

FaultInjector::Inbound FaultInjector::receive(std::string_view wire) {
    Inbound in;
    // A restarted device hears the line again; one that is gone does not.
    if (gone_ || lineEnds(in)) return in;
    for (const char byte : wire) {
        const uint64_t offset = received_++;
        if (chance(kDropIn, offset) < plan_.dropIn) {
            log_ << "fault drop-in " << offset << std::endl;
        } else {
            char taken = byte;
            if (chance(kCorruptIn, offset) < plan_.corruptIn) {
                int bit = 0;
                taken = flipped(byte, kCorruptIn, offset, bit);
                log_ << "fault corrupt-in " << offset << " bit " << bit << std::endl;
            }
            taken = aimed(cancel(taken, offset, cancelIn_), true, offset);
            in.bytes += taken;
            if (endsCommandLine(taken) && chance(kStall, offset) < plan_.stallChance) {
                in.stall = true;
                log_ << "fault stall " << plan_.stall.count() << "ms in " << offset << std::endl;
            }
        }
        if (lineEnds(in)) break;
    }
    return in;
}

std::string FaultInjector::send(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        const uint64_t offset = sent_++;
        if (chance(kDropOut, offset) < plan_.dropOut) {
            log_ << "fault drop " << offset << std::endl;
            continue;
        }
        char taken = byte;
        if (chance(kCorruptOut, offset) < plan_.corruptOut) {
            int bit = 0;
            taken = flipped(byte, kCorruptOut, offset, bit);
            log_ << "fault corrupt " << offset << " bit " << bit << std::endl;
        }
        out += aimed(cancel(taken, offset, cancelOut_), false, offset);
    }
    return out;
}

bool FaultInjector::endsCommandLine(char byte) {
    if (byte != '\r' && byte != '\n') {
        linePrintable_ = linePrintable_ && isPrintable(byte);
        if (linePrintable_) line_ += byte;
        return false;
    }
    const bool command = byte == '\r' && linePrintable_ && !line_.empty();
    if (command) aimAt(line_);
    line_.clear();
    linePrintable_ = true;
    return command;
}

void FaultInjector::aimAt(const std::string& line) {
    if (plan_.phase.empty() || aimTaken_) return;
    for (const PhaseCommand& entry : kPhaseCommands) {
        const bool starts =
            line.compare(0, entry.command.size(), entry.command) == 0 &&
            (line.size() == entry.command.size() || line[entry.command.size()] == ' ');
        if (entry.phase != plan_.phase || !starts) continue;
        // The echo of the line and its CR LF come before the answer.
        const uint64_t echo = line.size() + 2;
        const uint64_t window = entry.window ? entry.window : echo;
        const uint64_t pick = uint64_t(chance(kPhase, entry.inbound ? received_ : sent_) * window);
        const uint64_t from = entry.inbound ? received_ : sent_ + (entry.afterEcho ? echo : 0);
        aim_ = Aim{entry.inbound, from + pick};
        aimTaken_ = true;
        return;
    }
}

char FaultInjector::aimed(char byte, bool inbound, uint64_t offset) {
    if (!aim_ || aim_->inbound != inbound || aim_->offset != offset) return byte;
    aim_.reset();
    int bit = 0;
    const char changed = flipped(byte, kPhase, offset, bit);
    log_ << "fault phase " << plan_.phase << (inbound ? " in " : " out ") << offset << " bit "
         << bit << std::endl;
    return changed;
}

}  // namespace tarmix::sim
