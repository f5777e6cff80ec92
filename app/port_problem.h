// What the user is told when a port cannot be opened: the reason, and how to fix it where
// the user can (a port the user may not open needs the "dialout" group on Debian).
#pragma once

#include <string>

#include "platform/port_backend.h"

namespace tarmix {

// One sentence naming the device and the reason; empty when there is nothing to add to
// the plain "cannot be opened".
std::string DescribeOpenFailure(OpenFailure failure, const std::string& device);

}  // namespace tarmix
