// The whole-controller backup and its restore, as real tarmix processes against tarmix-sim
// on pseudo-terminals: a populated controller is backed up with /s, a factory-fresh one of
// the same model is restored from the backup's Reload.rom with /p, and the two devices'
// state folders are compared. A controller that goes silent in the middle of each part of
// the backup leaves no restore script and nothing incomplete under a final name.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "app/cli/simulator_launcher.h"
#include "sim/image_maker.h"
#include "tests/support/file_contents.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

using testing::readFile;

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string quoted(const std::string& word) {
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

// Every folder and file below `root` (relative path, and the contents of a file), leaving
// out the entries directly in it: the drives' own folders exist on any device.
std::map<std::string, std::string> treeBelow(const fs::path& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) return tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path relative = fs::relative(entry.path(), root);
        if (std::distance(relative.begin(), relative.end()) < 2) continue;
        tree[relative.generic_string()] =
            entry.is_directory() ? std::string("<folder>") : readFile(entry.path());
    }
    return tree;
}

// The bytes the program sent, by offset, from a wire trace ("  1.234 PC> tell appl\r").
std::string sentBytes(const std::string& trace) {
    std::string sent;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(" PC> ");
        if (at == std::string::npos) continue;
        for (size_t i = at + 5; i < line.size(); ++i) {
            if (line[i] != '\\') {
                sent += line[i];
            } else if (line[i + 1] == 'x') {
                sent += char(std::stoi(line.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                const char c = line[++i];
                sent += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
            }
        }
    }
    return sent;
}

struct Device {
    const char* model;
    const char* drives;  // drives.txt: the sizes of A:, B:, C: in kB
    uint32_t imageStart;
    uint32_t eepromStart;  // where the saved EEPROM area begins
    bool driveB;
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
            ("env XDG_CONFIG_HOME=" + quoted((folder / "config").string()) + " " +
             quoted(TARMIX_PATH) + " " + words + " >" + quoted((folder / "out").string()) + " 2>&1")
                .c_str());
        err = readFile(folder / "out");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // A factory-fresh device of the model with the monitor version that saves its EEPROM.
    fs::path freshDevice(const std::string& name) {
        const fs::path state = folder / name;
        writeFile(state / "firmware.txt", "40\n");
        return state;
    }

    // An application in flash (unless `application` is false), files in nested folders on
    // the drives, EEPROM contents in use.
    fs::path populatedDevice(bool application = true) {
        const fs::path state = freshDevice("populated");
        writeFile(state / "drives.txt", GetParam().drives);
        writeFile(state / "drives" / "A" / "START.BAT", "app\r\n");
        writeFile(state / "drives" / "A" / "LOG" / "2026" / "DAY1.TXT", std::string(3000, 'x'));
        writeFile(state / "drives" / "A" / "LOG" / "2026" / "DAY2.TXT", "");
        fs::create_directories(state / "drives" / "A" / "EMPTY");
        writeFile(state / "drives" / "C" / "WEB" / "INDEX.HTM", "<html>\xe4</html>");
        std::string binary(20000, '\0');
        for (size_t i = 0; i < binary.size(); ++i) binary[i] = char(i * 13);
        writeFile(state / "drives" / "C" / "DATA.BIN", binary);
        if (GetParam().driveB) writeFile(state / "drives" / "B" / "PARAM.CFG", "b drive");
        const fs::path image = folder / "app.rom";
        std::string error;
        EXPECT_EQ(sim::MakeRomImage(image.string(), GetParam().imageStart, 50000, {}, error), 0)
            << error;
        if (application) {
            EXPECT_EQ(tarmix(state, "--yes /p " + quoted(image.string()) + " COM1 115200"), 0)
                << err;
        }
        // Value 2 (the EEPROM data length) 0x400, value 3 (its end) 0x2000.
        writeFile(state / "caps.txt", "1\n1024\n8192\n0\n3\n");
        std::string eeprom(8192, '\0');
        for (size_t i = 0; i < eeprom.size(); ++i) eeprom[i] = char(i * 7 + (i >> 8));
        writeFile(state / "eeprom.bin", eeprom);
        return state;
    }

    // The backup of `device` into `backup` through a simulator started with `simulatorWords`;
    // tarmix's exit code. Its standard output is kept in `out`.
    // With `hangUpAfter`, tarmix gets SIGHUP once its error stream holds that text.
    int backUp(const fs::path& device, const fs::path& backup,
               const std::vector<std::string>& simulatorWords, const std::string& extraWords = "",
               const std::string& hangUpAfter = "") {
        SimulatorLauncher simulator;
        simulator.setExecutable(TARMIX_SIM_PATH);
        std::vector<std::string> arguments{"--state", device.string()};
        arguments.insert(arguments.end(), simulatorWords.begin(), simulatorWords.end());
        std::string error;
        if (!simulator.start(GetParam().model, arguments, error)) {
            ADD_FAILURE() << error;
            return -1;
        }
        const std::string errFile = quoted((folder / "err").string());
        std::string command =
            "env -u TARMIX_COM1 XDG_CONFIG_HOME=" + quoted((folder / "config").string()) +
            " TARMIX_LPT1=" + quoted((folder / "no-lpt").string()) + " timeout 120 " +
            quoted(TARMIX_PATH) + " --headless --port " + quoted(simulator.devicePath()) + " " +
            extraWords + " /s " + quoted(backup.string()) + " COM1 115200 >" +
            quoted((folder / "out").string()) + " 2>" + errFile;
        // timeout hands the signal on to tarmix; the wait for the text is bounded.
        if (!hangUpAfter.empty())
            command = command + " & p=$!; i=0; until grep -qF " + quoted(hangUpAfter) + " " +
                      errFile + " || [ $i -ge 2400 ]; do sleep 0.05; i=$((i+1)); done; " +
                      "kill -HUP $p; wait $p";
        const int status = std::system(command.c_str());
        out = readFile(folder / "out");
        err = readFile(folder / "err");
        simulator.stop();
        return WIFEXITED(status) && WEXITSTATUS(status) != 124 ? WEXITSTATUS(status) : -1;
    }

    // Backs up `device` into `backup` over a line paced at 57600 baud and kills tarmix
    // (SIGKILL) once it has begun to copy the drives: half-way through the backup.
    void killedHalfWay(const fs::path& device, const fs::path& backup) {
        SimulatorLauncher simulator;
        simulator.setExecutable(TARMIX_SIM_PATH);
        std::string error;
        ASSERT_TRUE(
            simulator.start(GetParam().model, {"--state", device.string(), "--pace"}, error))
            << error;
        const std::string command =
            "exec env -u TARMIX_COM1 XDG_CONFIG_HOME=" + quoted((folder / "config").string()) +
            " TARMIX_LPT1=" + quoted((folder / "no-lpt").string()) + " " + quoted(TARMIX_PATH) +
            " --headless --port " + quoted(simulator.devicePath()) + " --yes /s " +
            quoted(backup.string()) + " COM1 57600 >/dev/null 2>&1";
        const pid_t child = fork();
        if (child == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            _exit(127);
        }
        ASSERT_GT(child, 0);
        bool ended = false;
        for (int poll = 0; poll < 1200 && !fs::exists(backup / ".tarmix-new" / "Drive_A"); ++poll) {
            usleep(100000);
            if ((ended = waitpid(child, nullptr, WNOHANG) == child)) break;
        }
        EXPECT_FALSE(ended) << "tarmix ended before it copied the drives";
        if (!ended) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        simulator.stop();
    }

    fs::path folder = fs::temp_directory_path() / ("tarmix_pty_backup_" + std::to_string(getpid()));
    std::string out, err;
};

