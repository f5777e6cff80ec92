// The boot loader update behind UPDATE_BOOTLOADER and the batch command "update firmware".
#include "app/main_window.h"
#include "flash/boot_loader_update.h"
#include "lang/catalog.h"

namespace tarmix {

namespace {

constexpr int kTextUpdateFirmware = 60616;  // "Update firmware"
// Asked before anything is sent. Not in the catalogues yet.
constexpr char kOverwriteQuestion[] =
    "The controller's boot loader will be erased and replaced with the images in\n%s.\n"
    "Do not switch the controller off or unplug it while this runs.\n\nGo on?";

}  // namespace

bool CDownloadDialog::BootLoaderUpdateEnabled() const {
    // The terminal window is not there yet, so it is never shown over the update.
    constexpr bool kTerminalShown = false;
    return BootLoaderUpdateAvailable(device_, kTerminalShown, folders_.library);
}

void CDownloadDialog::OnUpdateBootLoader() {
    if (busy_ || !BootLoaderUpdateEnabled()) return;
    std::string question = kOverwriteQuestion;
    question.replace(question.find("%s"), 2, folders_.library.string());
    if (!view_.askYesNo(question, LoadText(kTextUpdateFirmware))) return;
    RunBootLoaderUpdate(folders_.library, device_.hardwareModel);
}

int CDownloadDialog::RunBootLoaderUpdate(const std::filesystem::path& library,
                                         int32_t identifiedModel) {
    DeviceOperation operation(*this);
    BootLoaderUpdate update(
        {monitor_, view_, device_, library, SelectedPortIsUsb(), identifiedModel});
    const int result = update.UpdateBootLoader();
    RefreshModelControls();
    return result;
}

}  // namespace tarmix
