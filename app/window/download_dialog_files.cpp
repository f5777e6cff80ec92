// File copies between the PC and the controller's drives with the window's settings: those
// of the unattended "/u" and "/d" (unattended_run.cpp) and those a batch script asks for;
// with --verify or the Verify check box each copy is read back and compared.
#include "app/window/download_dialog.h"

namespace tarmix {

TransferContext CDownloadDialog::TransferSettings() {
    return {monitor_, view_, device_, askBeforeOverwrite_, {}, Verifying()};
}

TransferResult CDownloadDialog::UploadForScript(const std::string& devicePath,
                                                const std::string& pcPath) {
    askBeforeOverwrite_ = true;  // a script never replaces a PC file without asking
    return Transfers().Upload(pcPath, devicePath);
}

TransferResult CDownloadDialog::DownloadToDevice(const std::string& pcPath,
                                                 const std::string& deviceFolder,
                                                 const std::string& deviceName) {
    FileTransfer transfer = Transfers();
    const TransferResult result = transfer.Download(pcPath, deviceFolder, deviceName);
    if (!transfer.incompleteFile().empty())
        unattended_.KeepIncompleteFile(transfer.incompleteFile());
    return result;
}

}  // namespace tarmix
