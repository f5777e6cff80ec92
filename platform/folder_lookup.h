// Finding a file by name in a folder that may have been filled on a system that does not
// tell upper and lower case apart ("BOOT.ROM" for "Boot.rom").
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace tarmix {

// The file `name` in `folder`: the exact name when it exists, otherwise the entry whose name
// equals it ignoring ASCII case (the first in name order when there are several). nullopt
// when there is none or the folder cannot be read. Only regular files (or links to them)
// count.
std::optional<std::filesystem::path> FindFileInFolder(const std::filesystem::path& folder,
                                                      std::string_view name);

}  // namespace tarmix
