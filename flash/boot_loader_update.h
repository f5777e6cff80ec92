// The boot loader update: renews the controller's boot monitor itself from the images in a
// "Library" folder.
//
// Two procedures, chosen by the hardware model code:
// - general (codes 1, 3..15): fill a RAM window with 0xff, type the boot-init image and
//   the new boot loader image into it at their "s3offset" offsets, erase the boot sectors
//   one by one, "flash program" the RAM window into them and restart with "call 40" or
//   "call 0";
// - RAM-bank (codes 17, 18): the boot loader image alone into a RAM bank, "flash erase
//   bootloader" with one dot per sector, "flash program" and "call 0".
//
// Nothing destructive happens on hope: both images are read and checked whole before the
// first command, the line is drained until it has been quiet before every checked command
// (a typed image comes back as a long echo), any failure before the erase ends the run
// without an erase, and no erase command follows one that failed. A failure after the
// first erase command says plainly that the controller may have lost its boot loader.
// Whatever happened once a command went out, the identification is cleared at the end so
// that the connection watch identifies the restarted controller afresh.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "flash/boot_image.h"
#include "link/monitor_exchange.h"
#include "models/device.h"
#include "models/models.h"
#include "platform/view.h"

namespace tarmix {

// What an update borrows from the main window.
struct BootLoaderUpdateContext {
    MonitorExchange& monitor;
    View& view;
    // The code (the variant selection writes the code it ran as back), the monitor version,
    // the extended-variant flag; the identification is cleared at the end.
    DeviceDescription& device;
    std::filesystem::path library;  // the folder that holds the images
    bool portIsUsb = false;         // the selected port is a USB serial adapter
    // The model identification found on this connection. The update runs only for it or its
    // plain/extended partner: a script's "change hardware" cannot send another model's
    // images.
    int32_t identifiedModel = 0;
};

// The rule of the UPDATE_BOOTLOADER button: a controller is identified, its monitor version
// is known, the terminal is not shown, and the library holds the model's file (the
// boot-init image of the variant the extended flag chooses, or the boot loader image of the
// RAM-bank models).
bool BootLoaderUpdateAvailable(const DeviceDescription& device, bool terminalShown,
                               const std::filesystem::path& library);

// True when identification learnt the monitor's version number.
inline bool MonitorVersionKnown(const DeviceDescription& device) {
    return device.firmwareVersion > 0;
}

class BootLoaderUpdate {
  public:
    // Waits of the procedure, before the time factor (the erase and program waits are
    // multiplied by the unit u = timeFactor / 3 + 1 instead).
    static constexpr Millis kFillTimeout{600};
    static constexpr Millis kOffsetTimeout{100};
    static constexpr Millis kOldSectorTimeout{2000};  // u × this: v ≤ 8, and further sectors
    static constexpr Millis kNewFirstSectorTimeout{3000};
    static constexpr Millis kProgramTimeout{3000};
    static constexpr Millis kDotTimeout{300};
    static constexpr Millis kEraseDoneTimeout{1000};
    static constexpr Millis kAfterImagePause{500};
    static constexpr Millis kAfterProgramPause{500};
    static constexpr Millis kRamBankRestartPause{2000};
    static constexpr Millis kRestartBudget{10000};
    // The line counts as drained once it has been silent this long...
    static constexpr Millis kQuietTime{100};
    // ...and a line that never falls silent within this (× time factor) fails the run.
    static constexpr Millis kDrainLimit{60000};

    explicit BootLoaderUpdate(BootLoaderUpdateContext context);

    // 0 success, 1 failure. Every status text and message goes to the view.
    int UpdateBootLoader();

    // Types the image into the monitor piece by piece, with progress over its lines, then
    // waits and drains the echo. 0 success, 1 when a piece could not be sent or the echo
    // never ends. `shownName` follows "download" in the status line.
    int SendImageLines(const BootImage& image, std::string_view shownName);

  private:
    enum Result { kSuccess = 0, kFailure = 1 };

    int RunGeneral(const GeneralUpdateSteps& steps, const BootImage& bootInit,
                   const BootImage& bootLoader);
    int EraseBootSectors(const GeneralUpdateSteps& steps);
    int RunRamBank(const BootImage& bootLoader);
    int EraseWholeBootArea(std::string_view command);
    int ProgramBootArea(std::string_view command);
    int Restart(std::string_view command, bool ramBank);

    // The checks before anything is sent; false after the refusal was shown.
    bool Refused(const ModelInfo* model);
    // Reads the model's images from the library; false after the problem was shown.
    bool LoadImage(std::string_view name, BootImage& image);

    // Drains until quiet, sends the command and collects its answer until the prompt or
    // `timeout`. true when the answer begins with `expected`.
    bool Exchange(std::string_view command, const std::string& expected, Millis timeout,
                  std::string& answer);
    bool DrainUntilQuiet();
    void ReceiveUntilPrompt(std::string& answer, Millis timeout);
    bool SendCommand(std::string_view command);

    Millis unit(Millis base) const;
    void status(int textId, std::string_view suffix = {}) const;
    void fail(const std::string& detail) const;

    BootLoaderUpdateContext ctx_;
    CSerial& serial_;
    bool eraseSent_ = false;  // from here on the boot area may be gone
};

}  // namespace tarmix
