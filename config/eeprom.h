// EEPROM save and restore: the controller's EEPROM area into an image file on the PC, and
// such a file back into the controller, with the monitor's block commands:
//
//   geteepromdata AAAAAAAA LLLLLLLL   echo, CR LF, "Addr AAAAAAAA", L data bytes, checksum
//   seteepromdata AAAAAAAA LLLLLLLL   echo, CR LF; the PC sends L bytes and the checksum;
//                                     the monitor answers "O.K."
//
// Blocks are at most 3840 bytes; the checksum is 16 bits, sent low byte first. A failed
// block is not retried. The save runs at the raised baud rate; the restore at the current
// one, with a pause after each block while the EEPROM is written.
//
// Both check the area before the first block: the model and firmware rule of the save, the
// capability record's end address, and the start this controller uses for the data
// length; the restore also checks that the file holds exactly that area. Nothing is sent
// to the EEPROM before all of these hold.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "config/eeprom_area.h"
#include "link/baud_switch.h"
#include "link/monitor_exchange.h"
#include "platform/view.h"

namespace tarmix {

// The image file of a backup, below the backup folder.
inline constexpr char kEepromFolderName[] = "EEPROM";
inline constexpr char kEepromFileName[] = "Eeprom.bin";

// What the EEPROM operations borrow from the main window.
struct EepromContext {
    MonitorExchange& monitor;
    View& view;
    BaudSwitch& baud;
    int32_t hardwareModel = 0;
    int32_t firmwareVersion = 0;
    // The save reads each block twice; the restore reads the area back and compares it.
    bool verify = false;
};

enum class EepromSaveResult {
    Saved,          // FOLDER/EEPROM/Eeprom.bin holds the EEPROM area
    NothingToSave,  // the model keeps nothing, the firmware is too old, or the operator
                    // chose not to overwrite: no file of this run
    Failed,         // no new file; an old one stays as it was
};

// Saves the EEPROM area into `backupFolder`/EEPROM/Eeprom.bin. Asks before using an
// existing EEPROM folder or replacing an existing file. The area comes from readings of the
// capability record and the drive sizes that agree; once saved it goes into `savedArea`
// and the status line ("EEPROM saved: 0x… to 0x…, N bytes").
EepromSaveResult EepromSave(EepromContext& context, const std::filesystem::path& backupFolder,
                            EepromHeader* savedArea = nullptr);

// Writes the image file at `path` into the controller's EEPROM and sets the capability
// record's data length to the file's. 0 on success, 1 on failure (after its message).
int EepromRestore(EepromContext& context, const std::string& path);

}  // namespace tarmix
