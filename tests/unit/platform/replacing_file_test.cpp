// Files the program writes, and the stable names of serial devices.
#include "platform/replacing_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "lang/catalog.h"
#include "platform/serial_device_info.h"
#include "support/special_files.h"

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

// Devices, pipes, sockets and folders are never written, named directly or through a
// link: the reason names the path and its kind.
TEST(ReplacingFile, AnythingButARegularFileIsRefusedAndLeftAsItWas) {
    const int language = languageIndex();
    setLanguageIndex(kEnglishLanguage);
    Folder folder;
    for (const testing::SpecialFile& special : testing::MakeSpecialFiles(folder.path)) {
        const fs::path link = folder.path / ("link-to-" + special.path.filename().string());
        fs::create_symlink(special.path, link);
        for (const fs::path& name : {special.path, link}) {
            SCOPED_TRACE(name);
            const testing::NodeSnapshot before(special.path);
            const size_t entries = folder.entries();
            ReplacingFile file;
            std::string error;
            const bool opened = file.Open(name, error);
            if (opened) file.Write("x"), file.Commit(error);
            EXPECT_FALSE(opened);
            EXPECT_EQ(error, special.path.string() + ": not a regular file (" + special.kind +
                                 "); it is left as it is");
            EXPECT_TRUE(testing::NodeSnapshot(special.path) == before);
            EXPECT_EQ(folder.entries(), entries);
        }
    }
    setLanguageIndex(language);
}

// Renaming a new file over the old one would cut its links, give it another owner or need
// a folder the user may not write: there the file itself takes the new contents.
TEST(ReplacingFile, FilesThatMustKeepTheirIdentityAreWrittenInPlace) {
    struct Case {
        const char* name;
        std::function<fs::path(const fs::path& file)> arrange;  // gives the name to write
    };
    const Case cases[] = {
        {"reached through a symlink",
         [](const fs::path& file) {
             fs::create_symlink(file.filename(), file.parent_path() / "link");
             return file.parent_path() / "link";
         }},
        {"with a second hard link",
         [](const fs::path& file) {
             fs::create_hard_link(file, file.parent_path() / "other");
             return file;
         }},
        {"owned by another user",
         [](const fs::path& file) {
             if (::geteuid() != 0) return fs::path();  // only root may give files away
             EXPECT_EQ(::chown(file.c_str(), 4242, 4242), 0);
             return file;
         }},
        {"in a folder the user may not write",
         [](const fs::path& file) {
             fs::permissions(file.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
             return file;
         }},
    };
    Folder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path place = folder.path / c.name;
        fs::create_directories(place);
        std::ofstream(place / "file", std::ios::binary) << "old contents";
        const fs::path name = c.arrange(place / "file");
        if (name.empty()) continue;
        const testing::NodeSnapshot before(place / "file");
        const size_t entries = std::distance(fs::directory_iterator(place), {});

        ReplacingFile file;
        std::string error;
        ASSERT_TRUE(file.Open(name, error)) << error;
        file.Write("new");
        ASSERT_TRUE(file.Commit(error)) << error;
        const testing::NodeSnapshot after(place / "file");
        fs::permissions(place, fs::perms::owner_all);
        EXPECT_EQ(folder.read(place / "file"), "new");
        EXPECT_EQ(after.status.st_ino, before.status.st_ino);
        EXPECT_EQ(after.status.st_uid, before.status.st_uid);
        EXPECT_EQ(after.status.st_nlink, before.status.st_nlink);
        EXPECT_EQ(std::distance(fs::directory_iterator(place), {}), entries);
    }
    EXPECT_TRUE(fs::is_symlink(folder.path / "reached through a symlink" / "link"));
    EXPECT_EQ(folder.read(folder.path / "with a second hard link" / "other"), "new");
}

// A child process writes 200 KiB over `name` with its files limited to 64 KiB, from before
// the write or only from Commit on; returns Commit's reason ("" on success).
std::string ReplaceUnderSizeLimit(const fs::path& name, bool limitBeforeWrite) {
    int report[2];
    if (::pipe(report) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails with EFBIG
        const rlimit limit{64 * 1024, 64 * 1024};
        ReplacingFile file;
        std::string error;
        if (file.Open(name, error)) {
            if (limitBeforeWrite) ::setrlimit(RLIMIT_FSIZE, &limit);
            file.Write(std::string(200 * 1024, 'n'));
            ::setrlimit(RLIMIT_FSIZE, &limit);
            if (file.Commit(error)) error.clear();
        }
        (void)!::write(report[1], error.data(), error.size());
        ::_exit(0);
    }
    ::close(report[1]);
    std::string reason;
    char buffer[512];
    for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;)
        reason.append(buffer, size_t(got));
    ::close(report[0]);
    ::waitpid(child, nullptr, 0);
    return reason;
}

// A file that cannot take its new contents, while they are written aside or halfway
// through the copy into it, keeps its old contents, and the reason names it.
TEST(ReplacingFile, AReplacementThatFailsLeavesTheOldContents) {
    struct Case {
        const char* name;
        bool limitBeforeWrite;
        bool lockFolder;
        bool hardLink;
    };
    const Case cases[] = {
        {"new contents cut short aside", true, false, false},
        {"copy into a file in a locked folder cut short", false, true, false},
        {"copy into a hard-linked file cut short", false, false, true},
    };
    Folder folder;
    const std::string old(3000, 'o');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path place = folder.path / c.name;
        const fs::path target = place / ("data-" + std::to_string(::getpid()));
        fs::create_directories(place);
        std::ofstream(target, std::ios::binary) << old;
        if (c.hardLink) fs::create_hard_link(target, place / "other");
        if (c.lockFolder) fs::permissions(place, fs::perms::owner_read | fs::perms::owner_exec);
        const testing::NodeSnapshot before(target);
        const size_t entries = std::distance(fs::directory_iterator(place), {});

        const std::string reason = ReplaceUnderSizeLimit(target, c.limitBeforeWrite);
        fs::permissions(place, fs::perms::owner_all);
        EXPECT_EQ(reason, target.string() + ": " + std::strerror(EFBIG));
        EXPECT_EQ(folder.read(target), old);
        EXPECT_TRUE(testing::NodeSnapshot(target) == before);
        EXPECT_EQ(std::distance(fs::directory_iterator(place), {}), entries);
        for (const auto& left : fs::directory_iterator(fs::temp_directory_path()))
            EXPECT_EQ(left.path().filename().string().find(target.filename().string()),
                      std::string::npos)
                << left.path();
    }
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
