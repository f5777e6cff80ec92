// A boot image ("Bootinit.rom", "Boot.rom" and their kin in the folder "Library") as it is
// typed into the boot monitor: its S-records one after the other, each a piece of text
// that ends with a carriage return. The monitor takes every piece as a command line; a
// piece after the first starts with the line feed of the previous line end, which the
// monitor ignores. CR LF and LF-only files give the same pieces.
//
// An image is read and checked whole before anything is sent: the update erases the boot
// sectors later on, and a file that turns out to be damaged half-way through would leave
// the controller without a boot loader.
//
// The image's "S0" title may name the monitor version it brings ("... version 41", the word
// in any case); the update shows it beside the controller's version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarmix {

// The monitor's line buffer for typed records takes pieces up to this many characters.
inline constexpr size_t kMaxBootPieceLength = 99;
// Boot images are a few hundred kilobytes of text; anything much larger is not one.
inline constexpr std::uintmax_t kMaxBootImageFileSize = 4u << 20;

// Bytes of the image that lie one after the other, at their record address.
struct BootImageRun {
    uint32_t address = 0;
    std::string bytes;
};

struct BootImage {
    std::string name;                 // the file name, for messages
    std::vector<std::string> pieces;  // each is sent with SendLine
    size_t lineFeeds = 0;             // the progress bar's range while it is typed
    size_t dataBytes = 0;             // bytes the data records carry
    std::vector<BootImageRun> runs;   // the data records' bytes, adjacent records joined
    int version = 0;                  // named by the "S0" title; 0: not named
};

// Reads the file at `path` and checks it: it must exist and be readable, hold at least
// one data record, and every line must be an S-record ("S", a type digit, pairs of
// hexadecimal digits whose count byte matches and whose checksum is right) that fits into
// one piece. Empty lines are allowed. false with `problem` naming the file and, where it
// applies, the line ("\"Boot.rom\", line 12: the checksum is wrong").
bool LoadBootImage(const std::filesystem::path& path, BootImage& image, std::string& problem);

// The monitor version an "S0" title names: the number after the word "version"; 0 when
// there is none.
int BootImageTitleVersion(std::string_view title);

// The problem with one line of an image (without its line end); empty when it is a good
// S-record.
std::string CheckBootImageLine(std::string_view line);

// A fault of one line of an image file, as it is told: "\"Boot.rom\", line 4: the checksum
// is wrong".
std::string ImageLinePlace(const std::string& name, size_t line, const std::string& fault);

}  // namespace tarmix