// The round trip also runs on a staged model, whose application is read from the flash but
// downloaded through RAM.
class PtyRestoreTest : public PtyBackupTest {};

TEST_P(PtyRestoreTest, RestoreIntoAFreshControllerBringsEverythingBack) {
    const fs::path populated = populatedDevice();
    const fs::path backup = folder / "backup";
    ASSERT_EQ(tarmix(populated, "/s " + quoted(backup.string()) + " COM1 115200"), 0) << err;
    ASSERT_TRUE(fs::exists(backup / "Reload.rom"));
    // The EEPROM area saved, in the summary line and in the manifest.
    const uint32_t eepromStart = GetParam().eepromStart;
    char area[80];
    std::snprintf(area, sizeof area, "EEPROM saved: 0x%08X to 0x00002000, %u bytes", eepromStart,
                  0x2000 - eepromStart);
    EXPECT_NE(err.find(area), std::string::npos) << err;
    EXPECT_EQ(nlohmann::json::parse(readFile(backup / "manifest.json"))["eeprom"],
              (nlohmann::json{
                  {"start", eepromStart}, {"end", 0x2000}, {"length", 0x2000 - eepromStart}}));
    EXPECT_EQ(tarmixAlone("--verify-backup " + quoted(backup.string())), 0) << err;
    EXPECT_EQ(tarmixAlone("--dry-run " + quoted((backup / "Reload.rom").string())), 0) << err;

    const fs::path fresh = freshDevice("fresh");
    // Files the restore's format must take away.
    writeFile(fresh / "drives" / "A" / "STRAY.TXT", "old");
    writeFile(fresh / "drives" / "C" / "WEB" / "OLD.HTM", "old");
    ASSERT_EQ(
        tarmix(fresh, "--yes /p " + quoted((backup / "Reload.rom").string()) + " COM1 115200"), 0)
        << err;

    for (const char* file : {"memory.srec", "drives.txt"})
        EXPECT_EQ(readFile(fresh / file), readFile(populated / file)) << file;
    EXPECT_EQ(treeBelow(fresh / "drives"), treeBelow(populated / "drives"));
    EXPECT_EQ(treeBelow(fresh / "drives").size(), treeBelow(populated / "drives").size());
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
    EXPECT_NE(err.find("Folder already exists!"), std::string::npos) << err;
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
    // Its restore is refused before a byte reaches the fresh controller.
    const fs::path fresh = freshDevice("fresh");
    writeFile(fresh / "drives" / "A" / "STRAY.TXT", "old");
    EXPECT_EQ(tarmix(fresh, "--yes /p " + quoted((backup / "Reload.rom").string()) + " COM1 57600"),
              7);
    EXPECT_NE(err.find("changed: EEPROM/Eeprom.bin"), std::string::npos) << err;
    EXPECT_EQ(readFile(fresh / "drives" / "A" / "STRAY.TXT"), "old");
    // No record of the application's first address reached the fresh flash.
    const std::string image = readFile(backup / "Flash" / "Application.rom");
    const std::string firstRecord = image.substr(image.find("\nS3") + 1, 12);
    EXPECT_EQ(readFile(fresh / "memory.srec").find(firstRecord), std::string::npos);

    fs::remove(backup / "Flash" / "Application.rom");
    writeFile(backup / "Flash" / "other.rom", "x");
    EXPECT_EQ(tarmixAlone("--verify-backup " + quoted(backup.string())), 10);
    EXPECT_NE(err.find("missing: Flash/Application.rom"), std::string::npos) << err;
    EXPECT_NE(err.find("not in the manifest: Flash/other.rom"), std::string::npos) << err;
    // The restore script's dry run names the missing image.
    EXPECT_EQ(tarmixAlone("--dry-run " + quoted((backup / "Reload.rom").string())), 10);
    EXPECT_NE(err.find("missing: Flash/Application.rom"), std::string::npos) << err;
}

