#include "app/port_problem.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/cli/port_listing.h"
#include "lang/catalog.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

// Joining a group is advised only where the device's group may read and write it, and
// then that group is named.
TEST(PortProblem, PermissionAdviceFollowsTheDevicesOwnerGroupAndMode) {
    setLanguageIndex(kEnglishLanguage);
    struct Case {
        std::optional<DeviceAccess> access;
        std::string said;
        bool advisesJoining;
    };
    const Case cases[] = {
        {DeviceAccess{0600, "root", "root", true}, "only its owner root may open it (mode 0600)",
         false},
        {DeviceAccess{0660, "root", "root", true}, "only its owner root", false},
        {DeviceAccess{0640, "root", "dialout", false}, "only its owner root", false},
        {DeviceAccess{0660, "root", "dialout", false}, "to the group \"dialout\"", true},
        {DeviceAccess{0660, "root", "uucp", false}, "(sudo adduser $USER uucp)", true},
        {std::nullopt, "(sudo adduser $USER dialout)", true},
    };
    for (const Case& c : cases) {
        const std::string text = DescribeNoPermission("/dev/ttyS4", c.access);
        EXPECT_NE(text.find("/dev/ttyS4"), std::string::npos) << text;
        EXPECT_NE(text.find(c.said), std::string::npos) << text;
        EXPECT_EQ(text.find("adduser") != std::string::npos, c.advisesJoining) << text;
    }
}

// --list-ports on a device only its owner may open: the line says why from the device's
// real owner and mode, not the group advice.
TEST(PortProblem, ListPortsExplainsADeviceOnlyItsOwnerMayOpen) {
    setLanguageIndex(kEnglishLanguage);
    const fs::path device =
        fs::temp_directory_path() / ("tarmix_owner_only_" + std::to_string(::getpid()));
    std::ofstream(device) << "";
    fs::permissions(device, fs::perms::owner_read | fs::perms::owner_write);
    PortMap map;
    map.setCom(0, {device.string(), false});
    std::ostringstream out;
    ListPorts(map, out, false, [&](const std::string& path) {
        return path == device.string() ? OpenFailure::NoPermission : OpenFailure::Missing;
    });
    fs::remove(device);
    EXPECT_NE(out.str().find("Not available\n      Permission denied for " + device.string() +
                             ": only its owner"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("(mode 0600)"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("adduser"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace tarmix
