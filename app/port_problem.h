// What the user is told when a port cannot be opened: the reason, and how to fix it where
// the user can (a port the user may not open needs the "dialout" group on Debian).
#pragma once

#include <optional>
#include <string>

#include "platform/port_backend.h"

namespace tarmix {

// Who may open a device, as its entry in the file system says.
struct DeviceAccess {
    unsigned mode = 0;       // the permission bits
    std::string owner;       // user name, or the number when it has none
    std::string group;       // group name, or the number
    bool rootGroup = false;  // group id 0: no group a user would join
};

// The device's owner, group and mode; none when it cannot be examined.
std::optional<DeviceAccess> ReadDeviceAccess(const std::string& path);

// Why the user may not open `device`, and what would help: joining the device's group
// when that group may read and write it, else (root:root 0600) that only its owner may,
// so that joining a group would not help. Without `access` the usual advice (the group
// "dialout").
std::string DescribeNoPermission(const std::string& device,
                                 const std::optional<DeviceAccess>& access);

// One sentence naming the device and the reason; empty only for OpenFailure::None. For a
// port that stands for no device (NotListed), `device` is the port's name.
std::string DescribeOpenFailure(OpenFailure failure, const std::string& device);

// The error shown when the port `port` (device `device`, empty when the port stands for
// none) cannot be opened: "Error while open:", the port, and the reason.
std::string OpenErrorText(const std::string& port, const std::string& device, OpenFailure failure);

}  // namespace tarmix
