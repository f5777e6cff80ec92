#include "ffs/verified_transfer.h"

#include <unistd.h>

#include <atomic>
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
constexpr char kVerified[] = "Verified";
constexpr char kDiffers[] =
    "\n\nVerify failed: the file read back from the controller differs from the PC file.";

std::optional<std::string> readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file in the temporary folder that is removed when this goes out of scope.
class ScratchFile {
  public:
    ScratchFile() {
        static std::atomic<int> counter{0};
        path_ = fs::temp_directory_path() /
                ("tarmix-readback-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    }
    ~ScratchFile() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// The device file as it reads now; nullopt after the upload's own message.
std::optional<std::string> readBack(FileTransfer& transfer, const std::string& devicePath) {
    ScratchFile scratch;
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
    const std::optional<std::string> device = readBack(transfer, deviceFolder + deviceName);
    if (!device) return TransferResult::DeviceFailed;
    if (readWhole(pcPath) != device) return differs(view, pcPath, kTextFileDownload);
    view.setStatus(kVerified);
    return TransferResult::Copied;
}

TransferResult UploadVerified(FileTransfer& transfer, View& view, const std::string& pcPath,
                              const std::string& devicePath) {
    if (!transfer.MayReplace(pcPath)) return TransferResult::NotCopied;
    const std::optional<std::string> first = readBack(transfer, devicePath);
    if (!first) return TransferResult::DeviceFailed;
    const std::optional<std::string> second = readBack(transfer, devicePath);
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
    view.setStatus(kVerified);
    return TransferResult::Copied;
}

}  // namespace tarmix
