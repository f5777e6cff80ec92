// Why a port cannot be opened, told apart so the user can be told how to fix it, and what
// the machine says about a serial adapter.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/serial_device_info.h"
#include "platform/termios_port.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

// A pseudo-terminal's device, open on the master side for the test's lifetime.
struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        path = ptsname(master);
    }
    ~Pty() { close(master); }
    int master;
    std::string path;
};

TEST(ProbeSerialPath, TellsTheReasonsApart) {
    Pty pty;
    EXPECT_EQ(ProbeSerialPath(pty.path), OpenFailure::None);
    EXPECT_EQ(ProbeSerialPath("/nonexistent/ttyUSB9"), OpenFailure::Missing);
    EXPECT_EQ(ProbeSerialPath("/dev/null"), OpenFailure::NotATerminal);

    PortMap map;
    map.setCom(0, {pty.path, false});
    TermiosPort holder(map), second(map);
    ASSERT_TRUE(holder.open("COM1"));
    EXPECT_FALSE(second.open("COM1"));
    EXPECT_EQ(second.openFailure(), OpenFailure::InUse);
    EXPECT_EQ(ProbeSerialPath(pty.path), OpenFailure::InUse);
    EXPECT_FALSE(second.open("COM2"));
    EXPECT_EQ(second.openFailure(), OpenFailure::NotListed);
}

// A device the user may not open, as an unprivileged user sees it (the test drops its
// privileges in a child when it runs as root).
TEST(ProbeSerialPath, DeviceWithoutPermissionIsReportedAsSuch) {
    Pty pty;
    ASSERT_EQ(chmod(pty.path.c_str(), 0600), 0);
    if (getuid() != 0) {
        ASSERT_EQ(chmod(pty.path.c_str(), 0), 0);
    }
    const pid_t child = fork();
    if (child == 0) {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        _exit(ProbeSerialPath(pty.path) == OpenFailure::NoPermission ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(DescribeSerialDevice, ReadsMakerProductAndStableName) {
    const fs::path root = fs::temp_directory_path() / ("tarmix_sysfs_" + std::to_string(getpid()));
    fs::remove_all(root);
    const fs::path usb = root / "sys/devices/pci0/usb1/1-2";
    fs::create_directories(usb / "1-2:1.0/ttyUSB0");
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "manufacturer") << "Maker Ltd\n";
    std::ofstream(usb / "product") << "USB Serial\n";
    fs::create_directories(root / "sys/class/tty/ttyUSB0");
    fs::create_directory_symlink(usb / "1-2:1.0", root / "sys/class/tty/ttyUSB0/device");
    fs::create_directories(root / "dev/serial/by-id");
    std::ofstream(root / "dev/ttyUSB0");
    std::ofstream(root / "dev/ttyUSB1");
    fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-Maker_USB_Serial-if00");

    const SerialDeviceInfo adapter =
        DescribeSerialDevice((root / "dev/ttyUSB0").string(), root / "sys", root / "dev");
    EXPECT_EQ(adapter.maker, "Maker Ltd");
    EXPECT_EQ(adapter.product, "USB Serial");
    EXPECT_EQ(adapter.stableName, (root / "dev/serial/by-id/usb-Maker_USB_Serial-if00").string());

    const SerialDeviceInfo other =
        DescribeSerialDevice((root / "dev/ttyUSB1").string(), root / "sys", root / "dev");
    EXPECT_TRUE(other.maker.empty() && other.product.empty() && other.stableName.empty());
    fs::remove_all(root);
}

}  // namespace
}  // namespace tarmix
