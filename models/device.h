// What the program knows about the connected controller. The connection watch fills it when
// the controller answers "please answer me" (and once per connection "tell version" and
// "tell drives"); every device operation reads it.
#pragma once

#include <array>
#include <cstdint>

namespace tarmix {

// An address area of the controller, both ends inclusive. 0..0 stands for "no such area".
struct AddressRange {
    uint32_t low = 0;
    uint32_t high = 0;

    // high − low + 1 in 32-bit arithmetic, so 0..0xFFFFFFFF gives 0.
    uint32_t size() const { return high - low + 1; }
    friend bool operator==(const AddressRange&, const AddressRange&) = default;
};

inline constexpr int kDriveCount = 3;  // A:, B:, C:

struct DeviceDescription {
    // 0 = not identified, 1..18 = a row of the model table (models/models.h).
    int32_t hardwareModel = 0;

    AddressRange bankA;  // the part of flash bank 1 available to applications
    AddressRange bankB;  // flash bank 2
    AddressRange bankC;  // RAM

    // Hz; only the BIRCH panel (model 2) reports it, 0 when its answer carries no clock.
    int32_t clockFrequency = 0;

    // The monitor version from "tell version"; 0 when that answer was unusable.
    int32_t firmwareVersion = 0;
    // Set when the version answer was unusable or the number is at most 100000.
    bool versionFlag = false;

    // Sizes of A:, B:, C: in kB. The size of C: is the top of bank A that the file system
    // occupies, so an application download must stay below it.
    std::array<int32_t, kDriveCount> driveSizes{};
    bool drivesPresent = false;
    // The monitor has drives but never gave a usable "tell drives" answer: where drive C:
    // ends bank A is not known, so nothing may be written into bank A.
    bool driveSizesUnread = false;

    // Which baud rates the operator may choose. Before identification only 57600.
    bool allowBaud57600 = true;
    bool allowBaud115200 = false;
    bool allowBaud230400 = false;

    // State of the "Extended Firmware" check box: chooses the extended boot loader variant.
    bool extendedFirmware = false;

    // The handshake succeeded and the one-time queries of this connection have run.
    bool deviceIdentified = false;
};

}  // namespace tarmix
