#include "ffs/folder_copy.h"

#include <algorithm>
#include <iterator>

#include "ffs/device_path.h"
#include "ffs/drive_listing.h"
#include "ffs/drive_tables.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/baud_switch.h"
#include "platform/latin1.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// A device path's drive letter, colon and first backslash.
constexpr size_t kDriveRootLength = 3;

// The PC folder that mirrors a device folder below `base`: one PC folder per name.
fs::path MirroredFolder(const fs::path& base, const std::string& deviceFolder) {
    fs::path folder = base;
    std::string_view rest = std::string_view(deviceFolder).substr(kDriveRootLength);
    while (!rest.empty()) {
        const size_t slash = rest.find('\\');
        folder /= Latin1ToUtf8(rest.substr(0, slash));
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    }
    return folder;
}

std::string Shown(const std::string& deviceText) { return Latin1ToUtf8(deviceText); }

}  // namespace

std::string MkdirLine(const std::string& deviceFolder) { return "mkdir \"" + deviceFolder + "\""; }

std::string DownloadLine(const std::string& relativePrefix, const std::string& devicePath) {
    return "download \"" + relativePrefix + devicePath.substr(kDriveRootLength) + "\" \"" +
           devicePath + "\"";
}

CopyReport& CopyReport::operator+=(const CopyReport& other) {
    copied += other.copied;
    failed += other.failed;
    unreadable += other.unreadable;
    silent = silent || other.silent;
    stopped = stopped || other.stopped;
    skipped.insert(skipped.end(), other.skipped.begin(), other.skipped.end());
    return *this;
}

bool FolderCopy::stillAnswers(CopyReport& result) {
    if (ctx_.monitor.Answers()) return true;
    result.silent = true;
    report(LoadText(text::kControllerSilent));
    return false;
}

void FolderCopy::report(const std::string& text) {
    ctx_.view.showMessage(text, LoadText(text::kFileUpload), MessageIcon::Error);
}

CopyReport FolderCopy::CopyFolderToPc(int drive, const fs::path& pcFolder,
                                      const std::string& deviceFolder,
                                      const std::string& relativePrefix,
                                      const ScriptLineSink& script) {
    CopyReport result;
    if (!DriveAvailable(ctx_.device, drive)) return result;
    WaitCursor cursor(ctx_.view);
    const FolderListing listing =
        ReadFolder(ctx_.monitor, deviceFolder, ListingReadings::TwoAgreeing);
    if (listing.collected != Collected::Complete || !listing.parse.headerMatches) {
        ++result.unreadable;
        // Appended, not "…" + a temporary: GCC 12 warns falsely (-Wrestrict) on that at -O3.
        report(std::string("<").append(Shown(deviceFolder)) + ">\n\n" +
               LoadText(text::kListingUnreadable) +
               (listing.refusal.empty() ? "" : "\n\n" + listing.refusal));
        stillAnswers(result);
        return result;
    }
    // Sub-folders are the drive copy's: it names those it skips from the tree.
    std::copy_if(listing.parse.skippedEntries.begin(), listing.parse.skippedEntries.end(),
                 std::back_inserter(result.skipped),
                 [](const SkippedEntry& entry) { return !entry.folder; });
    BaudSwitch baud(ctx_.monitor, ctx_.view, baudRate_);
    RaisedBaudRate raised(baud);
    FileTransfer transfer(ctx_);
    for (const FileRow& row : listing.parse.rows) {
        if (row.isFolder) continue;
        const std::string devicePath = FilePathIn(deviceFolder, row.name);
        const fs::path pcPath = pcFolder / Latin1ToUtf8(row.name);
        result.stopped = StopRequested();
        if (result.stopped) break;
        const TransferResult copied = transfer.Upload(pcPath.string(), devicePath);
        if (copied != TransferResult::Copied) {
            ++result.failed;
            result.stopped = copied == TransferResult::Stopped;
            if (result.stopped) break;
            if (copied == TransferResult::DeviceFailed && !stillAnswers(result)) break;
            continue;
        }
        ++result.copied;
        if (script) script(DownloadLine(relativePrefix, devicePath));
    }
    return result;
}

CopyReport FolderCopy::CopyDriveToPc(int drive, const fs::path& pcBase,
                                     const std::string& relativePrefix,
                                     const ScriptLineSink& script) {
    CopyReport result;
    if (drive < 0 || drive >= kDriveCount || !DriveAvailable(ctx_.device, drive)) return result;
    WaitCursor cursor(ctx_.view);
    const TreeListing tree = ReadTree(ctx_.monitor, drive, ListingReadings::TwoAgreeing);
    const std::string root = DriveRootPath(drive);
    if (tree.collected != Collected::Complete || tree.damaged) {
        ++result.unreadable;
        report("<" + root + ">\n\n" +
               LoadText(tree.damaged ? text::kDriveDamaged : text::kTreeUnreadable));
        stillAnswers(result);
        return result;
    }
    result.skipped = tree.parse.skippedEntries;
    for (size_t k = 0; k < tree.parse.folders.size(); ++k) {
        const std::string& deviceFolder = tree.parse.folders[k].path;
        ctx_.view.setStatus(LoadText(text::kSave) + " <" + ShortenForDisplay(Shown(deviceFolder)) +
                            ">");
        ctx_.view.setProgress(0);
        const fs::path pcFolder = MirroredFolder(pcBase, deviceFolder);
        std::error_code error;
        fs::create_directories(pcFolder, error);
        if (error) {
            ++result.unreadable;
            report(pcFolder.string() + "\n\n" + error.message() + "\n\n" +
                   FormatText(text::kFilesNotCopied, Shown(deviceFolder)));
            continue;
        }
        if (script && k != 0) script(MkdirLine(deviceFolder));
        result += CopyFolderToPc(drive, pcFolder, deviceFolder, relativePrefix, script);
        if (result.silent || result.stopped) break;
    }
    return result;
}

}  // namespace tarmix
