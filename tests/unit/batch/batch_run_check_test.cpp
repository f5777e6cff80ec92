// A script is checked whole before its first line runs, and the dry run goes through the
// same check: what one refuses the other refuses, with the same message.
#include "batch/batch_run_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "batch/backup_manifest.h"
#include "batch/dry_run.h"
#include "batch_bench.h"
#include "sim/image_maker.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using testing::BatchBench;

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void makeImage(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::string error;
    ASSERT_EQ(sim::MakeRomImage(path.string(), 0x110000, 3000, {}, error), 0) << error;
}

// The dry run of the script: its exit value and what it printed.
std::pair<int, std::string> dryRun(const fs::path& script) {
    std::ostringstream out;
    const int result = DryRunScript(script.string(), out);
    return {result, out.str()};
}

// Each script formats drive A: on its first line and has its problem on the third: it is
// refused whole, nothing is sent, and the dry run refuses it with the same message.
TEST(BatchCheck, AProblemOnTheThirdLineStopsTheScriptBeforeItsFirst) {
    const struct {
        const char* third;
        const char* reason;
    } cases[] = {
        {"fromat b:", "Unknown command"},
        {"format d:", "<format>\n\nFormat error"},
        {"init caps", "<init caps>\n\nnot supported"},
        {"download x", "<download>\n\nError"},
        {"program nothere.rom", "<program>\n\nThis ROM image cannot be downloaded"},
        {"program app.elf", "\"app.elf\", line 1: not an S-record"},
        {"program cut.rom", "it is cut short"},
        {"download pipe A:\\PIPE.TXT", "This is a named pipe (FIFO), not a regular file"},
        {"restoreeprom \"EEPROM\\Eeprom.bin\"", "<restoreeprom>\n\nFile not found"},
        {"upload A:\\X.TXT nowhere\\x.txt", "<upload>\n\nFolder not found"},
        {"update firmware images", "<update firmware>\n\nFolder not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.third);
        BatchBench bench;
        write(bench.drive('A') / "KEEP.TXT", "kept");
        write(bench.folder / "app.elf", std::string("\x7f"
                                                    "ELF\x02\x01\x01\0\0\0\0\0",
                                                    12));
        makeImage(bench.folder / "cut.rom");
        std::ifstream image(bench.folder / "cut.rom", std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(image)), {});
        fs::resize_file(bench.folder / "cut.rom", text.find("\nS3", 500) + 1);  // at a line end
        mkfifo((bench.folder / "pipe").c_str(), 0600);
        const std::string script =
            "format a:\r\nmkdir \"A:\\NEW\\\"\r\n" + std::string(c.third) + "\r\n";
        EXPECT_EQ(bench.run(script).end, BatchEnd::Refused);
        EXPECT_TRUE(bench.sent.lines.empty());
        EXPECT_TRUE(fs::exists(bench.drive('A') / "KEEP.TXT"));
        const std::string message = bench.lastMessage();
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_NE(message.find("Script line 3: " + std::string(c.third)), std::string::npos)
            << message;
        const auto [result, printed] = dryRun(bench.folder / "script.txt");
        EXPECT_EQ(result, 1);
        EXPECT_NE(printed.find(message), std::string::npos) << printed;
    }
}

// A file with no command in it is no script: nothing is sent, and that is a failure.
TEST(BatchCheck, AFileWithoutACommandIsRefused) {
    for (const std::string& text : {std::string(), std::string("# Read me\r\nHow to set up\r\n"),
                                    std::string("\x93\xf1\x02\xa7 \x11\x85\r\n\xee\xfe")}) {
        BatchBench bench;
        EXPECT_EQ(bench.run(text).end, BatchEnd::Refused);
        EXPECT_EQ(bench.lastMessage(), "No command or S-record found in the file");
        EXPECT_EQ(dryRun(bench.folder / "script.txt").first, 1);
    }
}

// A backup beside its manifest: every changed byte, and every file outside the folder,
// refuses the restore before anything is sent. Without a manifest it runs, with a warning.
class RestoreCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        makeImage(backup / "Flash" / "Application.rom");
        write(backup / "Drive_A" / "X.TXT", "contents");
        write(bench.folder / "secret.txt", "not part of the backup");
        script =
            "init drives 1024 64 256\r\nformat a:\r\ndownload \"Drive_A\\X.TXT\" "
            "\"A:\\X.TXT\"\r\nprogram \"Flash\\Application.rom\"\r\n";
    }
    void seal() {
        write(backup / "Reload.rom", script);
        std::string json, error;
        ASSERT_TRUE(MakeManifest(backup, {}, {}, json, error)) << error;
        write(backup / kManifestFileName, json);
    }
    BatchOutcome restore() {
        bench.sent.lines.clear();
        bench.view.messages.clear();
        return bench.run(script, "backup/Reload.rom");
    }

    BatchBench bench;
    fs::path backup = bench.folder / "backup";
    std::string script;
};

TEST_F(RestoreCheck, ATamperedBackupIsRefusedBeforeAnyByteIsSent) {
    seal();
    ASSERT_EQ(restore().end, BatchEnd::Finished) << bench.lastMessage();
    EXPECT_EQ(bench.downloads.size(), 1u);

    write(backup / "Drive_A" / "X.TXT", "contentz");
    EXPECT_EQ(restore().end, BatchEnd::Refused);
    EXPECT_NE(bench.lastMessage().find("changed: Drive_A/X.TXT"), std::string::npos);
    EXPECT_TRUE(bench.sent.lines.empty());

    write(backup / "Drive_A" / "X.TXT", "contents");
    script += "download \"..\\secret.txt\" \"A:\\SECRET.TXT\"\r\n";
    seal();
    EXPECT_EQ(restore().end, BatchEnd::Refused);
    EXPECT_NE(bench.lastMessage().find("only name files inside its own folder"), std::string::npos);
    EXPECT_TRUE(bench.sent.lines.empty());
    EXPECT_EQ(dryRun(backup / "Reload.rom").first, 1);
    // Also without a manifest: a restore script stays inside its folder.
    fs::remove(backup / kManifestFileName);
    EXPECT_EQ(restore().end, BatchEnd::Refused);
    EXPECT_TRUE(bench.sent.lines.empty());
}

TEST_F(RestoreCheck, WithoutAManifestTheRestoreRunsAndSaysItIsUnchecked) {
    write(backup / "Reload.rom", script);
    EXPECT_EQ(restore().end, BatchEnd::Finished) << bench.lastMessage();
    EXPECT_EQ(bench.view.statuses.front(),
              "No manifest.json beside the script: its files cannot be checked");
    const auto [result, printed] = dryRun(backup / "Reload.rom");
    EXPECT_EQ(result, 0);
    EXPECT_NE(printed.find("cannot be checked"), std::string::npos);
}

}  // namespace
}  // namespace tarmix
