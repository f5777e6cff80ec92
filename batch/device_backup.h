// The backup of a whole controller into a folder on the PC:
//
//   FOLDER/Flash/Application.rom   the application, read back from the flash (S-records)
//   FOLDER/Drive_A/ … Drive_C/     each drive of nonzero size, mirrored by the drive copy
//   FOLDER/EEPROM/Eeprom.bin       the EEPROM area, where the model keeps one
//   FOLDER/Reload.rom              the restore script (batch script), which puts it all back
//   FOLDER/manifest.json           what was saved, with the size and SHA-256 of every file
//
// Every file goes in under a temporary name and takes its own name only when it is
// complete; Reload.rom and manifest.json are written last, and only when every step
// succeeded, so a folder with a Reload.rom always holds a whole backup. A failed backup
// says so and leaves no Reload.rom: an earlier backup's script in the folder goes when this
// run begins to replace its files.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "batch/application_read.h"
#include "batch/batch_run.h"
#include "batch/restore_script.h"
#include "config/eeprom_area.h"
#include "ffs/folder_copy.h"
#include "link/baud_switch.h"
#include "models/device.h"

namespace tarmix {

inline constexpr char kRestoreScriptName[] = "Reload.rom";

// What a backup borrows from the main window.
struct BackupContext {
    MonitorExchange& monitor;
    View& view;
    BaudSwitch& baud;
    const DeviceDescription& device;
    // The drive copy's files go at this rate; it asks before replacing a PC file while on.
    uint32_t baudRate;
    bool& askBeforeOverwrite;
    std::function<LocalTime()> localTime = CurrentLocalTime;
    // Every part is read twice and kept only when both reads agree.
    bool verify = false;
};

enum class BackupEnd {
    Completed,  // Reload.rom and manifest.json written
    Declined,   // the operator chose not to overwrite; nothing of this run is final
    Failed,     // after its message; no Reload.rom of this run
};

class DeviceBackup {
  public:
    explicit DeviceBackup(BackupContext context) : ctx_(std::move(context)) {}

    // The checks before a folder is chosen: the firmware, and the application area the
    // controller reports. false after the message.
    bool CheckController();
    // The backup into `folder` (made when missing); CheckController must have succeeded.
    BackupEnd Run(const std::filesystem::path& folder);

  private:
    void ShowBackupError(const std::string& detail);
    // The application image into Flash/Application.rom; false after its message.
    bool SaveApplication(const std::filesystem::path& folder);
    std::optional<uint32_t> ImageSize();
    CopyReport CopyDrives(const std::filesystem::path& folder, RestoreScript& script);
    bool SaveEeprom(const std::filesystem::path& folder, RestoreScript& script);
    bool RemoveOldScript(const std::filesystem::path& folder);
    bool WriteScriptAndManifest(const std::filesystem::path& folder, const RestoreScript& script,
                                const LocalTime& time);

    BackupContext ctx_;
    ApplicationArea area_;
    std::optional<EepromHeader> eepromArea_;  // what the EEPROM save covered, for the manifest
};

}  // namespace tarmix
