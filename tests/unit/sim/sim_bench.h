// The program's side of a link to an in-process simulated controller, on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "link/monitor_exchange.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/ask.h"

namespace tarmix::sim {

using namespace std::chrono_literals;

struct Bench {
    explicit Bench(const std::string& keyword)
        : controller(*findModel(keyword), clock),
          serial(
              [this] {
                  return std::unique_ptr<PortBackend>(port = new InProcessPort(controller, clock));
              },
              clock),
          monitor(serial) {
        serial.Open("COM1");
        serial.Configure(57600);
    }
    const ModelSpec& model() const { return controller.model(); }

    std::string collect(const std::string& command) { return testing::Ask(monitor, command); }
    // The whole answer, up to the prompt; long answers (erases) included.
    std::string exchange(const std::string& command) {
        std::string answer;
        EXPECT_TRUE(monitor.SendAndWaitPrompt(command, answer, 19999, Wait::Scaled(500ms)).ok())
            << command;
        return answer;
    }
    // Everything that arrives until the prompt, or until nothing comes for 5 s.
    std::string untilPrompt() {
        std::string answer, part;
        while (!EndsWithPrompt(answer) && serial.ReceiveText(part, 999, 1, 5000ms) == 0 &&
               !part.empty())
            answer += part;
        return answer;
    }
    // "burn" or "verify" as the download sends it: the command, its echo, the raw data.
    // Returns what follows the echo (for success "o.k.\r\nBoot> "); "no echo" if the echo
    // differs.
    std::string block(const char* verb, uint32_t address, const std::vector<uint8_t>& data,
                      uint32_t checksumDelta = 0) {
        const std::string command = text("%s %08x %08x %08x", verb, address, unsigned(data.size()),
                                         checksum(data) + checksumDelta);
        serial.DrainInput();
        serial.SendLine(command);
        std::string echo;
        serial.ReceiveText(echo, 799, command.size() + 2, 4000ms);
        if (echo != command + "\r\n") return "no echo: " + echo;
        serial.WriteBytes(data.data(), data.size());
        return untilPrompt();
    }

    static uint32_t checksum(const std::vector<uint8_t>& data) {
        uint32_t sum = 0;
        for (uint8_t b : data) sum += b;
        return ~sum;
    }
    static std::string text(const char* pattern, ...) {
        va_list args;
        va_start(args, pattern);
        char buffer[512];
        vsnprintf(buffer, sizeof buffer, pattern, args);
        va_end(args);
        return buffer;
    }
    static std::vector<uint8_t> pattern(size_t size, uint8_t seed = 1) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
        return bytes;
    }

    VirtualClock clock;
    Controller controller;
    InProcessPort* port = nullptr;
    CSerial serial;
    MonitorExchange monitor;
};

}  // namespace tarmix::sim
