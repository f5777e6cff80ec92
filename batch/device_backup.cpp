#include "batch/device_backup.h"

#include "batch/backup_manifest.h"
#include "config/eeprom.h"
#include "ffs/folder_copy.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "models/models.h"
#include "platform/output_questions.h"
#include "platform/replacing_file.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr int kTextBackupStopped = 64802;        // "The backup was stopped: %s was not written."
constexpr int kTextSaveFailed = 106;             // "Error while saving EPROM content!"
constexpr int kTextBackup = 60030;               // "Backup"
constexpr int kTextBackupError = 60031;          // "Backup error"
constexpr int kTextError = 60170;                // "Error"
constexpr int kTextFileOpenError = 60208;        // "File open error "
constexpr int kTextWriteError = 60224;           // "Error when writing the file"
constexpr int kTextFirmwareNotLessThan = 60240;  // "Firmware - Version not less than"
constexpr int kTextSave = 60390;                 // "Save"

constexpr int32_t kFirstFirmwareWithBackup = 22;
constexpr uint32_t kBlockSize = 10000;
constexpr uint32_t kWholeFlashBlockSize = 256;
constexpr char kFlashFolder[] = "Flash";
constexpr char kImageName[] = "Application.rom";
constexpr char kImageInScript[] = "Flash\\Application.rom";
constexpr char kEepromInScript[] = "EEPROM\\Eeprom.bin";

// Models that are backed up whatever their firmware.
bool AnyFirmware(int32_t model) { return model == 16 || model == 17 || model == 18; }

}  // namespace

void DeviceBackup::ShowBackupError(const std::string& detail) {
    ctx_.view.showMessage(LoadText(kTextBackupError) + "\n\n" + detail, LoadText(kTextBackup),
                          MessageIcon::Error);
}

bool DeviceBackup::CheckController() {
    const DeviceDescription& device = ctx_.device;
    if (device.firmwareVersion < kFirstFirmwareWithBackup && !AnyFirmware(device.hardwareModel)) {
        ShowBackupError(LoadText(kTextFirmwareNotLessThan) + " " +
                        std::to_string(kFirstFirmwareWithBackup) + ".");
        return false;
    }
    ApplicationAreaFailure failure;
    const auto area = ReadApplicationArea(ctx_.monitor, device.hardwareModel, failure);
    if (!area) {
        ShowBackupError((failure.sector ? LoadText(failure.sector) : "") + LoadText(failure.text));
        return false;
    }
    area_ = *area;
    return true;
}

std::optional<uint32_t> DeviceBackup::ImageSize() {
    const DeviceDescription& device = ctx_.device;
    const uint64_t wanted = uint64_t(area_.textLength) + area_.dataLength;
    // The application shares the flash with drive C: at its top.
    const uint64_t span = device.bankA.high >= device.bankA.low
                              ? uint64_t(device.bankA.high) - device.bankA.low + 1
                              : 0;
    const uint64_t driveC = uint64_t(std::max(device.driveSizes[2], 0)) * 1024;
    const uint64_t limit = driveC > span ? span : span - driveC;
    if (device.hardwareModel != kModelWholeFlashImage && (wanted == 0 || wanted > limit)) {
        ShowBackupError(LoadText(kTextError) + "\n\nThe application the controller reports (" +
                        std::to_string(wanted) + " bytes) is empty or larger than its flash (" +
                        std::to_string(limit) + " bytes).");
        return std::nullopt;
    }
    return uint32_t(wanted);
}

bool DeviceBackup::SaveApplication(const fs::path& folder) {
    const auto size = ImageSize();
    if (!size) return false;
    const fs::path path = folder / kFlashFolder / kImageName;
    ReplacingFile image;
    std::string error;
    View& view = ctx_.view;
    if (!image.Open(path, error)) {
        view.showMessage(LoadText(kTextFileOpenError) + "\n" + path.string(), LoadText(kTextError),
                         MessageIcon::Error);
        return false;
    }
    view.setStatus(LoadText(kTextSave) + " <" + kImageName + ">");
    view.setProgress(0);
    view.setTransferred(0, *size);
    bool complete = false;
    {
        RaisedBaudRate raised(ctx_.baud);
        const uint32_t block =
            ctx_.device.hardwareModel == kModelWholeFlashImage ? kWholeFlashBlockSize : kBlockSize;
        complete = ReadApplicationImage(ctx_.monitor, area_.textStart, *size, block, ctx_.verify,
                                        image, [&view, size](int share, uint32_t bytesDone) {
                                            view.setProgress(share);
                                            view.setTransferred(bytesDone, *size);
                                        });
    }
    if (!complete) {
        if (!StopRequested())
            view.showMessage(LoadText(kTextError), LoadText(kTextBackup), MessageIcon::Error);
        return false;
    }
    if (!image.Commit(error)) {
        view.showMessage(LoadText(kTextWriteError) + "\n" + error, LoadText(kTextError),
                         MessageIcon::Error);
        return false;
    }
    return true;
}

