#include "ffs/transfer_frame.h"

namespace tarmix {

namespace {

constexpr size_t kBitsPerByte = 10;  // start bit, eight data bits, stop bit
constexpr Millis kWakePause{200};
constexpr size_t kEchoEnd = 2;  // the echo of "file load" ends with CR LF
constexpr Wait kEchoWait = Wait::Scaled(Millis{300});
constexpr Wait kAcknowledgeWait = Wait::Scaled(Millis{2000});
// as the monitor expects: a transfer ends with "Boot> "; the CR LF before it may have been
// taken with the last frame's answer.
constexpr char kPromptEnd[] = "Boot> ";
constexpr Wait kPromptCycle = Wait::Scaled(Millis{100});
constexpr size_t kPromptCapacity = 9999;

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

void WakeMonitor(MonitorExchange& monitor) {
    CSerial& serial = monitor.serial();
    monitor.SendLine("");
    serial.clock().sleep(kWakePause);
    serial.DrainInput();
}

bool StartFileLoad(MonitorExchange& monitor, const std::string& command) {
    WakeMonitor(monitor);
    if (!monitor.SendLine(command)) return false;
    const size_t echoLength = command.size() + kEchoEnd;
    std::string echo;
    const Reply echoed =
        monitor.ReceiveStartingWith(echo, command, echoLength, echoLength, kEchoWait);
    return echoed.ok() && echoed.received == echoLength;
}

char SendFrame(MonitorExchange& monitor, std::span<const uint8_t> data) {
    const std::vector<uint8_t> frame = EncodeFrame(data);
    if (monitor.serial().WriteBytes(frame.data(), frame.size()) != 0) return 0;
    std::string answer;
    monitor.Receive(answer, 1, 1, kAcknowledgeWait);
    return answer.empty() ? 0 : answer[0];
}

bool WaitForTransferEnd(MonitorExchange& monitor, std::string collected, int silentCycles) {
    int silent = 0;
    const auto complete = [&] {
        return collected.size() >= sizeof kPromptEnd - 1 &&
               collected.compare(collected.size() - (sizeof kPromptEnd - 1), std::string::npos,
                                 kPromptEnd) == 0;
    };
    while (!complete()) {
        if (silent >= silentCycles || collected.size() >= kPromptCapacity) return false;
        std::string piece;
        if (monitor.Receive(piece, kPromptCapacity - collected.size(), 1, kPromptCycle).heard ==
            Heard::ReadFailed)
            return false;
        if (piece.empty()) ++silent;
        collected += piece;
    }
    return true;
}

}  // namespace tarmix
