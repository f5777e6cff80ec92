// The backup of a whole controller into a folder on the PC:
//
//   FOLDER/Flash/Application.rom   the application, read back from the flash (S-records)
//   FOLDER/Drive_A/ … Drive_C/     each drive of nonzero size, mirrored by the drive copy
//   FOLDER/EEPROM/Eeprom.bin       the EEPROM area, where the model keeps one
//   FOLDER/Reload.rom              the restore script (batch script), which puts it all back
//   FOLDER/manifest.json           what was saved, with the size and SHA-256 of every file
//   FOLDER/skipped.txt             the device entries left out, when there are any
//
// The backup is built in a work folder and takes the place of an earlier backup in FOLDER
// only when it is complete (device_backup_folder.h), so a folder with a Reload.rom always
// holds one whole backup. A failed backup says so and writes no Reload.rom; an earlier
// backup stays as it was, and into a folder without one the parts that were complete go.
// A controller without an application is backed up without one (Reload.rom then programs
// none). Device entries whose names the PC cannot hold are left out and named: the backup
// of everything else completes as CompletedExcept.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "batch/application_read.h"
#include "batch/backup_manifest.h"
#include "batch/batch_run.h"
#include "batch/restore_script.h"
#include "config/eeprom_area.h"
#include "ffs/folder_copy.h"
#include "link/baud_switch.h"
#include "models/device.h"

namespace tarmix {

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
    Completed,        // Reload.rom and manifest.json written
    CompletedExcept,  // the same, without the entries skipped.txt names (shown to the user)
    Declined,         // the operator chose not to overwrite; nothing of this run is final
    Failed,           // after its message; no Reload.rom of this run
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
    enum class ImageSaved { Saved, NoApplication, Failed };

    void ShowBackupError(const std::string& detail);
    void ShowWriteError(const std::string& reason);
    // The folder made and tidied, the operator's agreement to replace an earlier backup,
    // and no file of the user's among its entries; the end of the backup otherwise.
    std::optional<BackupEnd> CheckFolder(const std::filesystem::path& folder, bool& earlier);
    // The whole backup into the work folder `work`.
    bool DriveSizesConfirmed();
    // Says that the backup was stopped and wrote no Reload.rom. Returns Failed.
    BackupEnd Stopped();
    BackupEnd Build(const std::filesystem::path& work);
    // The application image into Flash/Application.rom; Failed after its message.
    ImageSaved SaveApplication(const std::filesystem::path& folder);
    std::optional<uint32_t> ImageSize();
    // Where the image file puts the application's first byte.
    uint32_t ImageStart() const;
    CopyReport CopyDrives(const std::filesystem::path& folder, RestoreScript& script);
    bool SaveEeprom(const std::filesystem::path& folder, RestoreScript& script);
    bool WriteBackupFiles(const std::filesystem::path& folder, const RestoreScript& script,
                          const LocalTime& time, bool application);
    void ShowSkipped();

    BackupContext ctx_;
    ApplicationArea area_;
    bool silent_ = false;  // the controller stopped answering during the build
    std::vector<SkippedEntry> skipped_;
    std::optional<EepromHeader> eepromArea_;  // what the EEPROM save covered, for the manifest
};

}  // namespace tarmix
