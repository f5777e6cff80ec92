// Only regular files are read as input: a pipe or a device is refused at once, saying
// what it is, instead of blocking or reading for ever.
#include "platform/input_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "lang/catalog.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

TEST(InputFile, OnlyRegularFilesOpenAndTheRestSayWhatTheyAre) {
    setLanguageIndex(kEnglishLanguage);
    const fs::path folder =
        fs::temp_directory_path() / ("tarmix_input_" + std::to_string(getpid()));
    fs::create_directories(folder);
    ASSERT_EQ(mkfifo((folder / "fifo.rom").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder / "zero.rom");
    std::ofstream(folder / "app.rom") << "S0";
    fs::create_symlink(folder / "app.rom", folder / "link.rom");
    const std::pair<const char*, const char*> cases[] = {
        {"fifo.rom", "This is a named pipe (FIFO), not a regular file"},
        {"zero.rom", "This is a device, not a regular file"},
        {".", "This is a folder, not a file"},
        {"missing.rom", "File not found"},
        {"app.rom", ""},
        {"link.rom", ""},  // a link is followed to the file it names
    };
    for (const auto& [name, problem] : cases) {
        SCOPED_TRACE(name);
        InputFile file;
        EXPECT_EQ(file.open((folder / name).string()), *problem == '\0');
        EXPECT_EQ(file.problem(), problem);
        EXPECT_EQ(file.get() != nullptr, *problem == '\0');
    }
    InputFile file;
    ASSERT_TRUE(file.open((folder / "app.rom").string()));
    EXPECT_EQ(file.size(), 2u);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace tarmix
