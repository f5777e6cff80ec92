// The boot loader update behind UPDATE_BOOTLOADER and the batch command "update firmware".
#include "app/window/download_dialog.h"
#include "flash/boot_loader_update.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"

namespace tarmix {

bool CDownloadDialog::BootLoaderUpdateEnabled() const {
    return BootLoaderUpdateAvailable(device_, terminalOn_);
}

void CDownloadDialog::OnUpdateBootLoader() {
    if (busy_ || !BootLoaderUpdateEnabled()) return;
    // The button stays usable without the images, so that it can say which one is needed.
    const std::string missing = MissingLibraryFile(device_, folders_.library);
    if (!missing.empty()) {
        view_.showMessage(FormatText(text::kLibraryLacks, missing, folders_.library.string()),
                          LoadText(text::kUpdateFirmware), MessageIcon::Warning);
        return;
    }
    RunBootLoaderUpdate(folders_.library, device_.hardwareModel, true);
}

int CDownloadDialog::RunBootLoaderUpdate(const std::filesystem::path& library,
                                         int32_t identifiedModel, bool askFirst) {
    DeviceOperation operation(*this);
    BootLoaderUpdate update({monitor_, view_, device_, library, SelectedPortIsUsb(),
                             identifiedModel, Verifying(), askFirst, uint32_t(baudRate_)});
    const int result = update.UpdateBootLoader();
    RefreshModelControls();
    return result;
}

}  // namespace tarmix
