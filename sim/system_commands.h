// The simulated controller's drives A:, B: and C: as ordinary host folders, and the rules
// by which a device path names something inside them.
//
// A device path is a drive letter, a colon, then folder and file names each separated by
// "\" (a trailing "\" is allowed): A:\LOG\DAY1.TXT, in one pair of double quotes where the
// command wants them. Nothing a path names ever lies outside its drive's folder: names "." and
// "..", empty names, names with "/" or ":" and names with control characters are refused.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarmix::sim {

// The one argument naming a drive as the program writes it: a lower-case "a" to "c", followed
// by a colon when `colon` is set. The drive's index 0..2, or -1.
int DriveLetterIndex(const std::vector<std::string>& args, bool colon);

class DriveFolders {
  public:
    DriveFolders() = default;
    ~DriveFolders();
    DriveFolders(const DriveFolders&) = delete;
    DriveFolders& operator=(const DriveFolders&) = delete;

    // The drives live in root/A, root/B and root/C from now on. Without a root the first
    // use makes a temporary one, removed with this object.
    void setRoot(const std::filesystem::path& root);

    // The host folder of drive 0..2 (A: to C:), created when missing. Empty when it cannot
    // be created.
    std::filesystem::path drive(int index);

    // A device path taken apart: its drive (0..2) and its names below the drive's root.
    // Device names are ISO 8859-1; host names are their UTF-8 form.
    struct DevicePath {
        int drive = 0;
        std::filesystem::path relative;  // empty for the drive's root
        std::string folderText;          // as the device writes it: "A:\DATA\"
    };
    enum class Quotes { kRequired, kOptional };
    // nullopt when the text is no device path, lacks required quotes, or names something
    // outside its drive.
    static std::optional<DevicePath> parse(std::string_view text, Quotes quotes);

    // A damaged drive answers every file system command with an error until it is
    // formatted. The mark is a file beside the drive's folder (root/A-damaged), so a state
    // directory can be prepared with a damaged drive.
    bool damaged(int index);
    void setDamaged(int index, bool on);

  private:
    static constexpr char kDamageMark[] = "-damaged";
    std::filesystem::path root();
    void removeTemporary();

    std::filesystem::path root_;
    bool temporary_ = false;
};

}  // namespace tarmix::sim
