// Files the program writes, and the stable names of serial devices.
#include "platform/replacing_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/serial_device_info.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

struct Folder {
    Folder() : path(fs::temp_directory_path() / ("tarmix_platform_" + std::to_string(getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() {
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(path);
    }
    std::string read(const fs::path& file) const {
        std::ifstream in(path / file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void write(const fs::path& file, const std::string& text) const {
        std::ofstream(path / file, std::ios::binary) << text;
    }
    size_t entries() const {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(path)) ++count;
        return count;
    }
    fs::path path;
};

TEST(ReplacingFile, TheTargetChangesOnlyWhenTheWriteIsComplete) {
    Folder folder;
    folder.write("log", "old");
    {
        ReplacingFile file;
        std::string error;
        ASSERT_TRUE(file.Open(folder.path / "log", error)) << error;
        file.Write("new");
        EXPECT_EQ(folder.read("log"), "old");
        EXPECT_EQ(folder.entries(), 2u);  // the old file and the one being written
    }                                     // never committed
    EXPECT_EQ(folder.read("log"), "old");
    EXPECT_EQ(folder.entries(), 1u);

    ReplacingFile file;
    std::string error;
    ASSERT_TRUE(file.Open(folder.path / "log", error)) << error;
    file.Write("new");
    ASSERT_TRUE(file.Commit(error)) << error;
    EXPECT_EQ(folder.read("log"), "new");
    EXPECT_EQ(folder.entries(), 1u);
}

TEST(ReplacingFile, LinksAreFollowedAndReadOnlyFilesKept) {
    Folder folder;
    folder.write("real", "old");
    fs::create_symlink("real", folder.path / "link");
    ReplacingFile viaLink;
    std::string error;
    ASSERT_TRUE(viaLink.Open(folder.path / "link", error)) << error;
    viaLink.Write("new");
    ASSERT_TRUE(viaLink.Commit(error)) << error;
    EXPECT_TRUE(fs::is_symlink(folder.path / "link"));
    EXPECT_EQ(folder.read("real"), "new");

    fs::permissions(folder.path / "real", fs::perms::owner_read);
    ReplacingFile readOnly;
    EXPECT_FALSE(readOnly.Open(folder.path / "real", error));
    EXPECT_EQ(folder.read("real"), "new");
}

TEST(ReplacingFile, AWritableFileInAFolderThatIsNotIsReplacedOnlyOnCommit) {
    Folder folder;
    folder.write("log", "old");
    fs::permissions(folder.path, fs::perms::owner_read | fs::perms::owner_exec);
    std::string error;
    {
        ReplacingFile failed;
        ASSERT_TRUE(failed.Open(folder.path / "log", error)) << error;
        failed.Write("half");
    }
    EXPECT_EQ(folder.read("log"), "old");
    ReplacingFile file;
    ASSERT_TRUE(file.Open(folder.path / "log", error)) << error;
    file.Write("new");
    ASSERT_TRUE(file.Commit(error)) << error;
    EXPECT_EQ(folder.read("log"), "new");
}

TEST(StableSerialName, TheLinkToTheDeviceInTheStableFolder) {
    Folder folder;
    folder.write("ttyUSB0", "");
    folder.write("ttyUSB1", "");
    fs::create_directories(folder.path / "by-id");
    fs::create_symlink("../ttyUSB0", folder.path / "by-id" / "usb-Maker_Adapter_42-if00-port0");
    const std::string device = (folder.path / "ttyUSB0").string();
    fs::create_symlink("../ttyUSB0", folder.path / "by-id" / "usb-Maker_Adapter_42-if00-port1");
    EXPECT_EQ(StableSerialName(device, folder.path / "by-id"),
              (folder.path / "by-id" / "usb-Maker_Adapter_42-if00-port0").string());
    EXPECT_EQ(StableSerialName(folder.path / "ttyUSB1", folder.path / "by-id"), "");
    EXPECT_EQ(StableSerialName(device, folder.path / "missing"), "");
}

}  // namespace
}  // namespace tarmix
