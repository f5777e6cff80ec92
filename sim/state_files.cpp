// The device's state directory: what the controller keeps over a power cycle.
#include <fstream>
#include <iterator>
#include <sstream>

#include "sim/controller.h"

namespace tarmix::sim {

namespace fs = std::filesystem;

namespace {

constexpr char kFlashFile[] = "memory.srec";
constexpr char kEepromFile[] = "eeprom.bin";
constexpr char kCapsFile[] = "caps.txt";
constexpr char kDriveSizesFile[] = "drives.txt";
constexpr char kFirmwareFile[] = "firmware.txt";

// Numbers separated by white space; stops at the first word that is no number.
std::vector<int> readNumbers(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<int>(in), std::istream_iterator<int>()};
}
// Present when a boot sector has been erased since the factory: the boot area then starts
// only with a boot loader programmed into it.
constexpr char kBootFile[] = "boot.txt";
constexpr char kBootErased[] = "erased\n";

bool readFile(const fs::path& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool writeFile(const fs::path& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return bool(out.flush());
}

}  // namespace

bool Controller::loadState(const fs::path& dir, std::string& error) {
    drives_.setRoot(dir / "drives");
    std::string text;
    if (readFile(dir / kCapsFile, text)) {
        const std::vector<int> caps = readNumbers(text);
        if (caps.size() >= kMinCaps && caps.size() <= kMaxCaps) caps_ = caps;
    }
    if (readFile(dir / kFirmwareFile, text)) {
        const std::vector<int> version = readNumbers(text);
        if (version.size() == 1) firmware_ = version.front();
    }
    if (readFile(dir / kDriveSizesFile, text)) {
        const std::vector<int> sizes = readNumbers(text);
        if (sizes.size() == driveSizesKb_.size())
            std::copy(sizes.begin(), sizes.end(), driveSizesKb_.begin());
    }
    if (readFile(dir / kEepromFile, text) && !text.empty()) {
        const size_t size = eeprom_.size();
        eeprom_.assign(text.begin(), text.end());
        eeprom_.resize(size, 0xff);
    }
    bootTouched_ = readFile(dir / kBootFile, text) && text == kBootErased;
    if (!memory_.loadFlash(dir / kFlashFile, error)) return false;
    // Switching on is a restart.
    dead_ = !bootAreaStarts();
    return true;
}

bool Controller::saveState(const fs::path& dir, std::string& error) const {
    std::error_code failure;
    for (const char* drive : {"A", "B", "C"})
        fs::create_directories(dir / "drives" / drive, failure);
    if (failure) {
        error = "cannot create " + (dir / "drives").string() + ": " + failure.message();
        return false;
    }
    std::string caps;
    for (int value : caps_) caps += std::to_string(value) + "\n";
    std::string sizes;
    for (int size : driveSizesKb_) sizes += std::to_string(size) + "\n";
    if (!writeFile(dir / kCapsFile, caps) || !writeFile(dir / kDriveSizesFile, sizes) ||
        !writeFile(dir / kFirmwareFile, std::to_string(firmware_) + "\n") ||
        !writeFile(dir / kEepromFile, std::string(eeprom_.begin(), eeprom_.end()))) {
        error = "cannot write the state into " + dir.string();
        return false;
    }
    std::error_code ignored;  // a boot file that is not there is not removed
    if (!bootTouched_) fs::remove(dir / kBootFile, ignored);
    if (bootTouched_ && !writeFile(dir / kBootFile, kBootErased)) {
        error = "cannot write the state into " + dir.string();
        return false;
    }
    return memory_.saveFlash(dir / kFlashFile, error);
}

}  // namespace tarmix::sim
