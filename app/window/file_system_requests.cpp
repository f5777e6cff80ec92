#include "app/window/file_system_requests.h"

#include "app/json_event.h"
#include "app/options/command_line.h"
#include "ffs/device_path.h"
#include "ffs/drive_listing.h"
#include "ffs/drive_tables.h"
#include "ffs/fs_commands.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/latin1.h"

namespace tarmix {

namespace {

class Runner {
  public:
    Runner(MonitorExchange& monitor, const DeviceDescription& device, MainWindowView& view)
        : monitor_(monitor), device_(device), view_(view) {}

    int Run(const FileSystemRequest& request) {
        if (request.form == FileSystemForm::Drives) return Drives();
        const auto bytes = Utf8ToLatin1(request.path);
        const auto path = bytes ? ParseDevicePath(*bytes) : std::nullopt;
        if (!path) return Fail(kResultUsage, FormatText(text::kNotADevicePath, request.path));
        if (!DriveAvailable(device_, path->drive))
            return Fail(kResultNoSuchPath,
                        FormatText(text::kNoSuchDrive, DriveRootPath(path->drive)));
        const bool root = path->names.empty();
        switch (request.form) {
            case FileSystemForm::List:
                return List(*path);
            case FileSystemForm::Tree:
                return Tree(path->drive);
            case FileSystemForm::Format:
                if (!root) return Fail(kResultUsage, LoadText(text::kFormatTakesDrive));
                return Format(path->drive);
            default:
                break;
        }
        if (root) return Fail(kResultUsage, LoadText(text::kRootFixed));
        if (request.form == FileSystemForm::MakeFolder) {
            if (CheckNewName(path->names.back()) != NameProblem::None)
                return Fail(kResultUsage,
                            FormatText(text::kNameRefused, DisplayName(path->names.back())));
            return Done(MakeFolder(monitor_, path->parentFolderPath(), path->names.back()),
                        FsCommand::MakeFolder, path->filePath());
        }
        if (request.form == FileSystemForm::DeleteFile)
            return Done(DeleteFile(monitor_, path->filePath()), FsCommand::DeleteFile,
                        path->filePath());
        return Done(RemoveFolder(monitor_, path->parentFolderPath(), path->names.back()),
                    FsCommand::RemoveFolder, path->filePath());
    }

  private:
    int List(const DevicePath& path) {
        const std::string folder = path.folderPath();
        const FolderListing listing = ReadFolder(monitor_, folder);
        if (listing.collected != Collected::Complete)
            return Unanswered(listing.collected, kListingCapacity);
        if (listing.damaged) return Fail(kResultCommandFailed, LoadText(text::kFileSystemDamaged));
        if (!listing.parse.headerMatches)
            return Fail(kResultNoSuchPath, DisplayName(folder) + ": " + listing.refusal);
        for (const FileRow& row : listing.parse.rows) {
            const std::string name = DisplayName(row.name);
            const std::string created = DisplayName(row.created);
            JsonEvent json(row.isFolder ? "folder" : "file");
            json.text("name", name).text("path", DisplayName(FilePathIn(folder, row.name)));
            if (row.size) json.number("size", (long long)*row.size);
            json.text("created", created);
            char line[160];
            std::snprintf(line, sizeof line, "%-20s %10s  %s", name.c_str(), row.sizeText().c_str(),
                          created.c_str());
            view_.printEntry(line, json);
        }
        return Partial(listing.parse.skipped);
    }

    int Tree(int drive) {
        const TreeListing listing = ReadTree(monitor_, drive);
        if (listing.collected != Collected::Complete)
            return Unanswered(listing.collected, kListingCapacity);
        if (listing.damaged) return Fail(kResultCommandFailed, LoadText(text::kFileSystemDamaged));
        for (const FolderEntry& entry : listing.parse.folders) {
            const std::string path = DisplayName(entry.path);
            view_.printEntry(path,
                             JsonEvent("folder").text("path", path).number("depth", entry.depth));
        }
        return Partial(listing.parse.skipped);
    }

    int Format(int drive) {
        if (!view_.askYesNo(LoadText(text::kFormatQuestion) + "\n\n<" + DriveRootPath(drive) + ">",
                            ""))
            return Fail(kResultCommandFailed, LoadText(text::kNotFormatted));
        return Done(FormatDrive(monitor_, drive), FsCommand::Format, DriveRootPath(drive));
    }

    int Drives() {
        int result = kResultOk;
        for (int drive = 0; drive < kDriveCount; ++drive) {
            if (!DriveAvailable(device_, drive)) continue;
            const std::string root = DriveRootPath(drive);
            DriveFigures figures;
            const FiguresRead read = ReadDriveFigures(monitor_, drive, figures);
            const auto usage = read == FiguresRead::Ok ? UsageOf(figures) : std::nullopt;
            if (read == FiguresRead::TooLong) {
                view_.setStatus(root + ": " + TooLongText(kCommandCapacity));
                result = kResultCommandFailed;
                continue;
            }
            if (!usage) {
                view_.setStatus(FormatText(text::kDriveFiguresUnread, root));
                result = kResultCommandFailed;
                continue;
            }
            const uint64_t freeBytes = (figures.free + figures.toErase) * figures.blockSize;
            const std::string line = FormatText(
                text::kDriveLine, root, uint64_t(usage->sizeKb), uint64_t(figures.blockSize),
                uint64_t(freeBytes / 1024), double(usage->freePercent));
            view_.printEntry(line, JsonEvent("drive")
                                       .text("drive", root)
                                       .number("size", (long long)figures.size)
                                       .number("blockSize", (long long)figures.blockSize)
                                       .number("free", (long long)freeBytes));
        }
        return result;
    }

    // The outcome line of `command` on `devicePath`, or what failed.
    int Done(const CommandOutcome& outcome, FsCommand command, const std::string& devicePath) {
        if (outcome.done) {
            view_.setStatus(CommandDoneText(command, devicePath));
            return kResultOk;
        }
        if (outcome.collected != Collected::Complete)
            return Unanswered(outcome.collected, kCommandCapacity);
        return Fail(kResultCommandFailed, FormatText(text::kControllerRefused, outcome.deviceText));
    }

    int Partial(int skipped) {
        if (skipped == 0) return kResultOk;
        return Fail(kResultCommandFailed, FormatText(text::kAnswerLinesUnread, skipped));
    }

    // A listing or command whose answer (of at most `capacity` characters) did not end with
    // the prompt.
    int Unanswered(Collected collected, size_t capacity) {
        if (collected == Collected::SendFailed)
            return Fail(kResultCommandFailed, LoadText(text::kCommandNotSent));
        if (collected == Collected::TooLong)
            return Fail(kResultCommandFailed, TooLongText(capacity));
        return Fail(kResultCommandFailed, LoadText(text::kNoAnswerInTime));
    }

    int Fail(int code, const std::string& text) {
        view_.setStatus(text);
        return code;
    }

    MonitorExchange& monitor_;
    const DeviceDescription& device_;
    MainWindowView& view_;
};

}  // namespace

int RunFileSystemRequest(const FileSystemRequest& request, MonitorExchange& monitor,
                         const DeviceDescription& device, MainWindowView& view) {
    return Runner(monitor, device, view).Run(request);
}

}  // namespace tarmix
