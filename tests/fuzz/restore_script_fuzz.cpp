// A backup folder as someone may have left it: its restore script read line by line (the
// dry run), its manifest checked against the files, and the question's time pattern.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch/backup_manifest.h"
#include "batch/device_backup.h"
#include "batch/dry_run.h"
#include "batch/restore_script.h"
#include "fuzz_input.h"

using namespace tarmix;
namespace fs = std::filesystem;

namespace {

// A backup folder with one file of its own, beside a file that is not part of it.
const fs::path& folder() {
    static const fs::path path = [] {
        const fs::path base =
            fs::temp_directory_path() / ("tarmix-restore-fuzz-" + std::to_string(getpid()));
        fs::create_directories(base / "backup" / "Flash");
        std::ofstream(base / "backup" / "Flash" / "Application.rom") << "S0030000FC\r\n";
        std::ofstream(base / "outside.txt") << "not part of the backup";
        return base / "backup";
    }();
    return path;
}

bool leadsOutside(const std::string& path) {
    return path.find("..") != std::string::npos || (!path.empty() && path.front() == '/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(fuzz::asText(data, size));
    std::ofstream(folder() / kRestoreScriptName, std::ios::binary) << text;
    std::ofstream(folder() / kManifestFileName, std::ios::binary) << text;

    std::ostringstream shown;
    const int code = DryRunScript((folder() / kRestoreScriptName).string(), shown);
    fuzz::check(code == 0 || code == 1, "the dry run says yes or no");

    const BackupCheck check = VerifyBackup(folder());
    for (const std::string& path : check.changed)
        fuzz::check(!leadsOutside(path), "a path out of the folder is never compared");
    DescribeBackupCheck(check);

    LocalTime time{};
    FillBackupTime(text, time);
    return 0;
}
