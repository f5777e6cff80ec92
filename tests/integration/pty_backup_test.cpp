// The whole-controller backup and its restore, as real tarmix processes against tarmix-sim
// on pseudo-terminals: a populated controller is backed up with /s, a factory-fresh one of
// the same model is restored from the backup's Reload.rom with /p, and the two devices'
// state folders are compared.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/image_maker.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string quoted(const std::string& word) {
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

struct Device {
    const char* model;
    const char* drives;  // drives.txt: the sizes of A:, B:, C: in kB
    uint32_t imageStart;
    uint32_t eepromStart;  // where the saved EEPROM area begins
};

class PtyBackupTest : public ::testing::TestWithParam<Device> {
  protected:
    void SetUp() override {
        fs::remove_all(folder);
        fs::create_directories(folder / "config" / "tarmix");
        std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini") << "[LANGUAGE]: 1\r\n";
    }
    void TearDown() override { fs::remove_all(folder); }

    // tarmix headless against a simulated controller keeping its state in `state`; the exit
    // code, or -1 when it did not end within two minutes.
    int tarmix(const fs::path& state, const std::string& words) {
        const std::string command =
            "env -u TARMIX_COM1 XDG_CONFIG_HOME=" + quoted((folder / "config").string()) +
            " TARMIX_LPT1=" + quoted((folder / "no-lpt").string()) + " timeout 120 " +
            quoted(TARMIX_PATH) + " --headless --simulate=" + quoted(GetParam().model) +
            " --sim-state " + quoted(state.string()) + " " + words + " 2>" +
            quoted((folder / "err").string());
        const int status = std::system(command.c_str());
        err = readFile(folder / "err");
        return WIFEXITED(status) && WEXITSTATUS(status) != 124 ? WEXITSTATUS(status) : -1;
    }
    int tarmixAlone(const std::string& words) {
        const int status = std::system(
            (quoted(TARMIX_PATH) + " " + words + " >" + quoted((folder / "out").string()) + " 2>&1")
                .c_str());
        err = readFile(folder / "out");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // A factory-fresh device of the model with the monitor version that saves its EEPROM.
    fs::path freshDevice(const std::string& name) {
        const fs::path state = folder / name;
        writeFile(state / "firmware.txt", "40\n");
        writeFile(state / "drives.txt", GetParam().drives);
        return state;
    }

    // An application in flash and EEPROM contents in use.
    fs::path populatedDevice() {
        const fs::path state = freshDevice("populated");
        const fs::path image = folder / "app.rom";
        std::string error;
        EXPECT_EQ(sim::MakeRomImage(image.string(), GetParam().imageStart, 50000, {}, error), 0)
            << error;
        EXPECT_EQ(tarmix(state, "--yes /p " + quoted(image.string()) + " COM1 115200"), 0) << err;
        // Value 2 (the EEPROM data length) 0x400, value 3 (its end) 0x2000.
        writeFile(state / "caps.txt", "1\n1024\n8192\n0\n3\n");
        std::string eeprom(8192, '\0');
        for (size_t i = 0; i < eeprom.size(); ++i) eeprom[i] = char(i * 7 + (i >> 8));
        writeFile(state / "eeprom.bin", eeprom);
        return state;
    }

    fs::path folder = fs::temp_directory_path() / ("tarmix_pty_backup_" + std::to_string(getpid()));
    std::string err;
};

TEST_P(PtyBackupTest, RestoreIntoAFreshControllerBringsEverythingBack) {
    const fs::path populated = populatedDevice();
    const fs::path backup = folder / "backup";
    ASSERT_EQ(tarmix(populated, "/s " + quoted(backup.string()) + " COM1 115200"), 0) << err;
    ASSERT_TRUE(fs::exists(backup / "Reload.rom"));
    EXPECT_EQ(tarmixAlone("--verify-backup " + quoted(backup.string())), 0) << err;
    EXPECT_EQ(tarmixAlone("--dry-run " + quoted((backup / "Reload.rom").string())), 0) << err;

    const fs::path fresh = freshDevice("fresh");
    ASSERT_EQ(
        tarmix(fresh, "--yes /p " + quoted((backup / "Reload.rom").string()) + " COM1 115200"), 0)
        << err;

    for (const char* file : {"memory.srec", "drives.txt"})
        EXPECT_EQ(readFile(fresh / file), readFile(populated / file)) << file;
    // The EEPROM data length and end address (values 2 and 3 of the capability record).
    EXPECT_EQ(readFile(fresh / "caps.txt").substr(0, 12), "1\n1024\n8192\n");
    const size_t start = GetParam().eepromStart;
    EXPECT_EQ(readFile(fresh / "eeprom.bin").substr(start),
              readFile(populated / "eeprom.bin").substr(start));
}

TEST_P(PtyBackupTest, AnExistingFolderAsksAndNoEndsWithCodeEight) {
    const fs::path populated = populatedDevice();
    const fs::path backup = folder / "backup";
    writeFile(backup / "Flash" / "keep.txt", "mine");
    EXPECT_EQ(tarmix(populated, "--no /s " + quoted(backup.string()) + " COM1 57600"), 8) << err;
    EXPECT_NE(err.find("Folder already exist!"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(backup / "Reload.rom"));
    EXPECT_FALSE(fs::exists(backup / "Flash" / "Application.rom"));
    EXPECT_EQ(readFile(backup / "Flash" / "keep.txt"), "mine");
}

// A manifest catches one changed byte, a missing file and a file that was added.
TEST_P(PtyBackupTest, VerificationFindsChangedMissingAndExtraFiles) {
    const fs::path populated = populatedDevice();
    const fs::path backup = folder / "backup";
    ASSERT_EQ(tarmix(populated, "/s " + quoted(backup.string()) + " COM1 57600"), 0) << err;
    std::string eeprom = readFile(backup / "EEPROM" / "Eeprom.bin");
    eeprom[100] ^= 1;
    writeFile(backup / "EEPROM" / "Eeprom.bin", eeprom);
    EXPECT_EQ(tarmixAlone("--verify-backup " + quoted(backup.string())), 10);
    EXPECT_NE(err.find("changed: EEPROM/Eeprom.bin"), std::string::npos) << err;

    fs::remove(backup / "Flash" / "Application.rom");
    writeFile(backup / "Flash" / "other.rom", "x");
    EXPECT_EQ(tarmixAlone("--verify-backup " + quoted(backup.string())), 10);
    EXPECT_NE(err.find("missing: Flash/Application.rom"), std::string::npos) << err;
    EXPECT_NE(err.find("not in the manifest: Flash/other.rom"), std::string::npos) << err;
    // The restore script's dry run names the missing image.
    EXPECT_EQ(tarmixAlone("--dry-run " + quoted((backup / "Reload.rom").string())), 10);
    EXPECT_NE(err.find("Application.rom (MISSING)"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Models, PtyBackupTest,
                         ::testing::Values(Device{"alder", "0\n0\n0\n", 0x110000, 0x100},
                                           Device{"small-alder", "0\n0\n0\n", 0x10000, 0x100}),
                         [](const auto& info) {
                             std::string name = info.param.model;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace tarmix
