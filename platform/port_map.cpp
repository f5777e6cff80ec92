#include "platform/port_map.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/serial_device_info.h"

namespace tarmix {
namespace fs = std::filesystem;

namespace {

const char* environment(const std::string& name) { return std::getenv(name.c_str()); }

bool isUsbDevice(const fs::path& ttyClassEntry) {
    std::error_code error;
    fs::path device = fs::canonical(ttyClassEntry / "device", error);
    return !error && device.string().find("/usb") != std::string::npos;
}

// A UART that the serial core knows but that has no hardware behind it reports type 0.
bool isPresentUart(const fs::path& ttyClassEntry) {
    std::ifstream type(ttyClassEntry / "type");
    int value = 0;
    return (type >> value) && value != 0;
}

// Sort key: family first (USB adapters, ACM, UARTs, others), then the number in the name.
std::pair<int, long> deviceOrder(const std::string& name) {
    static const std::vector<std::string> families = {"ttyUSB", "ttyACM", "ttyS"};
    int family = static_cast<int>(families.size());
    for (size_t i = 0; i < families.size(); ++i)
        if (name.rfind(families[i], 0) == 0) family = static_cast<int>(i);
    size_t digits = name.find_first_of("0123456789");
    long number = digits == std::string::npos ? 0 : std::atol(name.c_str() + digits);
    return {family, number};
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const fs::path& sysRoot, const fs::path& devRoot) {
    std::vector<std::pair<std::string, SerialDevice>> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sysRoot / "class/tty", error)) {
        const std::string name = entry.path().filename().string();
        if (!fs::exists(entry.path() / "device")) continue;  // virtual consoles, ptys
        if (name.rfind("ttyS", 0) == 0 && !isPresentUart(entry.path())) continue;
        // The stable name reaches the adapter again after it re-enumerated as another
        // ttyUSBn.
        const std::string device = (devRoot / name).string();
        const std::string stable = StableSerialName(device, devRoot / "serial/by-id");
        found.push_back({name, {stable.empty() ? device : stable, isUsbDevice(entry.path())}});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return deviceOrder(a.first) < deviceOrder(b.first);
    });
    std::vector<SerialDevice> devices;
    for (auto& [name, device] : found) devices.push_back(std::move(device));
    return devices;
}

SerialDevice SerialDeviceAt(const std::string& path, bool usb, const fs::path& devRoot) {
    if (!usb) return {path, false};
    const std::string stable = StableSerialName(path, devRoot / "serial/by-id");
    return {stable.empty() ? path : stable, true};
}

bool isUsbSerialDevice(const std::string& path) {
    std::error_code error;
    const fs::path device = fs::canonical(path, error);
    return !error && isUsbDevice(fs::path("/sys/class/tty") / device.filename());
}

std::string portName(int index) {
    return index == kLptPortIndex ? "LPT1" : "COM" + std::to_string(index + 1);
}

PortMap::PortMap() : table_(std::make_shared<Table>()) {}

PortMap PortMap::fromSystem() {
    PortMap map;
    bool anyMapped = false;
    for (int i = 0; i < kComPortCount; ++i) {
        const std::string variable = "TARMIX_" + portName(i);
        if (const char* path = environment(variable); path && *path) {
            const char* usb = environment(variable + "_USB");
            map.setCom(i, SerialDeviceAt(path, usb && std::string(usb) == "1"));
            anyMapped = true;
        }
    }
    if (!anyMapped) map = followingDevices("/sys", "/dev");
    if (const char* lpt = environment("TARMIX_LPT1"); lpt && *lpt) map.setLpt(lpt);
    return map;
}

PortMap PortMap::followingDevices(const fs::path& sysRoot, const fs::path& devRoot) {
    PortMap map;
    map.table_->listedFrom.emplace(sysRoot, devRoot);
    map.relist();
    return map;
}

void PortMap::setCom(int index, SerialDevice device) {
    if (index < 0 || index >= kComPortCount) return;
    table_->com[size_t(index)] = std::move(device);
    table_->chosen[size_t(index)] = true;
}

void PortMap::relist() {
    Table& table = *table_;
    if (!table.listedFrom) return;
    for (SerialDevice& device :
         ListSerialDevices(table.listedFrom->first, table.listedFrom->second)) {
        auto& com = table.com;
        const auto same = [&](const std::optional<SerialDevice>& port) {
            return port && port->path == device.path;
        };
        if (auto known = std::find_if(com.begin(), com.end(), same); known != com.end()) {
            (*known)->usb = device.usb;
            continue;
        }
        for (size_t i = 0; i < com.size(); ++i) {
            if (com[i] || table.chosen[i]) continue;
            com[i] = std::move(device);
            break;
        }
    }
}

const std::optional<SerialDevice>& PortMap::com(int index) const {
    static const std::optional<SerialDevice> none;
    return index >= 0 && index < kComPortCount ? table_->com[size_t(index)] : none;
}

std::string PortMap::resolve(const std::string& name) const {
    if (name == "LPT1") return table_->lpt;
    for (int i = 0; i < kComPortCount; ++i)
        if (name == portName(i)) return com(i) ? com(i)->path : std::string();
    return name;
}

}  // namespace tarmix
