// What the user is told when a port cannot be opened: the reason, and how to fix it where
// the user can (a port the user may not open needs the "dialout" group on Debian).
#pragma once

#include <string>

#include "platform/port_backend.h"

namespace tarmix {

// One sentence naming the device and the reason; empty only for OpenFailure::None. For a
// port that stands for no device (NotListed), `device` is the port's name.
std::string DescribeOpenFailure(OpenFailure failure, const std::string& device);

// The error shown when the port `port` (device `device`, empty when the port stands for
// none) cannot be opened: "Error while open:", the port, and the reason.
std::string OpenErrorText(const std::string& port, const std::string& device, OpenFailure failure);

}  // namespace tarmix
