// What the machine says about a serial device: the adapter's maker and product (USB
// adapters report them) and its stable name under /dev/serial/by-id, which stays the
// same when the adapter comes back under another /dev/ttyUSBn name.
#pragma once

#include <filesystem>
#include <string>

namespace tarmix {

struct SerialDeviceInfo {
    std::string maker;       // empty when unknown
    std::string product;     // empty when unknown
    std::string stableName;  // /dev/serial/by-id/...; empty when there is none
};

// `sysRoot` and `devRoot` let tests point at a fake /sys and /dev.
SerialDeviceInfo DescribeSerialDevice(const std::string& devicePath,
                                      const std::filesystem::path& sysRoot = "/sys",
                                      const std::filesystem::path& devRoot = "/dev");

}  // namespace tarmix
