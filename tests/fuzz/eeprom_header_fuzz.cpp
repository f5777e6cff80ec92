// An EEPROM image file as the restore reads it (its header names the area; the file's size
// must match it), and the area a model saves from the figures the controller reports.
#include <algorithm>

#include "config/eeprom.h"
#include "config/eeprom_area.h"
#include "fuzz_input.h"
#include "support/recording_view.h"
#include "unit/link/scripted_port.h"

using namespace tarmix;

namespace {

uint32_t word(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

// The restore on a model without an EEPROM save: it reads the file, and must refuse it or
// the model before anything goes to the controller.
void restoreFile(const std::string& path) {
    VirtualClock clock;
    auto* port = new testing::ScriptedPort(clock);
    CSerial serial([port] { return std::unique_ptr<PortBackend>(port); }, clock);
    serial.Open("COM1");
    MonitorExchange monitor(serial);
    testing::RecordingView view;
    BaudSwitch baud(monitor, view, 57600);
    EepromContext context{monitor, view, baud, 0, 40};
    fuzz::check(EepromRestore(context, path) == 1, "a model without EEPROM save refuses");
    fuzz::check(port->written.empty(), "nothing is sent");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    restoreFile(fuzz::asFile(data, size));
    if (size < kEepromHeaderSize + 5) return 0;
    std::array<uint8_t, kEepromHeaderSize> bytes;
    std::copy_n(data, kEepromHeaderSize, bytes.begin());
    const EepromHeader header = DecodeEepromHeader(bytes);
    fuzz::check(EncodeEepromHeader(header) == bytes, "the header reads back as written");

    // The figures: a model, the data length, and the end and drive B: from the header.
    const uint8_t* figures = data + kEepromHeaderSize;
    if (const auto rule = EepromRuleFor(int8_t(figures[0]))) {
        if (const auto area =
                EepromArea(*rule, word(figures + 1), header.end, int32_t(header.dataLength))) {
            fuzz::check(area->start <= area->end, "an area never starts after its end");
            fuzz::check(area->end == header.end, "an area ends where the record says");
        }
    }
    return 0;
}
