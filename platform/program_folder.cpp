#include "platform/program_folder.h"

namespace tarmix {

std::filesystem::path executableFolder() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self.parent_path();
}

}  // namespace tarmix
