// Demo boot images for the simulated controller: the boot-init and boot loader images a
// model's boot loader update types into the monitor, under the file names of the folder
// "Library". They are made for the simulator only; the program never finds them unless a
// run names their folder (--library) or was started with --simulate.
//
// A boot loader image is pseudo-random "code" with a marker at kBootMarkerOffset that names
// the model, the monitor version it brings and its length, and ends with a sum of all its
// other bytes. A boot area that does not hold exactly such an image does not start. Once it has
// been programmed into the boot area, a restart of the simulated controller runs it and reports
// that version.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/sim_models.h"

namespace tarmix::sim {

// Where the marker stands, counted from the start of the boot area.
inline constexpr uint32_t kBootMarkerOffset = 0x100;
inline constexpr uint32_t kBootMarkerLength = 64;

struct BootMarker {
    int code = 0;         // the hardware model code the image is made for
    int version = 0;      // the monitor version it brings
    uint32_t length = 0;  // the image's bytes, its sum included
};

// The boot loader's bytes: `size` bytes, the marker and the sum included.
std::vector<uint8_t> BootLoaderBytes(int code, int version, uint32_t size);

// The marker at the start of `bootArea` (at least kBootMarkerOffset + kBootMarkerLength
// bytes); nullopt when there is none.
std::optional<BootMarker> ReadBootMarker(std::span<const uint8_t> bootArea);

// `bootArea` holds the whole image `marker` describes, every byte as it was made.
bool ValidBootLoader(std::span<const uint8_t> bootArea, const BootMarker& marker);

// Where the boot loader image goes: its records' address and its size. The records land in
// the RAM window that "flash program" copies into the boot area once the monitor has added
// the "s3offset" offset. For model 9 the monitor version that loads the images decides the
// window.
struct BootImagePlace {
    std::string bootInitFile;  // empty: the model has no boot-init image
    std::string bootLoaderFile;
    uint32_t bootInitAddress = 0;
    uint32_t bootLoaderAddress = 0;
    uint32_t bootLoaderSize = 0;
};
std::optional<BootImagePlace> BootImagePlaceFor(int code, int loadingMonitorVersion);

// Writes the images of `model` (and of its plain or extended partner) into `folder`, made
// to be loaded by a monitor of version `loadingMonitorVersion` and to bring `version`.
// 0 on success; 1 with `error` when the model has no boot loader update or a file cannot
// be written.
int MakeBootLibrary(const ModelSpec& model, int version, int loadingMonitorVersion,
                    const std::filesystem::path& folder, std::string& error);

}  // namespace tarmix::sim
