// A port that passes everything on to the port it wraps: a bad line made for a test derives
// from it and overrides only what it changes.
#pragma once

#include <memory>
#include <string>

#include "platform/port_backend.h"

namespace tarmix::testing {

class ForwardingPort : public PortBackend {
  public:
    explicit ForwardingPort(std::unique_ptr<PortBackend> inner) : inner_(std::move(inner)) {}
    bool open(const std::string& name) override { return inner_->open(name); }
    void close() override { inner_->close(); }
    bool isOpen() const override { return inner_->isOpen(); }
    bool configure(uint32_t baud) override { return inner_->configure(baud); }
    long bytesWaiting() override { return inner_->bytesWaiting(); }
    void waitForInput(Millis timeout) override { inner_->waitForInput(timeout); }
    long read(uint8_t* data, size_t capacity) override { return inner_->read(data, capacity); }
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        return inner_->write(data, count, timeout);
    }

  private:
    std::unique_ptr<PortBackend> inner_;
};

}  // namespace tarmix::testing
