// Batch scripts run unattended ("/p") by the real tarmix process against tarmix-sim, with
// the exit code that tells how the script ended.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/cli/simulator_launcher.h"
#include "sim/boot_library.h"
#include "sim/image_maker.h"
#include "sim/memory.h"
#include "tests/support/file_contents.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

// Compiled sources may name themselves relative to the build (ccache's base folder).
const fs::path kExamples = TARMIX_EXAMPLES_DIR;

using testing::readFile;

std::string quoted(const std::string& word) {
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

class CliBatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(folder);
        fs::create_directories(folder / "config" / "tarmix");
        std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini") << "[LANGUAGE]: 1\r\n";
    }
    void TearDown() override { fs::remove_all(folder); }

    // tarmix headless on a simulated alder controller that keeps its state in folder/device:
    // /p SCRIPT. The exit code, or -1 when it did not end within a minute.
    // `extra` may name the port ("--port PATH"): the simulator is then not started.
    int run(const fs::path& script, const char* answer = "--no", const std::string& extra = "") {
        const std::string device =
            extra.find("--port") == std::string::npos
                ? " --simulate --sim-state " + quoted((folder / "device").string())
                : std::string();
        const std::string command =
            "env -u TARMIX_COM1 XDG_CONFIG_HOME=" + quoted((folder / "config").string()) +
            " XDG_STATE_HOME=" + quoted((folder / "state").string()) +
            " TARMIX_LPT1=" + quoted((folder / "no-lpt").string()) + " timeout 60 " +
            quoted(TARMIX_PATH) + " --headless" + device + " " + answer + extra + " /p " +
            quoted(script.string()) + " COM1 57600 2>" + quoted((folder / "err").string());
        const int status = std::system(command.c_str());
        err = readFile(folder / "err");
        // A failed run leaves the wire trace of its last operation behind.
        const std::string marker = "wire trace of the last operation: ";
        if (const size_t at = err.find(marker); at != std::string::npos)
            fs::remove(err.substr(at + marker.size(), err.find('\n', at) - at - marker.size()));
        return WIFEXITED(status) && WEXITSTATUS(status) != 124 ? WEXITSTATUS(status) : -1;
    }

    // The alder boot images bringing version 77, in the folder "images".
    bool makeLibraryOfVersion77() const {
        const std::string make = quoted(TARMIX_SIM_PATH) +
                                 " make-library --model alder --version 77 -o " +
                                 quoted((folder / "images").string());
        return std::system(make.c_str()) == 0;
    }

    fs::path folder = fs::temp_directory_path() / ("tarmix_cli_batch_" + std::to_string(getpid()));
    std::string err;
};

TEST_F(CliBatchTest, ExampleSetupScriptRunsToItsEndWithCodeZero) {
    EXPECT_EQ(run(kExamples / "setup-alder.rom"), 0) << err;
    EXPECT_NE(err.find("The alder controller is set up."), std::string::npos) << err;
    EXPECT_TRUE(fs::is_directory(folder / "device" / "drives" / "A" / "LOG" / "2026"));
    EXPECT_NE(readFile(folder / "device" / "memory.srec").find("S3"), std::string::npos);
    EXPECT_EQ(readFile(folder / "device" / "caps.txt"), "1\n0\n8192\n1\n0\n");  // clock flag set
}

