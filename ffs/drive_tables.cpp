#include "ffs/drive_tables.h"

#include "lang/format_text.h"
#include "platform/latin1.h"

namespace tarmix {

namespace {
// The application the monitor starts; its exact name gets a picture of its own.
constexpr char kApplicationFile[] = "Application.exe";
constexpr char kFolderSizeText[] = "<DIR>";
}  // namespace

bool DriveAvailable(const DeviceDescription& device, int drive) {
    return drive >= 0 && drive < kDriveCount && device.driveSizes[size_t(drive)] != 0;
}

int FirstAvailableDrive(const DeviceDescription& device) {
    for (int drive = 0; drive < kDriveCount; ++drive)
        if (DriveAvailable(device, drive)) return drive;
    return 0;
}

FsIcon FileRow::icon() const {
    if (isFolder) return FsIcon::Folder;
    return name == kApplicationFile ? FsIcon::Application : FsIcon::File;
}

std::string FileRow::sizeText() const {
    if (isFolder) return kFolderSizeText;
    return size ? std::to_string(*size) : "?";
}

std::string DisplayName(const std::string& deviceText) { return Latin1ToUtf8(deviceText); }

std::string CommandDoneText(FsCommand command, const std::string& devicePath) {
    static constexpr int kTexts[] = {text::kFormatted, text::kCreatedFolder, text::kDeleted,
                                     text::kDeletedFolder};
    return FormatText(kTexts[int(command)], "<" + DisplayName(devicePath) + ">");
}

}  // namespace tarmix
