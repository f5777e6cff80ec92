#include "batch/device_backup.h"

#include "batch/backup_manifest.h"
#include "batch/device_backup_folder.h"
#include "config/capability.h"
#include "config/eeprom.h"
#include "ffs/folder_copy.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/identify.h"
#include "models/models.h"
#include "platform/output_questions.h"
#include "platform/replacing_file.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kFirstFirmwareWithBackup = 22;
constexpr uint32_t kBlockSize = 10000;
constexpr char kFlashFolder[] = "Flash";
constexpr char kImageName[] = "Application.rom";
constexpr char kImageInScript[] = "Flash\\Application.rom";
constexpr char kEepromInScript[] = "EEPROM\\Eeprom.bin";

int ReasonText(SkipReason reason) {
    switch (reason) {
        case SkipReason::UnsafeName:
            return text::kUnsafeName;
        case SkipReason::UnreadableLine:
            return text::kListingLineUnreadable;
        case SkipReason::InsideSkippedFolder:
            break;
    }
    return text::kInsideSkipped;
}

// The files a backup names its skipped entries in are read by programs: in English.
std::string EnglishText(int id) {
    return builtInCatalogues().lookup(kEnglishLanguage, id).value_or("");
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n" + line;
    return text;
}

// A whole file of the backup; false with a reason that names it.
bool WriteWholeFile(const fs::path& path, std::string_view contents, std::string& error) {
    ReplacingFile file;
    if (!file.Open(path, error)) return false;
    file.Write(contents);
    return file.Commit(error);
}

}  // namespace

void DeviceBackup::ShowBackupError(const std::string& detail) {
    ctx_.view.showMessage(LoadText(text::kBackupError) + "\n\n" + detail, LoadText(text::kBackup),
                          MessageIcon::Error);
}

void DeviceBackup::ShowWriteError(const std::string& reason) {
    ctx_.view.showMessage(LoadText(text::kFileWriteError) + "\n" + reason, LoadText(text::kError),
                          MessageIcon::Error);
}

