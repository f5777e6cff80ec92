// A line that changes two bytes of one block so that their changes cancel in any sum over
// the block: the first run of six equal bytes (the `run` byte) in the chosen direction gets
// its first byte one up and its second one down, once: `done` is kept by the caller, as
// the port is opened afresh when the rate changes.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "support/forwarding_port.h"

namespace tarmix::testing {

class CancellingFlips final : public ForwardingPort {
  public:
    CancellingFlips(std::unique_ptr<PortBackend> inner, bool towardsDevice, uint8_t run, bool& done)
        : ForwardingPort(std::move(inner)), towardsDevice_(towardsDevice), run_(run), done_(done) {}
    long read(uint8_t* data, size_t capacity) override {
        const long n = ForwardingPort::read(data, capacity);
        if (!towardsDevice_ && n > 0) flip(data, size_t(n));
        return n;
    }
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        std::vector<uint8_t> bytes(data, data + count);
        if (towardsDevice_) flip(bytes.data(), count);
        return ForwardingPort::write(bytes.data(), count, timeout);
    }

  private:
    void flip(uint8_t* data, size_t count) {
        uint8_t* at = std::search_n(data, data + count, 6, run_);
        if (done_ || at == data + count) return;
        ++at[0];
        --at[1];
        done_ = true;
    }

    bool towardsDevice_;
    uint8_t run_;
    bool& done_;
};

}  // namespace tarmix::testing
