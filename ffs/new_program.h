// "New program": an application ROM image (S-records) becomes the device's application file
// "Application.exe" at the root of a drive. The file goes out with "file load" like any
// other, its first frame being the application header:
//
//   lowest address (4 bytes) | number of image bytes (4) | 32-bit sum of them (4)
//
// all big-endian, followed by the image bytes from the lowest to the highest address the
// records cover, in frames of 512; bytes that no record gives are 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ffs/file_transfer.h"

namespace tarmix {

inline constexpr char kApplicationFile[] = "Application.exe";
// An application file holds at most this many image bytes.
inline constexpr uint32_t kLargestProgram = 8 * 1024 * 1024;

struct ProgramImage {
    uint32_t lowest = 0;
    std::vector<uint8_t> bytes;
};

// The image of a ROM file. 0 on success; otherwise the catalogue id of the message to show
// with the file's name, or -1 for a file without any data record.
int BuildProgramImage(const std::string& romPath, ProgramImage& image);

// The twelve bytes of the application header frame.
std::vector<uint8_t> ApplicationHeader(const ProgramImage& image);

// Sends the ROM file as "Application.exe" into the drive root `rootFolder` ("A:\"). 0 on
// success, 1 on failure (shown). The caller lists the folder again afterwards.
int DownloadProgram(TransferContext& context, const std::string& romPath,
                    const std::string& rootFolder);

}  // namespace tarmix
