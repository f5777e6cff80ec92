// Which device stands behind each of the program's port names. The six serial ports are
// called "COM1" … "COM6" and the parallel port "LPT1", as the controllers' users know them.
//
// When any TARMIX_COMn variable is set, the serial ports are exactly those variables
// (a device path each; TARMIX_COMn_USB=1 marks a USB adapter). Otherwise the machine's
// real serial devices are taken in a stable order: USB adapters, ACM devices, then UARTs
// that exist, each under its stable name where it has one, and listed afresh on every
// relist(). LPT1 is TARMIX_LPT1 when set, else /dev/lp0.
//
// A PortMap is a handle: its copies (the port factory's, the parallel port's) share one
// table, so a new listing reaches every user of the map.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarmix {

inline constexpr int kComPortCount = 6;
inline constexpr int kLptPortIndex = 6;

struct SerialDevice {
    std::string path;
    bool usb = false;
};

// The serial devices under `sysRoot`/class/tty that have hardware behind them, in the order
// above, each under its name in `devRoot` (its stable one under serial/by-id where it has
// one). The roots let tests list a fake machine.
std::vector<SerialDevice> ListSerialDevices(const std::filesystem::path& sysRoot = "/sys",
                                            const std::filesystem::path& devRoot = "/dev");

class PortMap {
  public:
    PortMap();
    static PortMap fromSystem();
    // COM ports that follow the serial devices listed under the two roots, as the machine's
    // do without TARMIX_COMn.
    static PortMap followingDevices(const std::filesystem::path& sysRoot,
                                    const std::filesystem::path& devRoot);

    // Puts `device` behind COM(index+1) for good: a new listing leaves that port alone.
    void setCom(int index, SerialDevice device);
    void setLpt(std::string path) { table_->lpt = std::move(path); }

    // Lists the machine's serial devices again when the ports follow them: a device still
    // there keeps its COM name, a new one (an adapter plugged in since) takes the first
    // free one, and one that went away keeps its name, so that it is found there again
    // when it comes back under the same (stable) name. Nothing happens otherwise.
    void relist();

    // The device of COM(index+1), if that port is listed.
    const std::optional<SerialDevice>& com(int index) const;
    const std::string& lpt() const { return table_->lpt; }

    // "COM1".."COM6" and "LPT1" to their device paths; any other name is a path already.
    // Empty for a port name that is not listed.
    std::string resolve(const std::string& name) const;

  private:
    struct Table {
        std::array<std::optional<SerialDevice>, kComPortCount> com;
        std::array<bool, kComPortCount> chosen{};  // set by setCom, never relisted
        std::string lpt = "/dev/lp0";
        // Where the listed devices come from; empty when the ports do not follow them.
        std::optional<std::pair<std::filesystem::path, std::filesystem::path>> listedFrom;
    };
    std::shared_ptr<Table> table_;
};

// "COM1".."COM6" for 0..5, "LPT1" for 6.
std::string portName(int index);

// The device at `path` as a port: a USB adapter under its stable name in `devRoot`/serial/by-id
// where it has one, so that it is found again after it re-enumerated; anything else as given.
SerialDevice SerialDeviceAt(const std::string& path, bool usb,
                            const std::filesystem::path& devRoot = "/dev");

// Whether the serial device at `path` (a symlink is followed) sits on a USB adapter.
bool isUsbSerialDevice(const std::string& path);

}  // namespace tarmix
