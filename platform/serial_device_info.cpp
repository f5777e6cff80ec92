#include "platform/serial_device_info.h"

#include <fstream>

namespace tarmix {

namespace fs = std::filesystem;

namespace {

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The USB device a tty belongs to is the nearest folder above it with an idVendor file.
void readUsbNames(const fs::path& ttyClassEntry, SerialDeviceInfo& info) {
    std::error_code error;
    fs::path folder = fs::canonical(ttyClassEntry / "device", error);
    for (int up = 0; !error && up < 4 && !folder.empty(); ++up, folder = folder.parent_path()) {
        if (fs::exists(folder / "idVendor", error)) {
            info.maker = firstLine(folder / "manufacturer");
            info.product = firstLine(folder / "product");
            return;
        }
        if (folder == folder.parent_path()) return;
    }
}

std::string stableNameOf(const fs::path& device, const fs::path& byId) {
    std::error_code error;
    const fs::path target = fs::weakly_canonical(device, error);
    if (error) return {};
    for (const auto& entry : fs::directory_iterator(byId, error)) {
        std::error_code linkError;
        if (fs::weakly_canonical(entry.path(), linkError) == target && !linkError)
            return entry.path().string();
    }
    return {};
}

}  // namespace

SerialDeviceInfo DescribeSerialDevice(const std::string& devicePath, const fs::path& sysRoot,
                                      const fs::path& devRoot) {
    SerialDeviceInfo info;
    const fs::path device(devicePath);
    readUsbNames(sysRoot / "class/tty" / device.filename(), info);
    info.stableName = stableNameOf(device, devRoot / "serial/by-id");
    return info;
}

}  // namespace tarmix
