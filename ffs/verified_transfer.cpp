#include "ffs/verified_transfer.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "lang/catalog.h"
#include "platform/replacing_file.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr int kTextFileDownload = 60202;  // "File - download"
constexpr int kTextFileUpload = 60220;    // "File - upload"
constexpr int kTextVerified = 64301;      // "Verified"
constexpr char kNoScratch[] =
    "No folder for the file read back could be made in the temporary folder.";
constexpr char kDiffers[] =
    "\n\nVerify failed: the file read back from the controller differs from the PC file.";

std::optional<std::string> readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file in a folder of its own in the temporary folder (made with mkdtemp, so nobody else
// can have put a link at its name), removed with the folder when this goes out of scope.
class ScratchFile {
  public:
    ScratchFile() {
        std::string pattern = (fs::temp_directory_path() / "tarmix-readback-XXXXXX").string();
        if (mkdtemp(pattern.data())) folder_ = pattern;
    }
    ~ScratchFile() {
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    bool made() const { return !folder_.empty(); }
    fs::path path() const { return folder_ / "file"; }

  private:
    fs::path folder_;
};

// The device file as it reads now; nullopt after the upload's own message.
std::optional<std::string> readBack(FileTransfer& transfer, View& view,
                                    const std::string& devicePath) {
    ScratchFile scratch;
    if (!scratch.made()) {
        view.showMessage(kNoScratch, "", MessageIcon::Error);
        return std::nullopt;
    }
    if (transfer.Upload(scratch.path().string(), devicePath) != TransferResult::Copied)
        return std::nullopt;
    return readWhole(scratch.path());
}

TransferResult differs(View& view, const std::string& pcPath, int caption) {
    view.showMessage(pcPath + kDiffers, LoadText(caption), MessageIcon::Error);
    return TransferResult::DeviceFailed;
}

}  // namespace

TransferResult DownloadVerified(FileTransfer& transfer, View& view, const std::string& pcPath,
                                const std::string& deviceFolder, const std::string& deviceName) {
    const TransferResult copied = transfer.Download(pcPath, deviceFolder, deviceName);
    if (copied != TransferResult::Copied) return copied;
    const std::optional<std::string> device = readBack(transfer, view, deviceFolder + deviceName);
    if (!device) return TransferResult::DeviceFailed;
    if (readWhole(pcPath) != device) return differs(view, pcPath, kTextFileDownload);
    view.setStatus(LoadText(kTextVerified));
    return TransferResult::Copied;
}

TransferResult UploadVerified(FileTransfer& transfer, View& view, const std::string& pcPath,
                              const std::string& devicePath) {
    if (!transfer.MayReplace(pcPath)) return TransferResult::NotCopied;
    const std::optional<std::string> first = readBack(transfer, view, devicePath);
    if (!first) return TransferResult::DeviceFailed;
    const std::optional<std::string> second = readBack(transfer, view, devicePath);
    if (!second) return TransferResult::DeviceFailed;
    if (first != second) return differs(view, pcPath, kTextFileUpload);
    ReplacingFile file;
    std::string error;
    if (file.Open(pcPath, error) && !file.Write(std::string_view(*first)))
        error = "cannot be written (is the disk full?)";
    if (!error.empty() || !file.Commit(error)) {
        view.showMessage(pcPath + "\n\n" + error, LoadText(kTextFileUpload), MessageIcon::Error);
        return TransferResult::Failed;
    }
    view.setStatus(LoadText(kTextVerified));
    return TransferResult::Copied;
}

}  // namespace tarmix
