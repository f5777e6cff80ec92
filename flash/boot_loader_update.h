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
// first command, and before the first erase command both are known to be in RAM as they
// stand in the files: every record's answer is watched while it is typed, and with
// `verify` the RAM is read back and compared. Every check that can refuse comes before the
// erase. Once the first erase command has gone out, stopping is the worst outcome: only an
// error the controller reports, or a controller that no longer answers, ends the run before
// the programming; an answer worded otherwise does not. A stop request ends the update
// between two image lines or before the erase, and is not taken once the erase began: the
// update then runs to its end and says so. A failure after the first erase
// command says plainly that the controller may have lost its boot loader. Whatever happened
// once a command went out, the identification is cleared at the end so that the connection
// watch identifies the restarted controller afresh. The images go out at the rate chosen
// for bulk work; the erase and the programming always run at 57600.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
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
    // Read both images back from the controller's RAM and compare them before the erase.
    bool verify = false;
    // Ask before anything is sent, naming both versions (the button; a script does not ask).
    // A boot loader older than the controller's is always asked for on its own.
    bool askFirst = false;
    // The images are typed (and read back) at this rate, as downloads run; the link is back
    // at 57600 before anything is erased.
    uint32_t baudRate = CSerial::kLinkBaud;
};

// The rule of the UPDATE_BOOTLOADER button: a controller is identified, its monitor version
// is known, the terminal is not shown, and its model has a boot loader update.
bool BootLoaderUpdateAvailable(const DeviceDescription& device, bool terminalShown);

// The "Library" file the model's update is offered by (the boot-init image of the variant
// the extended flag chooses, or the boot loader image of the RAM-bank models) when `library`
// lacks it; empty when it is there or the model has no update.
std::string MissingLibraryFile(const DeviceDescription& device,
                               const std::filesystem::path& library);

// True when identification learnt the monitor's version number.
inline bool MonitorVersionKnown(const DeviceDescription& device) {
    return device.firmwareVersion > 0;
}

class BootLoaderUpdate {
  public:
    // Waits of the procedure. The erase and program waits are the flash's own: damped.
    static constexpr Wait kFillWait = Wait::Scaled(Millis{600});
    static constexpr Wait kOffsetWait = Wait::Scaled(Millis{100});
    // The silence an erase step bears, before the damping: v ≤ 8, and further sectors...
    static constexpr Millis kOldSectorSilence{2000};
    // ...and the first sector of a newer monitor, or the whole boot area.
    static constexpr Millis kNewFirstSectorSilence{3000};
    static constexpr Wait kProgramWait = Wait::Damped(Millis{3000});
    static constexpr Millis kAfterImagePause{500};
    static constexpr Millis kAfterProgramPause{500};
    static constexpr Millis kRamBankRestartPause{2000};
    static constexpr Wait kRestartBudget = Wait::Scaled(Millis{10000});
    // The line counts as drained once it has been silent this long...
    static constexpr Wait kQuietTime = Wait::Fixed(Millis{100});
    // ...and a line that never falls silent within this fails the run.
    static constexpr Wait kDrainLimit = Wait::Scaled(Millis{60000});
    // The answers to a typed image, and a block read back, end when the line has been
    // silent this long.
    static constexpr Wait kAnswerSilence = Wait::Scaled(Millis{1000});
    // RAM is read back in blocks of this many bytes; a block whose header or sum does not
    // check out is asked for again, up to kReadAttempts times in all.
    static constexpr uint32_t kReadBlock = 0x4000;
    static constexpr int kReadAttempts = 3;

    explicit BootLoaderUpdate(BootLoaderUpdateContext context);

    // 0 success, 1 failure. Every status text and message goes to the view.
    int UpdateBootLoader();

    // Types the image into the monitor piece by piece, with progress over its lines, and
    // follows the monitor's answers as they come. 0 success; 1 when a piece could not be
    // sent, or an answer shows that a record did not reach the RAM intact (nothing more is
    // typed then), or the answers stop short. `shownName` follows "download" in the status
    // line.
    int SendImageLines(const BootImage& image, std::string_view shownName);

  private:
    enum Result { kSuccess = 0, kFailure = 1 };

    // An image typed into RAM at an "s3offset" offset.
    struct ImageLoad {
        std::string_view offset;  // the "s3offset" command
        const BootImage& image;
        const char* shownName;
    };

    int RunGeneral(const GeneralUpdateSteps& steps, const BootImage& bootInit,
                   const BootImage& bootLoader);
    int RunRamBank(const BootImage& bootLoader);
    // Fills the RAM window and types the images into it at the chosen rate; with `verify`,
    // reads them back. Succeeds only once the link is back at 57600 and answering.
    int LoadIntoRam(std::string_view fill, std::span<const ImageLoad> loads);
    int TypeImages(std::string_view fill, std::span<const ImageLoad> loads);
    // Reads the images back from RAM; false at the first that is not there whole.
    bool ImagesInRam(std::span<const ImageLoad> loads);
    int CheckImageInRam(const BootImage& image, uint32_t offset);
    // The images wait in RAM from their typing to their programming, and a restart on the
    // way clears it. After the first erase the update must still finish: when an erase
    // answer lacked its echo (as a restart's banner does), the images are read back, and
    // when they are gone they are typed again and the boot area erased once more (erasing
    // twice does no harm). `erase` is the procedure's erase.
    int EraseKeepingImages(const std::function<int()>& erase, std::string_view fill,
                           std::span<const ImageLoad> loads);
    // Reads `count` bytes of RAM at `address`; false when no answer checked out.
    bool ReadRam(uint32_t address, uint32_t count, std::string& data);
    int EraseBootSectors(const GeneralUpdateSteps& steps);
    int EraseWholeBootArea(std::string_view command);
    // One erase command, once the boot area may be gone: a failure only when the
    // controller reports an error or stops answering within `silence` (damped). `dots`: the
    // answer counts erased sectors in dots, shown as progress.
    int EraseStep(std::string_view command, Millis silence, std::string& answer, bool dots);
    int ProgramBootArea(std::string_view command);
    int Restart(std::string_view command, bool ramBank);

    // The checks before anything is sent; false after the refusal was shown.
    bool Refused(const ModelInfo* model);
    // Reads the model's images from the library; false after the problem was shown.
    bool LoadImage(std::string_view name, BootImage& image);
    // Shows both versions and asks what must be asked; false when the answer was No.
    bool Confirmed(const BootImage& bootLoader);

    // Drains until quiet, sends the command and collects its answer until the prompt or
    // `limit`. true when the answer begins with `expected`.
    bool Exchange(std::string_view command, const std::string& expected, Wait limit,
                  std::string& answer);
    bool DrainUntilQuiet();
    // The command line, after a drain of the procedure's own (or none).
    bool SendCommand(std::string_view command);

    void status(int textId, std::string_view suffix = {}) const;
    // The status line and a message box with the text.
    void tell(int textId, MessageIcon icon) const;
    void fail(const std::string& detail) const;

    BootLoaderUpdateContext ctx_;
    CSerial& serial_;
    bool eraseSent_ = false;   // from here on the boot area may be gone
    bool echoMissed_ = false;  // an erase answer did not begin with the command's echo
    std::string problem_;      // what went wrong before the erase, for the message
};

}  // namespace tarmix
