// File copies between the PC and the controller's drives: the unattended "/u" and "/d" and
// the copies a batch script asks for; with --verify or the Verify check box each copy is
// read back and compared.
#include "app/main_window.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "link/baud_switch.h"
#include "platform/latin1.h"

namespace tarmix {

TransferContext CDownloadDialog::TransferSettings() {
    return {monitor_, view_, device_, askBeforeOverwrite_, {}, Verifying()};
}

TransferResult CDownloadDialog::UploadForScript(const std::string& devicePath,
                                                const std::string& pcPath) {
    askBeforeOverwrite_ = true;  // a script never replaces a PC file without asking
    return Transfers().Upload(pcPath, devicePath);
}

int CDownloadDialog::UnattendedUpload() {
    DeviceOperation operation(*this);
    const std::optional<std::string> devicePath = Utf8ToLatin1(firstPath_);
    if (!devicePath) {
        view_.showMessage("<" + firstPath_ + ">\n\n" + LoadText(text::kUnknownCharacters),
                          LoadText(text::kFileUpload), MessageIcon::Error);
        return kResultFileUploadFailed;
    }
    TransferResult result = TransferResult::Failed;
    {
        BaudSwitch baud(monitor_, view_, uint32_t(baudRate_));
        RaisedBaudRate raised(baud);  // a file copy is a bulk transfer
        result = Transfers().Upload(secondPath_, *devicePath);
    }
    if (result == TransferResult::NotCopied)
        view_.showMessage(secondPath_ + "\n\n" + LoadText(text::kNotReplaced),
                          LoadText(text::kFileUpload), MessageIcon::Warning);
    return result == TransferResult::Copied ? kResultOk : kResultFileUploadFailed;
}

int CDownloadDialog::UnattendedDownload() {
    // The controller path is a folder and a name; one ending in "\" names no file.
    const size_t slash = secondPath_.rfind('\\');
    if (slash == std::string::npos || slash + 1 == secondPath_.size()) return kResultNoBackslash;
    DeviceOperation operation(*this);
    const std::optional<std::string> folder = Utf8ToLatin1(secondPath_.substr(0, slash + 1));
    const std::optional<std::string> name = Utf8ToLatin1(secondPath_.substr(slash + 1));
    if (!folder || !name) {
        view_.showMessage("<" + secondPath_ + ">\n\n" + LoadText(text::kUnknownCharacters),
                          LoadText(text::kFileDownload), MessageIcon::Error);
        return kResultFileDownloadFailed;
    }
    BaudSwitch baud(monitor_, view_, uint32_t(baudRate_));
    RaisedBaudRate raised(baud);  // a file copy is a bulk transfer
    const TransferResult result = DownloadToDevice(firstPath_, *folder, *name);
    return result == TransferResult::Copied ? kResultOk : kResultFileDownloadFailed;
}

TransferResult CDownloadDialog::DownloadToDevice(const std::string& pcPath,
                                                 const std::string& deviceFolder,
                                                 const std::string& deviceName) {
    FileTransfer transfer = Transfers();
    const TransferResult result = transfer.Download(pcPath, deviceFolder, deviceName);
    if (!transfer.incompleteFile().empty())
        resultDetail_ = IncompleteFileText(transfer.incompleteFile());
    return result;
}

}  // namespace tarmix
