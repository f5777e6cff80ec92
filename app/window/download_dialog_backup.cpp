// The backup button and the "/s" form: the whole controller into a folder, with the
// script that restores it; and the EEPROM restore that such a script runs.
#include "app/window/download_dialog.h"
#include "batch/device_backup.h"
#include "config/eeprom.h"
#include "platform/pc_paths.h"
#include "platform/user_folders.h"

namespace tarmix {

namespace {

int ResultOf(BackupEnd end) {
    switch (end) {
        case BackupEnd::Completed:
            return kResultOk;
        case BackupEnd::CompletedExcept:
            return kResultBackupExcept;
        case BackupEnd::Declined:
        case BackupEnd::Failed:
            break;
    }
    return kResultBackupFailed;
}

}  // namespace

void CDownloadDialog::OnBackup() {
    if (busy_) return;
    RunBackup("");
}

int CDownloadDialog::RunBackup(const std::string& folder) {
    DeviceOperation operation(*this);
    int result = kResultBackupFailed;
    {
        WaitCursor waitCursor(view_);
        BaudSwitch baud(monitor_, view_, uint32_t(baudRate_));
        DeviceBackup backup({monitor_, view_, baud, device_, uint32_t(baudRate_),
                             askBeforeOverwrite_, CurrentLocalTime, Verifying()});
        if (backup.CheckController()) {
            std::optional<std::string> chosen = folder;
            if (folder.empty()) chosen = ChooseFolderFor(FolderPurpose::Backup);
            if (chosen && !chosen->empty())
                result = ResultOf(backup.Run(CompleteName(*chosen, startDirectory_.string())));
        }
    }
    // The port is opened afresh and the watch resumes, whatever happened.
    Connect();
    return result;
}

std::optional<std::string> CDownloadDialog::ChooseFolderFor(FolderPurpose purpose) {
    std::string& last = chosenFolders_[size_t(purpose)];
    const std::optional<std::string> chosen =
        view_.chooseFolder(last.empty() ? HomeFolder().string() : last);
    if (chosen && !chosen->empty()) last = *chosen;
    return chosen;
}

int CDownloadDialog::RestoreEeprom(const std::string& path) {
    BaudSwitch baud(monitor_, view_, uint32_t(baudRate_));
    EepromContext context{monitor_,   view_, baud, device_.hardwareModel, device_.firmwareVersion,
                          Verifying()};
    return EepromRestore(context, path);
}

}  // namespace tarmix
