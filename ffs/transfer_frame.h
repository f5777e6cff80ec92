// The binary frames that carry file contents between the PC and the device's drives:
//
//   n (2 bytes, high byte first) | n data bytes | checksum
//
// The checksum is the bitwise complement of the 8-bit sum of the data bytes; the length
// bytes are not summed. The device announces each of its frames with "Z" and chooses n up to
// 65535; the PC sends frames of at most 512 bytes. Each frame is answered with one
// character: "." for a good frame, anything else ends the transfer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "link/monitor_exchange.h"
#include "platform/clock.h"

namespace tarmix {

inline constexpr char kFrameAnnounce = 'Z';
inline constexpr char kFrameGood = '.';
// The PC's answer to a device frame whose checksum is wrong (or that it cannot keep).
inline constexpr char kFrameRejected = 'e';
// The device's answers to a PC frame besides ".".
inline constexpr char kDeviceCannotWrite = ' ';
inline constexpr char kDeviceChecksumError = 'c';
inline constexpr char kDeviceOutOfMemory = 'e';

// The largest frame the PC sends.
inline constexpr size_t kPcFrameLimit = 512;
// Length bytes and checksum around the data.
inline constexpr size_t kFrameOverhead = 3;

uint8_t FrameChecksum(std::span<const uint8_t> data);

// The frame that carries `data` (at most 65535 bytes).
std::vector<uint8_t> EncodeFrame(std::span<const uint8_t> data);

// How long `bytes` take on the wire at the slowest rate the link runs (57600, ten bits a
// byte), as a bound for waiting on them: waits scale with what they wait for.
Millis WireTime(size_t bytes);

// Sends an empty line, which wakes the monitor (and ends a transfer it still waits on), and
// throws away what it answers.
void WakeMonitor(MonitorExchange& monitor);
// Sends "file load" (after WakeMonitor) and checks its echo: the command and two more
// characters (the CR LF). Whatever follows stays queued (the prompt of a file without frames
// may come in the same piece).
bool StartFileLoad(MonitorExchange& monitor, const std::string& command);
// Sends one frame to the device and waits for its answer: the answer, or 0 when none came.
char SendFrame(MonitorExchange& monitor, std::span<const uint8_t> data);
// Collects the rest of a transfer's answer until it ends with "Boot> ", beginning with what
// has been `collected` already. false after `silentCycles` silent 100 ms cycles in all, or
// when 9999 characters came without it.
inline constexpr int kTransferEndCycles = 5;
// A monitor left waiting for the rest of a frame gives up after about three seconds of
// silence and sends its prompt.
inline constexpr int kAbandonedLoadCycles = 40;
bool WaitForTransferEnd(MonitorExchange& monitor, std::string collected,
                        int silentCycles = kTransferEndCycles);

}  // namespace tarmix
