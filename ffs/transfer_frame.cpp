#include "ffs/transfer_frame.h"

#include <algorithm>

#include "platform/stop_request.h"

namespace tarmix {

namespace {

constexpr size_t kBitsPerByte = 10;  // start bit, eight data bits, stop bit
constexpr Millis kWakePause{200};
constexpr size_t kEchoEnd = 2;  // the echo of "file load" ends with CR LF
constexpr Millis kEchoTimeout{300};
constexpr Millis kAcknowledgeTimeout{2000};
constexpr char kPromptEnd[] = "Boot> ";
constexpr Millis kPromptCycle{100};
constexpr size_t kPromptCapacity = 9999;

// Bytes a receive call waits for at most: a pseudo-terminal holds about 4 kB, so waiting
// for more than that would only wait for the time-out.
constexpr size_t kReceivePiece = 2048;

}  // namespace

uint8_t FrameChecksum(std::span<const uint8_t> data) {
    uint8_t sum = 0;
    for (uint8_t byte : data) sum = uint8_t(sum + byte);
    return uint8_t(~sum);
}

std::vector<uint8_t> EncodeFrame(std::span<const uint8_t> data) {
    std::vector<uint8_t> frame;
    frame.reserve(data.size() + kFrameOverhead);
    frame.push_back(uint8_t(data.size() >> 8));
    frame.push_back(uint8_t(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(FrameChecksum(data));
    return frame;
}

Millis WireTime(size_t bytes) {
    return Millis((bytes * kBitsPerByte * 1000 + CSerial::kLinkBaud - 1) / CSerial::kLinkBaud);
}

size_t ReceiveExactly(CSerial& serial, uint8_t* buffer, size_t count, Millis timeout) {
    Clock& clock = serial.clock();
    const Millis deadline = clock.now() + timeout;
    size_t got = 0;
    while (got < count) {
        const Millis left = deadline - clock.now();
        if (left <= Millis{0}) break;
        size_t piece = 0;
        const int failed = serial.ReceiveBytes(buffer + got, count - got, piece,
                                               std::min(count - got, kReceivePiece), left);
        got += piece;
        // An abandoned operation does not wait for the rest of a frame still arriving.
        if (failed || AbandonRequested()) break;
    }
    return got;
}

void WakeMonitor(MonitorExchange& monitor) {
    CSerial& serial = monitor.serial();
    serial.SendLine("");
    serial.clock().sleep(kWakePause);
    serial.DrainInput();
}

bool StartFileLoad(MonitorExchange& monitor, const std::string& command) {
    CSerial& serial = monitor.serial();
    WakeMonitor(monitor);
    if (serial.SendLine(command) != 0) return false;
    const size_t echoLength = command.size() + kEchoEnd;
    std::string echo;
    serial.ReceiveText(echo, echoLength, echoLength, monitor.scaled(kEchoTimeout));
    return echo.size() == echoLength && echo.compare(0, command.size(), command) == 0;
}

char SendFrame(MonitorExchange& monitor, std::span<const uint8_t> data) {
    CSerial& serial = monitor.serial();
    const std::vector<uint8_t> frame = EncodeFrame(data);
    if (serial.WriteBytes(frame.data(), frame.size()) != 0) return 0;
    std::string answer;
    serial.ReceiveText(answer, 1, 1, monitor.scaled(kAcknowledgeTimeout));
    return answer.empty() ? 0 : answer[0];
}

bool WaitForTransferEnd(MonitorExchange& monitor, std::string collected, int silentCycles) {
    CSerial& serial = monitor.serial();
    int silent = 0;
    const auto complete = [&] {
        return collected.size() >= sizeof kPromptEnd - 1 &&
               collected.compare(collected.size() - (sizeof kPromptEnd - 1), std::string::npos,
                                 kPromptEnd) == 0;
    };
    while (!complete()) {
        if (silent >= silentCycles || collected.size() >= kPromptCapacity) return false;
        std::string piece;
        if (serial.ReceiveText(piece, kPromptCapacity - collected.size(), 1,
                               monitor.scaled(kPromptCycle)) != 0)
            return false;
        if (piece.empty()) ++silent;
        collected += piece;
    }
    return true;
}

}  // namespace tarmix