// The line goes away in the middle of each part of the backup: the application area, the
// application, the drives, the EEPROM. Each run fails with code 8 and leaves no restore
// script or manifest; whatever it left under a final name is complete (the same as a good
// backup's), and the operator's own file in the folder is untouched.
TEST_P(PtyBackupTest, AControllerThatGoesAwayInEachPartLeavesNoHalfBackup) {
    const fs::path populated = populatedDevice();
    const fs::path good = folder / "good";
    const fs::path trace = folder / "trace.txt";
    ASSERT_EQ(backUp(populated, good, {}, "--trace " + quoted(trace.string())), 0) << err;
    const std::string sent = sentBytes(readFile(trace));
    const auto goodFiles = treeBelow(good);

    struct Part {
        const char* command;  // a command the part sends
        int occurrence;       // which of them (from 1): the line goes as it is being sent
        bool imageKept;       // the application was complete before
    };
    for (const Part& part : {Part{"tell appl", 1, false}, Part{"read ", 3, false},
                             Part{"file dump", 3, true}, Part{"geteepromdata", 1, true}}) {
        SCOPED_TRACE(part.command);
        size_t at = std::string::npos;
        for (int k = 0; k < part.occurrence; ++k) at = sent.find(part.command, at + 1);
        ASSERT_NE(at, std::string::npos);
        const fs::path backup = folder / "broken";
        fs::remove_all(backup);
        writeFile(backup / "notes.txt", "mine");
        EXPECT_EQ(
            backUp(populated, backup, {"--faults", "gone@" + std::to_string(at + 4)}, "--yes"), 8)
            << err;
        EXPECT_FALSE(fs::exists(backup / "Reload.rom"));
        EXPECT_FALSE(fs::exists(backup / "manifest.json"));
        EXPECT_EQ(readFile(backup / "notes.txt"), "mine");
        EXPECT_EQ(fs::exists(backup / "Flash" / "Application.rom"), part.imageKept);
        fs::remove(backup / "notes.txt");
        for (const auto& [path, contents] : treeBelow(backup)) {
            const auto found = goodFiles.find(path);
            if (found == goodFiles.end())
                ADD_FAILURE() << "left behind: " << path;
            else
                EXPECT_EQ(contents, found->second) << path;
        }
    }
}

