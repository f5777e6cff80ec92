// manifest.json beside a backup's Reload.rom: what was backed up (model, firmware, flash
// and drive sizes, when) and the size and SHA-256 of every file in the backup folder, so
// that a backup can be checked before anyone restores it.
//
//   {
//     "model": {"code": 1, "name": "ALDER"}, "firmware": 40,
//     "flash": {"start": 1114112, "end": 2097151}, "drives_kb": [1024, 64, 256],
//     "time": "2026-12-07T22:30:00", "application": true,
//     "eeprom": {"start": 7168, "end": 8192, "length": 1024},   (when it was saved)
//     "files": [{"path": "Flash/Application.rom", "size": 123, "sha256": "…"}, …],
//     "skipped": [{"path": "A:\\LOG\\A\\x07B.TXT", "reason": "…"}, …]
//   }
//
// Paths are relative to the backup folder, "/" separated. "application" is false for a
// controller that held none; "skipped" names the device entries the backup left out (as
// skipped.txt does).
//
// A backup folder holds one backup: the entries named by IsBackupEntry. Anything else in
// it is the user's and is neither listed nor checked.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "config/eeprom_area.h"
#include "models/device.h"

namespace tarmix {

inline constexpr char kManifestFileName[] = "manifest.json";
inline constexpr char kRestoreScriptName[] = "Reload.rom";
inline constexpr char kSkippedFileName[] = "skipped.txt";

// The names a backup keeps directly in its folder, its restore script first.
inline constexpr std::array<const char*, 8> kBackupEntries = {
    kRestoreScriptName, kManifestFileName, kSkippedFileName, "Flash",
    "Drive_A",          "Drive_B",         "Drive_C",        "EEPROM"};
bool IsBackupEntry(const std::string& name);

// A device entry the backup left out, as shown to the user, and why.
struct SkippedName {
    std::string path;
    std::string reason;
};

struct BackupFacts {
    int32_t hardwareModel = 0;
    std::string modelName;
    int32_t firmwareVersion = 0;
    AddressRange flash;
    std::array<int32_t, kDriveCount> driveSizesKb{};
    LocalTime time;
    std::optional<EepromHeader> eeprom;  // the EEPROM area saved, if any
    bool application = true;             // false: the controller held no application
    std::vector<SkippedName> skipped;
};

// A file of the backup that is not on the disk yet (written after the manifest).
struct PendingBackupFile {
    std::string relativePath;
    std::string contents;
};

// The manifest's text for the files now below `folder` (manifest.json itself left out)
// and the pending ones. false with a reason when a file cannot be read.
bool MakeManifest(const std::filesystem::path& folder, const BackupFacts& facts,
                  const std::vector<PendingBackupFile>& pending, std::string& json,
                  std::string& error);

// The files a folder's manifest lists (relative, "/" separated); nullopt with a reason when
// there is no manifest or it cannot be read.
std::optional<std::set<std::string>> ListedFiles(const std::filesystem::path& folder,
                                                 std::string& error);

struct BackupCheck {
    std::vector<std::string> missing;  // listed, not there
    std::vector<std::string> changed;  // listed, different size or contents
    std::vector<std::string> extra;    // in the backup's entries, not listed
    std::string error;                 // the manifest itself is missing or unreadable
    size_t listed = 0;                 // files the manifest names
    bool ok() const { return error.empty() && missing.empty() && changed.empty() && extra.empty(); }
};

// Checks the folder against its manifest.json. Listed paths that lead outside the folder
// count as missing, never followed.
BackupCheck VerifyBackup(const std::filesystem::path& folder);

// The check as lines for the console: one per problem, or one saying that all match.
std::string DescribeBackupCheck(const BackupCheck& check);

}  // namespace tarmix
