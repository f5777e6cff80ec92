// File copies checked by reading the file back: the "--verify" of the unattended /u and /d.
//
// The frames' 8-bit checksums miss two flipped bits that cancel. A download is checked by
// reading the new device file into a temporary file and comparing it with the PC file. An
// upload reads the device file twice into temporary files and puts it under the PC name
// only when both reads agree, so a bad read never replaces the PC file.
#pragma once

#include <string>

#include "ffs/file_transfer.h"

namespace tarmix {

// The PC file to `deviceFolder` + `deviceName`, then read back and compared.
TransferResult DownloadVerified(FileTransfer& transfer, View& view, const std::string& pcPath,
                                const std::string& deviceFolder, const std::string& deviceName);

// The device file to `pcPath`, read twice and written only when both reads agree.
TransferResult UploadVerified(FileTransfer& transfer, View& view, const std::string& pcPath,
                              const std::string& devicePath);

}  // namespace tarmix
