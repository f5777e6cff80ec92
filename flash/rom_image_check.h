// The whole-file check of an application ROM image, made before anything of it is sent.
//
// The readers of flash/rom_image.h take what they find: a wrong digit gives a wrong value,
// a checksum is never looked at. An image is therefore checked first, line by line, the
// way the boot loader update checks its images (flash/boot_image.h): every non-empty line
// must be a well-formed S-record with its hexadecimal digits, byte count and checksum
// right, or the RAM-only marker line. On top of that the image as a whole must make sense:
// - no data record runs past the end of the 32-bit address space;
// - no two data records give different bytes for the same address;
// - a count record ("S5", "S6") tells how many data records came before it;
// - the file ends with an end record ("S7", "S8", "S9"), so a file cut short at a line
//   end is caught too, and no data record follows it;
// - it holds at least one data record, and none with a 16-bit address ("S1"), whose
//   data the download would leave out.
// Where the image lies against the controller's flash is the download's own check.
#pragma once

#include <string>

namespace tarmix {

// Reads the file at `path` whole. true when it can be downloaded; false with `problem`,
// the message to show: that nothing was sent, then the file and, where it applies, the
// line ("\"app.rom\", line 12: the checksum is wrong"). A file that is no regular file or
// cannot be read is refused with the reason.
bool CheckRomImage(const std::string& path, std::string& problem);

}  // namespace tarmix
