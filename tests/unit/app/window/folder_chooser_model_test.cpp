// What the folder chooser decides: its roots, the walk to a start path, the new folder's
// place and creation, and the shortened path field.
#include "app/window/folder_chooser_model.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace tarmix {
namespace {

namespace fs = std::filesystem;

TEST(FolderChooserModel, RootsAreTheSystemTheHomeAndTheMountedVolumes) {
    const char mounts[] =
        "/dev/sda1 / ext4 rw 0 0\n"
        "/dev/sdb1 /media/op/USB\\040STICK vfat rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "/dev/sdc1 /mnt/backup ext4 rw 0 0\n"
        "tmpfs /media tmpfs rw 0 0\n"
        "/dev/sdb1 /media/op/USB\\040STICK vfat rw 0 0\n";
    const std::vector<FolderRoot> roots = FolderChooserRoots("/home/op/", mounts);
    std::vector<std::string> paths;
    for (const FolderRoot& root : roots) paths.push_back(root.path);
    EXPECT_EQ(paths,
              (std::vector<std::string>{"/", "/home/op", "/media/op/USB STICK", "/mnt/backup"}));
    EXPECT_EQ(roots[1].kind, FolderRootKind::Home);
    EXPECT_EQ(roots[2].kind, FolderRootKind::Volume);
    EXPECT_EQ(FolderChooserRoots("", "").size(), 1u);
    EXPECT_EQ(FolderChooserRoots("/", "").size(), 1u);
}

TEST(FolderChooserModel, AStartPathIsWalkedFromTheDeepestRoot) {
    const std::vector<FolderRoot> roots = {{"/", FolderRootKind::System},
                                           {"/home/op", FolderRootKind::Home}};
    struct Case {
        std::string start;
        std::optional<size_t> root;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"/home/op/work/out/", 1, {"work", "out"}},
        {"/home/op", 1, {}},
        {"/home/operator", 0, {"home", "operator"}},
        {"/", 0, {}},
        {"", std::nullopt, {}},
        {"relative/path", std::nullopt, {}},
    };
    for (const Case& c : cases) {
        const std::optional<FolderWalk> walk = WalkTo(c.start, roots);
        ASSERT_EQ(walk.has_value(), c.root.has_value()) << c.start;
        if (!walk) continue;
        EXPECT_EQ(walk->root, *c.root) << c.start;
        EXPECT_EQ(walk->names, c.names) << c.start;
    }
}

TEST(FolderChooserModel, NewFolderNamesItsPlaceAndRefusesNamesThatLeaveIt) {
    EXPECT_EQ(NewFolderPlace("/home/op/work"), "/work");
    EXPECT_EQ(NewFolderPlace("/"), "/");
    EXPECT_EQ(JoinFolderPath("/", "tmp"), "/tmp");
    EXPECT_EQ(JoinFolderPath("/home/op", "x"), "/home/op/x");

    const fs::path base =
        fs::temp_directory_path() / ("tarmix_chooser_" + std::to_string(getpid()));
    fs::create_directories(base);
    std::string attempted;
    const auto created = CreateChosenFolder(base.string(), "New folder", attempted);
    ASSERT_TRUE(created);
    EXPECT_TRUE(fs::is_directory(base / "New folder"));
    EXPECT_EQ(SubFolderNames(base.string()), (std::vector<std::string>{"New folder"}));
    for (const char* refused : {"", ".", "..", "a/b", "../up", "tab\there", "New folder"}) {
        EXPECT_FALSE(CreateChosenFolder(base.string(), refused, attempted)) << refused;
        EXPECT_EQ(attempted, JoinFolderPath(base.string(), refused));
    }
    EXPECT_EQ(SubFolderNames(base.string()).size(), 1u);
    fs::remove_all(base);
}

TEST(FolderChooserModel, ThePathFieldKeepsTheStartAndAsMuchOfTheEndAsFits) {
    const auto within = [](size_t width) {
        return [width](const std::string& text) { return text.size() <= width; };
    };
    EXPECT_EQ(ShortenPathToFit("/home/op", within(20)), "/home/op");
    EXPECT_EQ(ShortenPathToFit("/home/op/projects/tarmix", within(16)), "/ho.....s/tarmix");
    EXPECT_EQ(ShortenPathToFit("/home/op/projects", within(2)), "/ho.....");
    // Whole characters only: the "ü" goes as one.
    EXPECT_EQ(ShortenPathToFit("/home/x\xC3\xBC"
                               "ber",
                               within(11)),
              "/ho.....ber");
}

}  // namespace
}  // namespace tarmix
