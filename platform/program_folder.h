// Where the running program lives, and the folders it keeps its files in.
#pragma once

#include <filesystem>

namespace tarmix {

// The folder of the running executable (empty if it cannot be told).
std::filesystem::path executableFolder();

}  // namespace tarmix
