// The run of the download button: the file of the source field is either a ROM image,
// handed to the application download, or a batch script, whose lines run one by one until
// the end of the file or the first failing command.
//
// A script sets up a whole controller without further questions:
//
//   ; lines that start with ";" or "#" are comments
//   program Flash\Application.rom        application download (names relative to the script)
//   restoreeprom "EEPROM\Eeprom.bin"     writes an EEPROM image file into the controller
//   change hardware "alder ext"          hardware model code for what follows
//   init drives 1024 64 256              drive sizes in kB
//   format a:                            formats A:, B: or C:
//   mkdir "A:\LOG\"                      creates a device folder
//   del A:\LOG\OLD.TXT                   deletes a device file
//   rtc init                             sets the controller's clock to the PC's local time
//   modify rtc caps                      sets the clock flag of the capability record
//   message TEXT ...                     shows the text
//   messageyesno TEXT ...                asks; No ends the run
//   download app.cfg "A:\CFG\APP.CFG"     copies a PC file (next to the script) to the device
//   upload "A:\LOG\DAY1.TXT" day1.txt     copies a device file to the PC (next to the script)
//   monitor COMMAND ...                  sends a raw monitor command
//   start application [ADDRESS]          starts the application (at ADDRESS, hexadecimal)
//   monitor call ADDRESS                 the same
//   update firmware [FOLDER]             renews the boot loader from the images in FOLDER
//                                        (beside the script), else from the Library
//
// Before anything is sent the whole script is checked: every command known, every file it
// names there, every image sound (batch/batch_run_check.h). Every failing command shows its
// own message (caption "Batch handling", ending with the script line) and ends the run;
// the run itself only says in the status line at which line it stopped. The device commands that
// are judged by their answer are tried up to three times, and so are file copies the device
// refused. restoreeprom never ends the run; its failure is reported in the outcome.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ffs/file_transfer.h"
#include "link/monitor_exchange.h"
#include "platform/view.h"

namespace tarmix {

// A moment of the PC's local time, as "rtc init" sends it.
struct LocalTime {
    int weekday = 0;  // 0 Sunday … 6 Saturday
    int day = 1;      // 1..31
    int month = 1;    // 1..12
    int year = 2000;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

LocalTime CurrentLocalTime();

// What a run borrows from the main window.
struct BatchContext {
    MonitorExchange& monitor;
    View& view;
    int32_t& hardwareModel;      // set by "change hardware"
    uint32_t& applicationStart;  // set by "start application ADDRESS" and "monitor call"
    // The application download of a ROM image (the file of the source field, or a
    // "program" line's file): 0 on success. It reports its own errors.
    std::function<int(const std::string& path)> downloadApplication;
    // The main window's start-application button, as if it had been pressed.
    std::function<void()> startApplication;
    // Shows the command being sent in the status field.
    std::function<void(const std::string& text)> showCommand;
    std::function<LocalTime()> localTime = CurrentLocalTime;
    // The EEPROM restore of an image file: 0 on success. It reports its own errors; the
    // run goes on either way.
    std::function<int(const std::string& path)> restoreEeprom = nullptr;
    // The file copies of "download" (PC path, device path) and "upload" (device path, PC
    // path; the operator is asked before an existing PC file is replaced). They report
    // their own errors.
    std::function<TransferResult(const std::string& pcPath, const std::string& devicePath)>
        downloadFile = nullptr;
    std::function<TransferResult(const std::string& devicePath, const std::string& pcPath)>
        uploadFile = nullptr;
    // The boot loader update with the images in the given folder (empty: the program's
    // Library folder): 0 on success. It reports its own errors. Empty: not available.
    std::function<int(const std::string& libraryFolder)> updateBootLoader = {};
};

enum class BatchEnd {
    RomImage,   // the file was a ROM image; `downloadResult` tells how its download went
    Finished,   // the script ran to its end
    Stopped,    // a command failed (or the operator said No) and ended the script
    FileError,  // the file could not be opened or read; "File read error" was shown
    Refused,    // the check before the first line refused the script; nothing was sent
};

struct BatchOutcome {
    BatchEnd end = BatchEnd::FileError;
    int downloadResult = 1;
    // A restoreeprom line failed: the script went on, but the run did not restore all.
    bool eepromRestoreFailed = false;
};

// Runs the file at `path` (a PC path). A script is checked whole before its first line
// runs (batch/batch_run_check.h) and refused with its first problem; each failing line
// then names its line. Relative names inside the script are completed with the script's own
// folder. The closing steps of a script run (refreshing the drive view, resuming the link)
// are the caller's: they are due after Finished and Stopped.
BatchOutcome RunBatchFile(BatchContext& context, const std::string& path);

// Everything RunBatchFile would check before it sends anything, ROM images included; when
// the file would be refused, says which file and why, so that an unattended run can end
// before it waits for a controller.
bool CheckBatchFile(View& view, const std::string& path);

}  // namespace tarmix