CopyReport DeviceBackup::CopyDrives(const fs::path& folder, RestoreScript& script) {
    CopyReport all;
    for (int drive = 0; drive < kDriveCount && !all.silent; ++drive) {
        if (ctx_.device.driveSizes[size_t(drive)] == 0) continue;
        script.AddFormat(drive);
        const std::string name = std::string("Drive_") + char('A' + drive);
        FolderCopy copy(
            {ctx_.monitor, ctx_.view, ctx_.device, ctx_.askBeforeOverwrite, {}, ctx_.verify},
            ctx_.baudRate);
        all += copy.CopyDriveToPc(drive, folder / name, name + "\\",
                                  [&script](const std::string& line) { script.AddLine(line); });
    }
    return all;
}

bool DeviceBackup::SaveEeprom(const fs::path& folder, RestoreScript& script) {
    const DeviceDescription& device = ctx_.device;
    EepromContext eeprom{ctx_.monitor,           ctx_.view,  ctx_.baud, device.hardwareModel,
                         device.firmwareVersion, ctx_.verify};
    switch (EepromSave(eeprom, folder)) {
        case EepromSaveResult::Saved:
            script.AddRestoreEeprom(kEepromInScript);
            return true;
        case EepromSaveResult::NothingToSave:
            return true;
        case EepromSaveResult::Failed:
            break;
    }
    ctx_.view.showMessage(LoadText(kTextSaveFailed), LoadText(kTextError), MessageIcon::Error);
    return false;
}

bool DeviceBackup::WriteScriptAndManifest(const fs::path& folder, const RestoreScript& script,
                                          const LocalTime& time) {
    const DeviceDescription& device = ctx_.device;
    const ModelInfo* model = findModel(device.hardwareModel);
    BackupFacts facts{device.hardwareModel,   model ? std::string(model->panelText) : std::string(),
                      device.firmwareVersion, device.bankA,
                      device.driveSizes,      time};
    std::string manifest, error;
    ReplacingFile scriptFile, manifestFile;
    const bool written =
        MakeManifest(folder, facts, {{kRestoreScriptName, script.text()}}, manifest, error) &&
        scriptFile.Open(folder / kRestoreScriptName, error) &&
        manifestFile.Open(folder / kManifestFileName, error) && scriptFile.Write(script.text()) &&
        manifestFile.Write(manifest) && manifestFile.Commit(error) && scriptFile.Commit(error);
    if (!written)
        ctx_.view.showMessage(LoadText(kTextWriteError) + "\n" + error, LoadText(kTextError),
                              MessageIcon::Error);
    return written;
}

// An earlier backup's Reload.rom and manifest describe files this run replaces: until the
// new ones are written the folder holds no script, which would restore a mix of two backups.
bool DeviceBackup::RemoveOldScript(const fs::path& folder) {
    for (const char* name : {kRestoreScriptName, kManifestFileName}) {
        std::error_code error;
        fs::remove(folder / name, error);
        if (error) {
            ctx_.view.showMessage((folder / name).string() + "\n\n" + error.message(),
                                  LoadText(kTextError), MessageIcon::Error);
            return false;
        }
    }
    return true;
}

BackupEnd DeviceBackup::Run(const fs::path& folder) {
    WaitCursor waitCursor(ctx_.view);
    switch (PrepareOutputFolder(ctx_.view, folder / kFlashFolder)) {
        case FolderReady::Ready:
            break;
        case FolderReady::Declined:
            return BackupEnd::Declined;
        case FolderReady::Failed:
            return BackupEnd::Failed;
    }
    if (!MayReplaceFile(ctx_.view, folder / kFlashFolder / kImageName) ||
        !MayReplaceFile(ctx_.view, folder / kRestoreScriptName))
        return BackupEnd::Declined;
    if (!RemoveOldScript(folder)) return BackupEnd::Failed;

    const LocalTime time = ctx_.localTime();
    const bool imageSaved = SaveApplication(folder);
    RestoreScript script;
    // The question comes first whatever else the script holds: nothing is formatted
    // before the operator agreed.
    script.AddQuestion(time);
    if (imageSaved) script.AddProgram(kImageInScript);
    script.AddInitDrives(ctx_.device.driveSizes);
    // After a failed step the next ones run only while the controller answers: on a line
    // gone silent each of them would wait out its time-outs in vain.
    const bool silent = !imageSaved && !StopRequested() && !ctx_.monitor.Answers();
    const CopyReport drives = silent            ? CopyReport{.silent = true}
                              : StopRequested() ? CopyReport{.stopped = true}
                                                : CopyDrives(folder, script);
    const bool eepromSaved = !drives.silent && !drives.stopped && SaveEeprom(folder, script);
    if (StopRequested()) {
        const std::string text = FormatText(kTextBackupStopped, kRestoreScriptName);
        ctx_.view.setStatus(text);
        ctx_.view.showMessage(text, LoadText(kTextBackup), MessageIcon::Warning);
        return BackupEnd::Failed;
    }
    if (!imageSaved || !drives.complete() || !eepromSaved) {
        ShowBackupError(
            std::string(drives.silent ? "The controller does not answer any more. " : "") +
            "The backup is incomplete: " + kRestoreScriptName + " was not written.");
        return BackupEnd::Failed;
    }
    return WriteScriptAndManifest(folder, script, time) ? BackupEnd::Completed : BackupEnd::Failed;
}

}  // namespace tarmix
