// Every command line the PC sent, in order, as a wire observer sees it.
#pragma once

#include <string>
#include <vector>

#include "link/wire_observer.h"

namespace tarmix::testing {

class SentLines final : public WireObserver {
  public:
    // A command goes out in one write that ends with CR; block data in writes of their own.
    void onSent(Millis, const uint8_t* data, size_t count) override {
        if (count && data[count - 1] == '\r')
            lines.emplace_back(reinterpret_cast<const char*>(data), count - 1);
    }
    void onReceived(Millis, const uint8_t*, size_t) override {}
    bool any(const std::string& prefix) const {
        for (const auto& line : lines)
            if (line.rfind(prefix, 0) == 0) return true;
        return false;
    }
    std::vector<std::string> lines;
};

}  // namespace tarmix::testing