TEST_F(CliBatchTest, ScriptStoppedByTheOperatorsNoIsAFailure) {
    const fs::path script = folder / "ask.rom";
    std::ofstream(script, std::ios::binary) << "messageyesno Format A:?\r\nmkdir \"A:\\NEW\"\r\n";
    EXPECT_EQ(run(script, "--no"), 7) << err;
    EXPECT_NE(err.find("Question: Format A:?  -> No"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(folder / "device" / "drives" / "A" / "NEW"));

    EXPECT_EQ(run(script, "--yes"), 0) << err;
    EXPECT_TRUE(fs::is_directory(folder / "device" / "drives" / "A" / "NEW"));
}

// The version the boot loader in the saved flash of the simulated alder brings; 0 for none.
int savedBootLoaderVersion(const fs::path& device) {
    sim::Memory flash(*sim::findModel("alder"));
    std::string error;
    if (!flash.loadFlash(device / "memory.srec", error)) return 0;
    const auto marker = sim::ReadBootMarker(flash.read(0x100000, 0x200));
    return marker ? marker->version : 0;
}

TEST_F(CliBatchTest, UpdateFirmwareTakesItsImagesFromBesideTheScript) {
    ASSERT_TRUE(makeLibraryOfVersion77());
    const fs::path script = folder / "renew.rom";
    std::ofstream(script, std::ios::binary) << "update firmware images\r\n";
    EXPECT_EQ(run(script), 0) << err;
    EXPECT_EQ(savedBootLoaderVersion(folder / "device"), 77);

    // Without a folder the demo images that --simulate made for this run are used: version
    // 31 takes the controller back from 77, which the console does only with --yes.
    std::ofstream(script, std::ios::binary) << "update firmware\r\n";
    EXPECT_EQ(run(script), 7) << err;
    EXPECT_NE(err.find("version 31, is older than the controller's, version 77"), std::string::npos)
        << err;
    EXPECT_EQ(savedBootLoaderVersion(folder / "device"), 77);
    EXPECT_EQ(run(script, "--yes"), 0) << err;
    EXPECT_EQ(savedBootLoaderVersion(folder / "device"), 31);
}

TEST_F(CliBatchTest, UpdateFirmwareStopsBeforeTheEraseWhenARecordArrivesChanged) {
    // One bit flipped on the way in makes the monitor refuse a record of the boot loader.
    SimulatorLauncher simulator;
    simulator.setExecutable(TARMIX_SIM_PATH);
    std::string error;
    ASSERT_TRUE(simulator.start(
        "alder",
        {"--state", (folder / "device").string(), "--faults", "corrupt-in=0.00002", "--seed", "1"},
        error))
        << error;
    ASSERT_TRUE(makeLibraryOfVersion77());
    const fs::path script = folder / "renew.rom";
    std::ofstream(script, std::ios::binary) << "update firmware images\r\n";
    const fs::path trace = folder / "trace.txt";
    EXPECT_EQ(run(script, "--yes",
                  " --verify --trace " + quoted(trace.string()) + " --port " +
                      quoted(simulator.devicePath())),
              7)
        << err;
    simulator.stop();
    EXPECT_NE(err.find("differ from the lines sent"), std::string::npos) << err;
    ASSERT_NE(readFile(trace).find("S3"), std::string::npos);
    EXPECT_EQ(readFile(trace).find("flash erase"), std::string::npos);
    EXPECT_EQ(readFile(trace).find("flash program"), std::string::npos);
    // The boot area holds what the factory put there.
    sim::Memory flash(*sim::findModel("alder")), factory(*sim::findModel("alder"));
    ASSERT_TRUE(flash.loadFlash(folder / "device" / "memory.srec", error)) << error;
    EXPECT_EQ(flash.read(0x100000, 0x10000), factory.read(0x100000, 0x10000));
}

TEST_F(CliBatchTest, UpdateFirmwareForAnotherModelIsRefusedBeforeAnyErase) {
    const fs::path script = folder / "other.rom";
    std::ofstream(script, std::ios::binary) << "change hardware kestrel\r\nupdate firmware\r\n";
    const fs::path trace = folder / "trace.txt";
    EXPECT_EQ(run(script, "--no", " --trace " + quoted(trace.string())), 7) << err;
    EXPECT_NE(err.find("not the connected controller's"), std::string::npos) << err;
    ASSERT_NE(readFile(trace).find("please answer me"), std::string::npos);
    EXPECT_EQ(readFile(trace).find("flash erase"), std::string::npos);
    EXPECT_EQ(readFile(trace).find("fill"), std::string::npos);
}

// Inputs that are no regular files end the run at once, saying what they are, where they
// used to hang for good; so does a file that holds no command.
TEST_F(CliBatchTest, PipesDevicesAndFilesWithoutACommandEndAtOnceWithTheirReason) {
    ASSERT_EQ(mkfifo((folder / "fifo.rom").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder / "zero.rom");
    std::ofstream(folder / "readme.rom") << "How to set up the controller\r\n";
    const std::pair<const char*, const char*> cases[] = {
        {"fifo.rom", "This is a named pipe (FIFO), not a regular file"},
        {"zero.rom", "This is a device, not a regular file"},
        {"readme.rom", "No command or S-record found in the file"},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(run(folder / name), 7) << err;
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        const std::string dryRun = "env XDG_CONFIG_HOME=" + quoted((folder / "config").string()) +
                                   " " + quoted(TARMIX_PATH) + " --dry-run " +
                                   quoted((folder / name).string()) + " >" +
                                   quoted((folder / "err").string()) + " 2>&1";
        const int status = std::system(("timeout 60 " + dryRun).c_str());
        EXPECT_EQ(WEXITSTATUS(status), 10);
        EXPECT_NE(readFile(folder / "err").find(reason), std::string::npos);
    }
    // A pipe in place of the settings file: the defaults, and the run goes on.
    fs::remove(folder / "config" / "tarmix" / "Tarmix.ini");
    ASSERT_EQ(mkfifo((folder / "config" / "tarmix" / "Tarmix.ini").c_str(), 0600), 0);
    const fs::path script = folder / "ok.rom";
    std::ofstream(script, std::ios::binary) << "mkdir \"A:\\NEW\"\r\n";
    EXPECT_EQ(run(script), 0) << err;
}

// A script whose third line cannot work leaves the controller as it was, and a damaged
// image is refused before the controller is touched.
TEST_F(CliBatchTest, NothingOfAScriptOrImageThatCannotWorkReachesTheController) {
    const fs::path good = folder / "app.rom";
    std::string error;
    ASSERT_EQ(sim::MakeRomImage(good.string(), 0x110000, 4000, {}, error), 0) << error;
    const fs::path first = folder / "first.rom";
    std::ofstream(first, std::ios::binary) << "mkdir \"A:\\KEEP\\\"\r\nprogram app.rom\r\n";
    ASSERT_EQ(run(first), 0) << err;
    const std::string flash = readFile(folder / "device" / "memory.srec");

    const fs::path script = folder / "setup.rom";
    std::ofstream(script, std::ios::binary)
        << "format a:\r\nprogram app.rom\r\nprogram missing.rom\r\n";
    EXPECT_EQ(run(script), 7) << err;
    EXPECT_NE(err.find("Script line 3: program missing.rom"), std::string::npos) << err;
    EXPECT_TRUE(fs::is_directory(folder / "device" / "drives" / "A" / "KEEP"));

    std::string text = readFile(good);
    text.insert(text.find("\nS7") + 1,
                "S311FFFFFFF80102030405060708090A0B0CAB\r\n");  // wraps past the end
    std::ofstream(folder / "wrap.rom", std::ios::binary) << text;
    EXPECT_EQ(run(folder / "wrap.rom"), 7) << err;
    EXPECT_NE(err.find("runs past the end of the address space"), std::string::npos) << err;
    EXPECT_EQ(readFile(folder / "device" / "memory.srec"), flash);
}

}  // namespace
}  // namespace tarmix
