#include "batch/device_backup_folder.h"

#include <algorithm>
#include <optional>
#include <set>

#include "batch/backup_manifest.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr char kWorkFolder[] = ".tarmix-new";
constexpr char kAsideFolder[] = ".tarmix-old";
// Where a backup without a manifest keeps its files.
constexpr char kImagePath[] = "Flash/Application.rom";
constexpr char kEepromPath[] = "EEPROM/Eeprom.bin";
constexpr char kDrivePrefix[] = "Drive_";

// Whether a file (relative, "/" separated) belongs to the earlier backup: its manifest
// lists it, or, for a backup without one, it lies where a backup puts its files.
bool PartOfEarlierBackup(const std::string& relative,
                         const std::optional<std::set<std::string>>& listed) {
    if (relative == kRestoreScriptName || relative == kManifestFileName ||
        relative == kSkippedFileName)
        return true;
    if (listed) return listed->count(relative) > 0;
    return relative == kImagePath || relative == kEepromPath ||
           (relative.rfind(kDrivePrefix, 0) == 0 && relative.find('/') != std::string::npos);
}

bool Move(const fs::path& from, const fs::path& to, std::string& error) {
    std::error_code failure;
    fs::rename(from, to, failure);
    if (failure) error = from.string() + ": " + failure.message();
    return !failure;
}

}  // namespace

BackupFolderSurvey SurveyBackupFolder(const fs::path& folder) {
    BackupFolderSurvey survey;
    std::error_code failure;
    survey.earlierBackup = fs::exists(folder / kRestoreScriptName, failure);
    std::string unread;
    const std::optional<std::set<std::string>> listed = ListedFiles(folder, unread);
    for (auto it = fs::directory_iterator(folder, failure);
         !failure && it != fs::directory_iterator(); it.increment(failure)) {
        const std::string name = it->path().filename().string();
        if (name == kWorkFolder || name == kAsideFolder) continue;
        if (!IsBackupEntry(name)) {
            survey.besideBackup.push_back(name);
            continue;
        }
        if (!it->is_directory()) {
            if (!PartOfEarlierBackup(name, listed)) survey.foreignInside.push_back(name);
            continue;
        }
        std::error_code inner;
        for (auto file = fs::recursive_directory_iterator(it->path(), inner);
             !inner && file != fs::recursive_directory_iterator(); file.increment(inner)) {
            if (file->is_directory()) continue;
            const std::string relative = fs::relative(file->path(), folder).generic_string();
            if (!PartOfEarlierBackup(relative, listed)) survey.foreignInside.push_back(relative);
        }
    }
    std::sort(survey.foreignInside.begin(), survey.foreignInside.end());
    std::sort(survey.besideBackup.begin(), survey.besideBackup.end());
    return survey;
}

bool TidyBackupFolder(const fs::path& folder, std::string& error) {
    const fs::path aside = folder / kAsideFolder;
    std::error_code failure;
    if (fs::exists(aside / kRestoreScriptName, failure) &&
        !fs::exists(folder / kRestoreScriptName, failure)) {
        // The earlier backup was set aside and the new one never got into place.
        for (const char* name : kBackupEntries) {
            if (!fs::exists(aside / name, failure)) continue;
            fs::remove_all(folder / name, failure);
            if (!Move(aside / name, folder / name, error)) return false;
        }
    }
    fs::remove_all(aside, failure);
    fs::remove_all(folder / kWorkFolder, failure);
    if (failure) error = folder.string() + ": " + failure.message();
    return !failure;
}

fs::path MakeBackupWorkFolder(const fs::path& folder, std::string& error) {
    const fs::path work = folder / kWorkFolder;
    std::error_code failure;
    fs::remove_all(work, failure);
    if (!failure) fs::create_directories(work, failure);
    if (!failure) return work;
    error = work.string() + ": " + failure.message();
    return {};
}

bool InstallBackup(const fs::path& folder, std::string& error) {
    const fs::path work = folder / kWorkFolder, aside = folder / kAsideFolder;
    std::error_code failure;
    fs::remove_all(aside, failure);
    fs::create_directory(aside, failure);
    if (failure) {
        error = aside.string() + ": " + failure.message();
        return false;
    }
    std::vector<const char*> setAside, movedIn;
    bool moved = true;
    for (const char* name : kBackupEntries) {
        if (!fs::exists(folder / name, failure)) continue;
        if (!(moved = Move(folder / name, aside / name, error))) break;
        setAside.push_back(name);
    }
    // The new restore script comes last: a folder with a Reload.rom holds a whole backup.
    for (auto name = kBackupEntries.rbegin(); moved && name != kBackupEntries.rend(); ++name) {
        if (!fs::exists(work / *name, failure)) continue;
        if (!(moved = Move(work / *name, folder / *name, error))) break;
        movedIn.push_back(*name);
    }
    if (!moved) {
        std::string ignored;
        for (const char* name : movedIn) Move(folder / name, work / name, ignored);
        for (const char* name : setAside) Move(aside / name, folder / name, ignored);
        fs::remove(aside, failure);  // only when all went back
        return false;
    }
    fs::remove_all(aside, failure);
    fs::remove_all(work, failure);
    return true;
}

void DiscardBackupWork(const fs::path& folder) {
    std::error_code ignored;
    fs::remove_all(folder / kWorkFolder, ignored);
}

}  // namespace tarmix
