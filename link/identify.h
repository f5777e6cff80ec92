// Reading the controller's answers to the connection watch's queries. Pure functions: the
// connection watch sends the queries and collects the answers (each beginning with the echo
// of its command), and these turn the answers into the device description, the texts of the
// Panel, Flash and Firmware fields, the allowed baud rates and the usage bars.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "models/device.h"
#include "platform/clock.h"

namespace tarmix {

// The watch's queries, sent as they stand.
inline constexpr std::string_view kHandshakeCommand = "please answer me";
inline constexpr std::string_view kParallelTestCommand = "parportCTRL test";
inline constexpr std::string_view kVersionCommand = "tell version";
inline constexpr std::string_view kDrivesCommand = "tell drives";

// Shown in the Firmware field when "tell version" gave no usable number. Not translated.
inline constexpr std::string_view kUnknownFirmwareText = "Firmware-Version: unbekannt";
// Monitors from this version on know "tell drives".
inline constexpr int32_t kFirstVersionWithDrives = 12;

// True when the answer begins with "please answer me\r\nhere I am : ": the monitor is there.
bool isHandshakeAnswer(std::string_view answer);

// The Panel and Flash texts of an identification.
struct ModelFieldTexts {
    std::string panel;
    std::string flash;
};

// Identifies the model from the handshake answer and writes hardwareModel, bankA, bankB,
// bankC and, for the BIRCH panel, clockFrequency of `device`. Returns the Panel and Flash
// texts.
// - An unknown model text gives model 0, Panel and Flash "???", bank A and B 0..0; bank C
//   stays as it was.
// - A known model with a size field that matches none of its sizes gives Flash "???" and
//   bank A (and B) 0..0, except the T-PQ7xx, which keeps bank A and returns
//   `shownFlashText` (the Flash field's current text) unchanged.
// - The BIRCH panel's clock is the number after a size field that ends in a blank, 0 when
//   there is none or the size field is unknown. Other models leave clockFrequency alone.
ModelFieldTexts identifyModel(std::string_view answer, DeviceDescription& device,
                              std::string_view shownFlashText);

// True when the answer to "parportCTRL test" confirms the parallel port.
bool isParallelTestAnswer(std::string_view answer);

// The number in the answer to "tell version"; empty when the echo is wrong or no number
// follows "Version: ".
std::optional<int32_t> parseVersionAnswer(std::string_view answer);

// Writes firmwareVersion and versionFlag: an unusable answer counts as version 0 with the
// flag set; otherwise the flag is set when the number is at most 100000.
void applyVersion(DeviceDescription& device, std::optional<int32_t> version);

// The Firmware field: "<label>: <number>" for a known version, where the label is the
// catalogue text LoadText(text::kFirmwareVersion); kUnknownFirmwareText otherwise.
std::string firmwareFieldText(std::optional<int32_t> version, std::string_view label);

// The sizes of A:, B:, C: in kB from the answer to "tell drives"; empty when the echo is
// wrong, fewer than three numbers follow "Drives:", or a size is negative.
std::optional<std::array<int32_t, kDriveCount>> parseDrivesAnswer(std::string_view answer);

// Writes driveSizes and drivesPresent from a parsed "tell drives" answer (pass nothing when
// the monitor is too old to be asked). Returns the drive to list first (0 = A:, 1 = B:,
// 2 = C:): the first with a size other than 0. Returns -1 when there is none; the sizes
// are then 0, 0, 0, drivesPresent is clear and the caller resets the drive view.
int applyDrives(DeviceDescription& device,
                const std::optional<std::array<int32_t, kDriveCount>>& sizes);

// Sets the allowed baud rates from the identified model, its monitor version and (BIRCH)
// its clock, and moves the operator's chosen rate `baudRate` where the model demands.
// Monitors up to version 14 (except on the VANTIX models) allow 57600 only; an unknown
// model otherwise leaves everything alone. 230400 is never allowed. Returns true when
// extendedFirmware was written, so that the check box is redrawn.
bool applyBaudCapabilities(DeviceDescription& device, int32_t& baudRate);

// How full the ROM and RAM bars are drawn, as fractions of the flash area.
struct UsageFractions {
    double rom = 0.0;
    double ram = 0.0;
};

// ROM usage: the downloaded application's share of the bank it lies in (A, B, or RAM area
// C; 0 when it lies in none). Without a downloaded application the ROM usage stays
// `lastRomUsage`. RAM usage: drive C:'s share of bank A, 0 when the application lies in
// bank B or C. Values are not clipped: an empty bank A with a file system gives more than 1.
UsageFractions usageFractions(const DeviceDescription& device, bool applicationLoaded,
                              AddressRange applicationRange, double lastRomUsage);

// The period of the connection watch's timer: 500 ms for time factors 1 to 4, 1000 ms for
// 5 to 9, and so on.
Millis connectionWatchPeriod(int32_t timeFactor);

}  // namespace tarmix
