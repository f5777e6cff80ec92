// A port whose peer follows a script on the virtual clock: bytes arrive at set times, a
// reply can be scheduled for each line sent, and reads or the whole device can fail.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <string>

#include "platform/port_backend.h"

namespace tarmix::testing {

class ScriptedPort final : public PortBackend {
  public:
    explicit ScriptedPort(VirtualClock& clock) : clock_(clock) {}

    // Bytes that reach the PC `delay` after now.
    void arrive(const std::string& bytes, Millis delay = Millis{0}) {
        pending_.push_back({clock_.now() + delay, bytes});
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const auto& a, const auto& b) { return a.at < b.at; });
    }
    // `text` split into slices of `size` bytes, one slice every `period`.
    void trickle(const std::string& text, size_t size, Millis period) {
        for (size_t i = 0; i * size < text.size(); ++i)
            arrive(text.substr(i * size, size), period * long(i));
    }
    // Called with everything written, as it is written.
    std::function<void(const std::string&)> onWrite;

    std::string written;
    bool failReads = false;
    bool refuseOpen = false;
    // Decides by name when set (and may let time pass, as a hanging driver does).
    std::function<bool(const std::string&)> acceptOpen;
    size_t writeLimit = SIZE_MAX;  // the device takes at most this many bytes per write

    bool open(const std::string& name) override {
        return open_ = acceptOpen ? acceptOpen(name) : !refuseOpen;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool configure(uint32_t) override { return open_; }
    long bytesWaiting() override {
        deliver();
        return failReads ? -1 : long(queue_.size());
    }
    long read(uint8_t* data, size_t capacity) override {
        if (failReads) return -1;
        deliver();
        size_t n = std::min(capacity, queue_.size());
        std::copy_n(queue_.begin(), n, data);
        queue_.erase(0, n);
        return long(n);
    }
    long write(const uint8_t* data, size_t count, Millis) override {
        std::string bytes(reinterpret_cast<const char*>(data), std::min(count, writeLimit));
        written += bytes;
        if (onWrite) onWrite(bytes);
        return long(bytes.size());
    }
    void waitForInput(Millis timeout) override {
        const Millis until = clock_.now() + timeout;
        const Millis next = pending_.empty() ? until : std::min(until, pending_.front().at);
        clock_.advance(std::max(next - clock_.now(), Millis{0}));
    }

  private:
    struct Arrival {
        Millis at;
        std::string bytes;
    };
    void deliver() {
        while (!pending_.empty() && pending_.front().at <= clock_.now()) {
            queue_ += pending_.front().bytes;
            pending_.pop_front();
        }
    }

    VirtualClock& clock_;
    bool open_ = false;
    std::deque<Arrival> pending_;
    std::string queue_;
};

}  // namespace tarmix::testing
