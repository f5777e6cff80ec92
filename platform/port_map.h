// Which device stands behind each of the program's port names. The six serial ports are
// called "COM1" … "COM6" and the parallel port "LPT1", as the controllers' users know them.
//
// When any TARMIX_COMn variable is set, the serial ports are exactly those variables
// (a device path each; TARMIX_COMn_USB=1 marks a USB adapter). Otherwise the machine's
// real serial devices are taken in a stable order: USB adapters, ACM devices, then UARTs
// that exist. LPT1 is TARMIX_LPT1 when set, else /dev/lp0.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace tarmix {

inline constexpr int kComPortCount = 6;
inline constexpr int kLptPortIndex = 6;

struct SerialDevice {
    std::string path;
    bool usb = false;
};

class PortMap {
  public:
    static PortMap fromSystem();

    void setCom(int index, SerialDevice device);
    void setLpt(std::string path) { lpt_ = std::move(path); }

    // The device of COM(index+1), if that port is listed.
    const std::optional<SerialDevice>& com(int index) const;
    const std::string& lpt() const { return lpt_; }

    // "COM1".."COM6" and "LPT1" to their device paths; any other name is a path already.
    // Empty for a port name that is not listed.
    std::string resolve(const std::string& name) const;

  private:
    std::array<std::optional<SerialDevice>, kComPortCount> com_;
    std::string lpt_ = "/dev/lp0";
};

// "COM1".."COM6" for 0..5, "LPT1" for 6.
std::string portName(int index);

// Whether the serial device at `path` (a symlink is followed) sits on a USB adapter.
bool isUsbSerialDevice(const std::string& path);

}  // namespace tarmix