bool DeviceBackup::CheckController() {
    const DeviceDescription& device = ctx_.device;
    if (device.firmwareVersion < kFirstFirmwareWithBackup &&
        !modelRow(device.hardwareModel).backupOnAnyMonitor) {
        ShowBackupError(LoadText(text::kFirmwareNotLessThan) + " " +
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
    if (modelRow(device.hardwareModel).wholeFlashBackup == 0 && wanted > limit) {
        ShowBackupError(LoadText(text::kError) + "\n\n" +
                        FormatText(text::kApplicationLargerThanFlash, std::to_string(wanted),
                                   std::to_string(limit)));
        return std::nullopt;
    }
    return uint32_t(wanted);
}

uint32_t DeviceBackup::ImageStart() const {
    const ModelInfo* model = findModel(ctx_.device.hardwareModel);
    if (!model || !model->stagedDownload) return area_.textStart;
    // The restore downloads the image into RAM, from where the monitor copies it back.
    return area_.textStart - kStagedFlashBase + kStagingRam;
}

DeviceBackup::ImageSaved DeviceBackup::SaveApplication(const fs::path& folder) {
    const auto size = ImageSize();
    if (!size) return ImageSaved::Failed;
    View& view = ctx_.view;
    if (*size == 0) {
        view.setStatus(LoadText(text::kNoApplication));
        return ImageSaved::NoApplication;
    }
    const fs::path path = folder / kFlashFolder / kImageName;
    std::error_code made;
    fs::create_directories(path.parent_path(), made);
    ReplacingFile image;
    std::string error;
    if (!image.Open(path, error)) {
        view.showMessage(LoadText(text::kFileOpenError) + "\n" + error, LoadText(text::kError),
                         MessageIcon::Error);
        return ImageSaved::Failed;
    }
    view.setStatus(LoadText(text::kSave) + " <" + kImageName + ">");
    view.setProgress(0);
    view.setTransferred(0, *size);
    ImageRead read = ImageRead::DeviceFailed;
    {
        RaisedBaudRate raised(ctx_.baud);
        const uint32_t modelLimit = modelRow(ctx_.device.hardwareModel).blockLimit;
        const uint32_t block = modelLimit != 0 ? modelLimit : kBlockSize;
        read =
            ReadApplicationImage(ctx_.monitor, area_.textStart, ImageStart(), *size, block,
                                 ctx_.verify, image, [&view, size](int share, uint32_t bytesDone) {
                                     view.setProgress(share);
                                     view.setTransferred(bytesDone, *size);
                                 });
    }
    if (read == ImageRead::DeviceFailed) {
        if (!StopRequested())  // a stop says so itself
            view.showMessage(LoadText(text::kError), LoadText(text::kBackup), MessageIcon::Error);
        return ImageSaved::Failed;
    }
    // A write that failed (a full disk) makes the commit fail and say why.
    if (!image.Commit(error)) {
        ShowWriteError(error);
        return ImageSaved::Failed;
    }
    return ImageSaved::Saved;
}

CopyReport DeviceBackup::CopyDrives(const fs::path& folder, RestoreScript& script) {
    CopyReport all;
    for (int drive = 0; drive < kDriveCount && !all.silent && !all.stopped; ++drive) {
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
    EepromHeader area;
    switch (EepromSave(eeprom, folder, &area)) {
        case EepromSaveResult::Saved:
            eepromArea_ = area;
            script.AddRestoreEeprom(kEepromInScript);
            return true;
        case EepromSaveResult::NothingToSave:
            return true;
        case EepromSaveResult::Failed:
            break;
    }
    if (!StopRequested())  // a stop says so itself
        ctx_.view.showMessage(LoadText(text::kEepromSaveFailed), LoadText(text::kError),
                              MessageIcon::Error);
    return false;
}

// skipped.txt (when entries were left out), manifest.json and Reload.rom.
bool DeviceBackup::WriteBackupFiles(const fs::path& folder, const RestoreScript& script,
                                    const LocalTime& time, bool application) {
    const DeviceDescription& device = ctx_.device;
    const ModelInfo* model = findModel(device.hardwareModel);
    BackupFacts facts;
    facts.hardwareModel = device.hardwareModel;
    facts.modelName = model ? std::string(model->panelText) : std::string();
    facts.firmwareVersion = device.firmwareVersion;
    facts.flash = device.bankA;
    facts.driveSizesKb = device.driveSizes;
    facts.time = time;
    facts.eeprom = eepromArea_;
    facts.application = application;
    std::string skippedList;
    for (const SkippedEntry& entry : skipped_) {
        facts.skipped.push_back(
            {ShownDeviceText(entry.path), EnglishText(ReasonText(entry.reason))});
        skippedList += facts.skipped.back().path + "\t" + facts.skipped.back().reason + "\r\n";
    }
    const std::vector<PendingBackupFile> pending = {{kRestoreScriptName, script.text()}};
    std::string manifest, error;
    const bool written =
        (skipped_.empty() || WriteWholeFile(folder / kSkippedFileName, skippedList, error)) &&
        MakeManifest(folder, facts, pending, manifest, error) &&
        WriteWholeFile(folder / kManifestFileName, manifest, error) &&
        WriteWholeFile(folder / kRestoreScriptName, script.text(), error);
    if (!written) ShowWriteError(error);
    return written;
}

// The drive sizes the backup copies and its script sets up were read once, when the
// controller was identified; a digit the line changed there would go into every restore.
// They are taken only when two readings now agree with them.
bool DeviceBackup::DriveSizesConfirmed() {
    constexpr size_t kDrivesAnswerCapacity = 2000;  // echo, three sizes and the prompt
    if (ctx_.device.firmwareVersion < kFirstVersionWithDrives) return true;
    const auto sizes = ReadAgreedDriveSizes(ctx_.monitor, kDrivesAnswerCapacity);
    if (sizes && *sizes == ctx_.device.driveSizes) return true;
    if (!StopRequested()) ShowBackupError(LoadText(text::kDrivesUnconfirmed));
    return false;
}

BackupEnd DeviceBackup::Stopped() {
    const std::string text = FormatText(text::kBackupStopped, kRestoreScriptName);
    ctx_.view.setStatus(text);
    ctx_.view.showMessage(text, LoadText(text::kBackup), MessageIcon::Warning);
    return BackupEnd::Failed;
}

BackupEnd DeviceBackup::Build(const fs::path& work) {
    if (!DriveSizesConfirmed()) return StopRequested() ? Stopped() : BackupEnd::Failed;
    const LocalTime time = ctx_.localTime();
    const ImageSaved image = SaveApplication(work);
    RestoreScript script;
    // The question comes first whatever else the script holds: nothing is formatted
    // before the operator agreed.
    script.AddQuestion(time);
    if (image == ImageSaved::Saved) script.AddProgram(kImageInScript);
    script.AddInitDrives(ctx_.device.driveSizes);
    // After a failed step the next ones run only while the controller answers: on a line
    // gone silent each of them would wait out its time-outs in vain.
    const bool silent = image == ImageSaved::Failed && !StopRequested() && !ctx_.monitor.Answers();
    CopyReport drives;
    drives.silent = silent;
    drives.stopped = StopRequested();
    if (!silent && !drives.stopped) drives = CopyDrives(work, script);
    const bool eepromSaved = !drives.silent && !drives.stopped && SaveEeprom(work, script);
    silent_ = drives.silent;
    skipped_ = drives.skipped;
    if (StopRequested()) return Stopped();
    if (image == ImageSaved::Failed || !drives.complete() || !eepromSaved ||
        !WriteBackupFiles(work, script, time, image == ImageSaved::Saved))
        return BackupEnd::Failed;
    return skipped_.empty() ? BackupEnd::Completed : BackupEnd::CompletedExcept;
}

std::optional<BackupEnd> DeviceBackup::CheckFolder(const fs::path& folder, bool& earlier) {
    View& view = ctx_.view;
    std::error_code made;
    fs::create_directories(folder, made);
    if (made) {
        view.showMessage(
            folder.string() + "\n\n" + LoadText(text::kCannotCreateFolder) + "\n" + made.message(),
            LoadText(text::kSave), MessageIcon::Error);
        return BackupEnd::Failed;
    }
    std::string error;
    if (!TidyBackupFolder(folder, error)) {
        ShowWriteError(error);
        return BackupEnd::Failed;
    }
    // The questions before an earlier backup is replaced.
    if (fs::exists(folder / kFlashFolder, made)) {
        switch (PrepareOutputFolder(view, folder / kFlashFolder)) {
            case FolderReady::Ready:
                break;
            case FolderReady::Declined:
                return BackupEnd::Declined;
            case FolderReady::Failed:
                return BackupEnd::Failed;
        }
    }
    if (!MayReplaceFile(view, folder / kFlashFolder / kImageName) ||
        !MayReplaceFile(view, folder / kRestoreScriptName))
        return BackupEnd::Declined;
    const BackupFolderSurvey survey = SurveyBackupFolder(folder);
    if (!survey.foreignInside.empty()) {
        view.showMessage(folder.string() + "\n\n" + LoadText(text::kForeignFiles) + "\n" +
                             Lines(survey.foreignInside),
                         LoadText(text::kBackup), MessageIcon::Error);
        return BackupEnd::Failed;
    }
    if (survey.earlierBackup && !survey.besideBackup.empty())
        view.showMessage(
            folder.string() + "\n\n" + LoadText(text::kKeptBeside) + Lines(survey.besideBackup),
            LoadText(text::kBackup), MessageIcon::Information);
    earlier = survey.earlierBackup;
    return std::nullopt;
}

void DeviceBackup::ShowSkipped() {
    std::vector<std::string> lines;
    for (const SkippedEntry& entry : skipped_)
        lines.push_back(ShownDeviceText(entry.path) + "  (" + LoadText(ReasonText(entry.reason)) +
                        ")");
    const std::string summary = FormatText(text::kBackupCompleteExcept, int(skipped_.size()),
                                           std::string(kSkippedFileName));
    ctx_.view.showMessage(summary + "\n\n" + LoadText(text::kNotBackedUp) + Lines(lines),
                          LoadText(text::kBackup), MessageIcon::Warning);
    ctx_.view.setStatus(summary);
}

BackupEnd DeviceBackup::Run(const fs::path& folder) {
    WaitCursor waitCursor(ctx_.view);
    bool earlier = false;
    if (const std::optional<BackupEnd> refused = CheckFolder(folder, earlier)) return *refused;
    std::string error;
    const fs::path work = MakeBackupWorkFolder(folder, error);
    if (work.empty()) {
        ShowWriteError(error);
        return BackupEnd::Failed;
    }
    BackupEnd end = Build(work);
    std::string cause = silent_ ? LoadText(text::kNoMoreAnswers) + " " : std::string();
    // A failed backup brings its complete parts into a folder without a whole backup; an
    // earlier backup stays as it was.
    if ((end != BackupEnd::Failed || !earlier) && !InstallBackup(folder, error)) {
        end = BackupEnd::Failed;
        cause = error + "\n\n";
    }
    DiscardBackupWork(folder);
    if (end == BackupEnd::Failed) {
        if (!StopRequested())  // a stop has said so itself
            // Appended, not "…" + a temporary: GCC 12 warns falsely (-Wrestrict) on that at -O3.
            ShowBackupError(
                cause + FormatText(text::kBackupNotWritten, std::string(kRestoreScriptName)) +
                (earlier ? std::string(" ").append(LoadText(text::kEarlierKept)) : std::string()));
        return end;
    }
    if (end == BackupEnd::CompletedExcept) ShowSkipped();
    return end;
}

}  // namespace tarmix
