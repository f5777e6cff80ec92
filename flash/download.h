// The application download: writes an application ROM image into the controller's flash
// through the boot monitor, or with the compare option checks that the flash holds it.
//
// Two variants, chosen by the hardware model code:
// - direct (all codes but 17 and 18): erase the application area, then send the image in
//   blocks with "burn" (or check it with "verify");
// - staged (17, 18): send the image into RAM, then let the monitor erase the flash area
//   and copy the RAM image into it with "flash program".
// Both share the preparation (the whole image checked before anything is sent, the info
// header, the range check against the banks, all before the erase) and the block transfer, over the
// serial line or the parallel port, at the raised rate. The first failing exchange ends the run;
// nothing is retried.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "flash/rom_image.h"
#include "flash/rom_image_header.h"
#include "link/baud_switch.h"
#include "link/monitor_exchange.h"
#include "link/parallel.h"
#include "models/device.h"
#include "platform/view.h"

namespace tarmix {

// What the operator chose for this run.
struct DownloadOptions {
    bool compare = false;           // verify instead of burn, no erase
    bool verifyAfterWrite = false;  // after a good download, compare the flash with the image
    bool parallelTransfer = false;  // command lines and blocks go out through LPT1
    uint32_t baudRate = 57600;      // the rate bulk work runs at
    std::string sourceFolder;       // completes a file name that is not absolute
};

// What a run leaves in the main window: the image's place, the header figures shown by the
// usage bars, and whether (and where) an application can now be started.
struct DownloadFigures {
    uint32_t imageStart = 0;
    uint32_t downloadStart = 0;
    uint32_t imageEnd = 0;
    uint32_t romExtent = 0;
    uint32_t romCodeSize = 0;
    uint32_t ramNeeded = 0;
    uint32_t ramAvailable = 0;
    bool applicationLoaded = false;
    uint32_t applicationStart = 0;
    uint64_t bytesSent = 0;  // image bytes the blocks carried, and the blocks
    uint32_t blocksSent = 0;
};

// The step a good download ends with, still at the raised rate: the settings the old
// application left are reset (ClearEepromDataLength of config/, which lies above this
// layer). Returns why that failed (a catalogue text), empty when it did not.
using SettingsReset = std::string (*)(MonitorExchange& monitor);

// Everything a download borrows from the main window for its duration.
struct DownloadContext {
    MonitorExchange& monitor;
    CParallel& parallel;
    View& view;
    const DeviceDescription& device;
    DownloadOptions options;
    DownloadFigures& figures;
    SettingsReset resetSettings;  // nullptr: the operator keeps the settings
};

class ApplicationDownload {
  public:
    explicit ApplicationDownload(DownloadContext context);

    // 0 success, 1 failure. Every status text and message of the run goes to the view.
    int DownloadApplication(const std::string& path);

    // The steps, open for tests of their exchanges.
    int EraseApplicationArea(uint32_t start, uint32_t end);
    int EraseAndProgramFromRam(uint32_t start, uint32_t end);
    int TransferBlocks(const std::string& path, uint32_t downloadStart);
    int SendBlock(uint32_t base, std::span<const uint8_t> bytes);
    // Tells the view how far the blocks have got: up to `blockEnd` (exclusive).
    void ReportTransferred(uint32_t blockEnd);

  private:
    enum Result { kSuccess = 0, kFailure = 1, kMismatch = 2 };

    bool staged() const;
    std::string CompletePath(const std::string& path) const;
    uint32_t reserveBytes() const;
    // Bank A without the file system at its top.
    AddressRange usableBankA() const;
    // The whole-file check of the image; says what is wrong with it. false to stop.
    bool ImageIsSound(const std::string& path);
    // The file checks and the info header; then the error reports. 0 to go on.
    int Prepare(const std::string& path);
    int ReadHeaderAndCheckControllerCopy(const std::string& path);
    bool ControllerHoldsThisVersion(const ImageHeader& header);
    int ReportPreparationErrors(int result, const std::string& path, bool ramShort);
    // An erase will run before the image is written (the skip offset must then be 0).
    bool EraseWillRun() const;
    // [start, end] lies where the direct variant erases: bank A below the file system, or B.
    bool InErasedBank(uint32_t start, uint32_t end) const;
    // The download would write into bank A while drive C:'s size there is not known.
    bool WritesIntoBankAOfUnknownExtent() const;
    bool RangeFits() const;
    void ReportRangeError() const;
    int EraseBeforeBurn();
    int EraseWholeApplicationArea();
    // "Sectors(N):" then one "." per erased sector, with progress; N into `sectors`.
    int CountErasedSectors(size_t digits, int& sectors);
    // After a confirmed erase a block of 0xFF bytes only would write what the flash holds
    // already. Never in the staged variant (its RAM holds anything), never in a compare.
    bool SkipsErasedBlock(std::span<const uint8_t> bytes) const;
    bool ParallelInputSwitched(bool on);
    // The compare pass right after a download: "Verified", or a message naming the first
    // block whose compare failed.
    int VerifyAfterWrite(const std::string& path);
    // The figures of a good run, and the settings reset unless they are kept. 0, or 1
    // when the reset failed.
    int SuccessSteps();

    // Catalogue texts into the status line, or a message box.
    void status(int textId) const;
    void message(const std::string& text, MessageIcon icon, const std::string& caption = "") const;
    // After an answer's checked start: reads on up to the prompt (which may still be on its
    // way in pieces), so that the next exchange's drain cannot miss its tail and take it for
    // the start of its own answer.
    void AwaitPrompt(std::string& answer);

    DownloadContext ctx_;
    CSerial& serial_;
    ImageHeader header_;
    size_t blockLimit_;
    bool programFlash_ = true;  // the staged variant copies RAM into flash afterwards
    bool dumpAnswered_ = false;
    bool flashErased_ = false;  // the monitor confirmed the erase of the download's area
    uint32_t verifyShift_ = 0;  // image address to the address compared (staged: the flash)
    uint32_t lastBlock_ = 0;    // address of the block sent last, as compared
};

}  // namespace tarmix
