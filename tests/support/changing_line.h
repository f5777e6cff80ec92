// A line that changes one byte of chosen exchanges, as line noise would: for the chosen
// times a command is sent (1: the first), the byte right after `after` in the monitor's
// answer (or, towards the device, in the command line itself) goes up by `by`, or by the
// number of that time, so that no two changed readings are alike. The counts live in the
// LineChange, as the port is opened afresh when the rate changes.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/forwarding_port.h"

namespace tarmix::testing {

struct LineChange {
    LineChange() = default;
    LineChange(std::string command, std::set<int> times, std::string after,
               bool towardsDevice = false, int by = 0)
        : command(std::move(command)),
          times(std::move(times)),
          after(std::move(after)),
          towardsDevice(towardsDevice),
          by(by) {}

    std::string command;  // the command lines it watches: those that begin with this
    std::set<int> times;  // which of them are changed
    std::string after;    // the byte after the first occurrence of this text is changed
    bool towardsDevice = false;
    int by = 0;
    int sent = 0;
    bool armed = false;
    std::string seen;  // what passed since the command went out
};

class ChangingLine final : public ForwardingPort {
  public:
    ChangingLine(std::unique_ptr<PortBackend> inner, LineChange& change)
        : ForwardingPort(std::move(inner)), change_(change) {}
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        std::vector<uint8_t> bytes(data, data + count);
        const std::string text(bytes.begin(), bytes.end());
        if (text.rfind(change_.command, 0) == 0 && !text.empty() && text.back() == '\r') {
            change_.armed = change_.times.count(++change_.sent) > 0;
            change_.seen.clear();
            if (change_.towardsDevice) pass(bytes.data(), bytes.size());
        }
        return ForwardingPort::write(bytes.data(), count, timeout);
    }
    long read(uint8_t* data, size_t capacity) override {
        const long n = ForwardingPort::read(data, capacity);
        if (!change_.towardsDevice && n > 0) pass(data, size_t(n));
        return n;
    }

  private:
    void pass(uint8_t* data, size_t count) {
        for (size_t i = 0; i < count && change_.armed; ++i) {
            if (change_.seen.size() >= change_.after.size() &&
                change_.seen.compare(change_.seen.size() - change_.after.size(),
                                     change_.after.size(), change_.after) == 0) {
                data[i] = uint8_t(data[i] + (change_.by ? change_.by : change_.sent));
                change_.armed = false;
            }
            change_.seen += char(data[i]);
        }
    }

    LineChange& change_;
};

}  // namespace tarmix::testing
