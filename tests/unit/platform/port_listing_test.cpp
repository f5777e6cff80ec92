// The COM ports follow the machine's serial devices, listed afresh on each relist: checked
// on a fake /sys and /dev where adapters are plugged in, pulled out and re-enumerated.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/port_map.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

class FakeMachine : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(root);
        fs::create_directories(root / "sys/class/tty");
        fs::create_directories(root / "dev/serial/by-id");
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path sys() const { return root / "sys"; }
    fs::path dev() const { return root / "dev"; }
    fs::path byId(const std::string& name) const { return dev() / "serial/by-id" / name; }

    // A UART that exists (type 4).
    void addUart(const std::string& name) {
        const fs::path device = root / "sys/devices/platform/serial8250" / name;
        fs::create_directories(device);
        fs::create_directories(root / "sys/class/tty" / name);
        fs::create_directory_symlink(device, root / "sys/class/tty" / name / "device");
        std::ofstream(root / "sys/class/tty" / name / "type") << "4\n";
        std::ofstream(dev() / name);
    }
    // A USB adapter's tty, with a stable name when `stable` is not empty.
    void plugUsb(const std::string& name, const std::string& stable) {
        const fs::path device = root / "sys/devices/pci0/usb1/1-2/1-2:1.0" / name;
        fs::create_directories(device);
        fs::create_directories(root / "sys/class/tty" / name);
        fs::create_directory_symlink(device, root / "sys/class/tty" / name / "device");
        std::ofstream(dev() / name);
        if (!stable.empty()) {
            fs::remove(byId(stable));
            fs::create_symlink("../../" + name, byId(stable));
        }
    }
    void unplug(const std::string& name, const std::string& stable) {
        fs::remove_all(root / "sys/class/tty" / name);
        fs::remove(dev() / name);
        if (!stable.empty()) fs::remove(byId(stable));
    }

    const fs::path root =
        fs::temp_directory_path() / ("tarmix_machine_" + std::to_string(getpid()));
};

TEST_F(FakeMachine, PortsAppearAndKeepTheirNamesAcrossRelistsAndReenumeration) {
    const std::string adapter = "usb-Maker_Adapter_A1-if00-port0";
    addUart("ttyS0");
    PortMap map = PortMap::followingDevices(sys(), dev());
    const PortMap factoryCopy = map;  // what the port factory holds
    ASSERT_TRUE(map.com(0));
    EXPECT_EQ(map.com(0)->path, (dev() / "ttyS0").string());
    EXPECT_FALSE(map.com(1));

    // Plugged in after start-up: listed on the next relist, under its stable name.
    plugUsb("ttyUSB0", adapter);
    map.relist();
    ASSERT_TRUE(map.com(1));
    EXPECT_EQ(map.com(1)->path, byId(adapter).string());
    EXPECT_TRUE(map.com(1)->usb);
    EXPECT_EQ(factoryCopy.resolve("COM2"), byId(adapter).string());

    // The controller restarts and its port comes back as ttyUSB1: same COM name, and the
    // name that is opened leads to the new device.
    unplug("ttyUSB0", adapter);
    map.relist();
    EXPECT_EQ(map.resolve("COM2"), byId(adapter).string());  // kept while it is away
    plugUsb("ttyUSB1", adapter);
    map.relist();
    EXPECT_EQ(map.resolve("COM2"), byId(adapter).string());
    EXPECT_EQ(fs::canonical(map.resolve("COM2")), fs::canonical(dev() / "ttyUSB1"));
    EXPECT_FALSE(map.com(2));

    // An adapter without a stable name takes the next free name; a chosen port stays.
    map.setCom(3, {"/dev/chosen", false});
    plugUsb("ttyUSB2", "");
    map.relist();
    EXPECT_EQ(map.resolve("COM3"), (dev() / "ttyUSB2").string());
    EXPECT_EQ(map.resolve("COM4"), "/dev/chosen");
}

TEST_F(FakeMachine, AChosenUsbAdapterIsReachedByItsStableName) {
    plugUsb("ttyUSB3", "usb-Chosen-if00");
    addUart("ttyS0");
    const std::string adapter = (dev() / "ttyUSB3").string();
    EXPECT_EQ(SerialDeviceAt(adapter, true, dev()).path, byId("usb-Chosen-if00").string());
    EXPECT_EQ(SerialDeviceAt(adapter, false, dev()).path, adapter);
    const std::string uart = (dev() / "ttyS0").string();
    EXPECT_EQ(SerialDeviceAt(uart, true, dev()).path, uart);  // a USB device without one
}

TEST_F(FakeMachine, AFirstListingPutsAdaptersBeforeUartsAndSkipsAbsentOnes) {
    addUart("ttyS1");
    plugUsb("ttyUSB0", "usb-One-if00");
    plugUsb("ttyACM0", "");
    // A UART the serial core knows but that has no hardware behind it.
    fs::create_directories(root / "sys/class/tty/ttyS3");
    fs::create_directory_symlink(root / "sys/devices", root / "sys/class/tty/ttyS3/device");
    std::ofstream(root / "sys/class/tty/ttyS3/type") << "0\n";
    const PortMap map = PortMap::followingDevices(sys(), dev());
    EXPECT_EQ(map.resolve("COM1"), byId("usb-One-if00").string());
    EXPECT_EQ(map.resolve("COM2"), (dev() / "ttyACM0").string());
    EXPECT_EQ(map.resolve("COM3"), (dev() / "ttyS1").string());
    EXPECT_EQ(map.resolve("COM4"), "");
}

}  // namespace
}  // namespace tarmix