// On a line paced like a real cable, the JSON events carry the figures of each part of the
// backup: the application, every drive file, the EEPROM area, each up to its whole size, at
// no more than the line's rate.
// SIGHUP (a dropped ssh session) during the drive copy: the file under way ends between two
// frames, no further file is asked for, no Reload.rom is written, and the code is 129.
TEST_P(PtyBackupTest, AHangupStopsTheBackupBetweenFramesAndWritesNoScript) {
    const fs::path populated = populatedDevice();
    const fs::path backup = folder / "backup";
    EXPECT_EQ(backUp(populated, backup, {"--pace"}, "", "DAY1.TXT"), 129) << err;
    EXPECT_NE(err.find("stopping once the device is between two steps"), std::string::npos);
    EXPECT_NE(err.find("The backup was stopped: Reload.rom was not written."), std::string::npos)
        << err;
    EXPECT_NE(err.find("exit code 129 (hung up (SIGHUP))"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(backup / "Reload.rom"));
    EXPECT_FALSE(fs::exists(backup / "manifest.json"));
    EXPECT_FALSE(fs::exists(backup / "Drive_C" / "DATA.BIN"));
}

TEST_P(PtyBackupTest, ProgressCarriesTheFiguresOfEveryPart) {
    const fs::path populated = populatedDevice();
    ASSERT_EQ(backUp(populated, folder / "backup", {"--pace"}, "--json"), 0) << err;
    const std::regex transfer(
        R"re(\{"event":"transfer","done":(\d+),"total":(\d+),"bytesPerSecond":([0-9.e+]+)(?:,"secondsLeft":[0-9.e+-]+)?\})re");
    std::map<uint64_t, uint64_t> doneOfTotal;
    std::map<uint64_t, double> lastRate;
    for (auto match = std::sregex_iterator(out.begin(), out.end(), transfer);
         match != std::sregex_iterator(); ++match) {
        const uint64_t total = std::stoull((*match)[2]);
        doneOfTotal[total] = std::max<uint64_t>(doneOfTotal[total], std::stoull((*match)[1]));
        lastRate[total] = std::stod((*match)[3]);
    }
    // 50000 application bytes, the saved EEPROM area, the drive files of 3000 and 20000 bytes.
    for (uint64_t total : {uint64_t(50000), uint64_t(0x2000 - GetParam().eepromStart),
                           uint64_t(3000), uint64_t(20000)})
        EXPECT_EQ(doneOfTotal[total], total) << total << "\n" << out;
    // The application's data bytes, never faster than the line. A busy machine only makes it
    // slower, so the lower bound only catches a figure in the wrong unit.
    const double line = 115200.0 / 10;
    EXPECT_LE(lastRate[50000], line * 1.02);
    EXPECT_GT(lastRate[50000], line / 100);
}

// A backup over an earlier one that is killed half-way leaves the earlier one whole and
// verifiable; the next backup completes, and files the device no longer has go with the
// earlier backup, while the user's own file beside it stays.
TEST_P(PtyBackupTest, AReplacementKilledHalfWayKeepsTheEarlierBackup) {
    const fs::path populated = populatedDevice();
    const fs::path backup = folder / "backup";
    ASSERT_EQ(backUp(populated, backup, {}), 0) << err;
    writeFile(backup / "notes.txt", "mine");
    killedHalfWay(populated, backup);
    EXPECT_EQ(tarmixAlone("--verify-backup " + quoted(backup.string())), 0) << err;

    fs::remove(populated / "drives" / "A" / "START.BAT");
    fs::remove_all(populated / "drives" / "A" / "LOG");
    ASSERT_EQ(backUp(populated, backup, {}, "--yes"), 0) << err;
    EXPECT_EQ(tarmixAlone("--verify-backup " + quoted(backup.string())), 0) << err;
    for (const char* gone : {"Drive_A/START.BAT", "Drive_A/LOG", ".tarmix-new", ".tarmix-old"})
        EXPECT_FALSE(fs::exists(backup / gone)) << gone;
    EXPECT_EQ(readFile(backup / "Reload.rom").find("START.BAT"), std::string::npos);
    EXPECT_EQ(readFile(backup / "notes.txt"), "mine");
}

// Names the PC cannot hold (a control character, a line break that would make a second
// listing row) are left out and named on stderr, in the JSON events and in skipped.txt;
// the rest is backed up and restores, and the run ends with its own code.
TEST_P(PtyBackupTest, OddNamesAreNamedAndEndTheBackupWithItsOwnCode) {
    const fs::path populated = populatedDevice();
    writeFile(populated / "drives" / "A" / "BAD\x07.TXT", "odd");
    writeFile(populated / "drives" / "A" / "LOG" / "AB\r\nX.TXT", "two rows");
    const fs::path backup = folder / "backup";
    const fs::path trace = folder / "trace.txt";
    ASSERT_EQ(backUp(populated, backup, {}, "--json --trace " + quoted(trace.string())), 14) << err;
    EXPECT_EQ(sentBytes(readFile(trace)).find("X.TXT\"\r"), std::string::npos);
    EXPECT_EQ(readFile(backup / "skipped.txt"),
              "A:\\BAD\\x07.TXT\tthe name cannot be used on the PC\r\n"
              "A:\\LOG\\AB\\r\\nX.TXT\tthe name cannot be used on the PC\r\n");
    EXPECT_NE(out.find(R"(A:\\LOG\\AB\\r\\nX.TXT)"), std::string::npos) << out;
    EXPECT_EQ(tarmixAlone("--verify-backup " + quoted(backup.string())), 0) << err;
    ASSERT_EQ(backUp(populated, folder / "plain", {}), 14) << err;
    EXPECT_NE(err.find(R"(A:\BAD\x07.TXT)"), std::string::npos) << err;

    fs::remove(populated / "drives" / "A" / "BAD\x07.TXT");
    fs::remove(populated / "drives" / "A" / "LOG" / "AB\r\nX.TXT");
    const fs::path fresh = freshDevice("fresh");
    ASSERT_EQ(
        tarmix(fresh, "--yes /p " + quoted((backup / "Reload.rom").string()) + " COM1 115200"), 0)
        << err;
    EXPECT_EQ(treeBelow(fresh / "drives"), treeBelow(populated / "drives"));
}

// A controller without an application is backed up, and its backup restores its drives and
// EEPROM into a fresh controller.
TEST_P(PtyBackupTest, AControllerWithoutAnApplicationIsBackedUpAndRestored) {
    const fs::path bare = populatedDevice(false);
    const fs::path backup = folder / "backup";
    ASSERT_EQ(tarmix(bare, "/s " + quoted(backup.string()) + " COM1 115200"), 0) << err;
    EXPECT_EQ(readFile(backup / "Reload.rom").find("program"), std::string::npos);
    EXPECT_NE(readFile(backup / "manifest.json").find("\"application\": false"), std::string::npos);

    const fs::path fresh = freshDevice("fresh");
    ASSERT_EQ(
        tarmix(fresh, "--yes /p " + quoted((backup / "Reload.rom").string()) + " COM1 115200"), 0)
        << err;
    EXPECT_EQ(readFile(fresh / "drives.txt"), readFile(bare / "drives.txt"));
    EXPECT_EQ(treeBelow(fresh / "drives"), treeBelow(bare / "drives"));
    EXPECT_EQ(readFile(fresh / "caps.txt").substr(0, 12), "1\n1024\n8192\n");
    const size_t start = GetParam().eepromStart;
    EXPECT_EQ(readFile(fresh / "eeprom.bin").substr(start),
              readFile(bare / "eeprom.bin").substr(start));
}

std::string DeviceName(const ::testing::TestParamInfo<Device>& info) {
    std::string name = info.param.model;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// With a drive B: the EEPROM area is its data length below its end.
const Device kAlder{"alder", "64\n16\n32\n", 0x110000, 0x2000 - 0x400, true};
const Device kSmallAlder{"small-alder", "64\n0\n32\n", 0x10000, 0x100, false};
INSTANTIATE_TEST_SUITE_P(Models, PtyBackupTest, ::testing::Values(kAlder, kSmallAlder), DeviceName);
INSTANTIATE_TEST_SUITE_P(Models, PtyRestoreTest,
                         ::testing::Values(kAlder, kSmallAlder,
                                           Device{"vantix", "64\n16\n32\n", 0x80000000, 0x200,
                                                  true}),
                         DeviceName);

}  // namespace
}  // namespace tarmix
