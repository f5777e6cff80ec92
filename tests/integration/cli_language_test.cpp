// One run, one language: tarmix headless against tarmix-sim in every language of the
// catalogues, with no settings file yet. Nothing it prints, its --help and --version
// included, may be a text of another language, and the settings file it leaves keeps the
// locale's language, not --lang's.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/options/command_line.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "support/file_contents.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Shorter pieces would match by chance ("Flash:", "Start").
constexpr size_t kShortestTelltale = 8;

// The pieces of `other`'s texts that the language `own` never shows: each text's first
// line up to its first conversion, when `own` has a different text for it.
std::vector<std::string> telltales(int own, int other) {
    std::vector<std::string> pieces;
    const TextCatalogues& all = builtInCatalogues();
    for (const auto& [id, entry] : all.find("de")->entries) {
        const std::optional<std::string> theirs = all.lookup(other, id);
        const std::optional<std::string> ours = all.lookup(own, id);
        if (!theirs || !ours) continue;
        std::string piece = theirs->substr(0, theirs->find_first_of("\n%"));
        while (!piece.empty() && piece.back() == ' ') piece.pop_back();
        if (piece.size() < kShortestTelltale || ours->find(piece) != std::string::npos) continue;
        pieces.push_back(piece);
    }
    return pieces;
}

class CliLanguageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(folder);
        fs::create_directories(folder / "config");
        fs::create_directories(folder / "device" / "drives" / "A" / "DATA");
        std::ofstream(folder / "device" / "drives" / "A" / "DATA" / "DAY1.TXT") << "12345";
    }
    void TearDown() override { fs::remove_all(folder); }

    // tarmix --headless --simulate with the options under a Greek locale; the exit code
    // (-1 when it hung). Its stdout and stderr are added to `output`.
    int run(const std::string& options) {
        const std::string command =
            "env -u TARMIX_COM1 -u DISPLAY -u WAYLAND_DISPLAY -u LC_ALL -u LC_MESSAGES "
            "LANG=el_GR.UTF-8 XDG_CONFIG_HOME=" +
            Quoted((folder / "config").string()) +
            " XDG_STATE_HOME=" + Quoted((folder / "state").string()) +
            " TARMIX_LPT1=" + Quoted((folder / "no-lpt").string()) + " timeout 60 " +
            Quoted(TARMIX_PATH) + " --headless --simulate --sim-state " +
            Quoted((folder / "device").string()) + " " + options + " >" +
            Quoted((folder / "out").string()) + " 2>" + Quoted((folder / "err").string());
        const int status = std::system(command.c_str());
        output += testing::readFile(folder / "out") + testing::readFile(folder / "err");
        return WIFEXITED(status) && WEXITSTATUS(status) != 124 ? WEXITSTATUS(status) : -1;
    }

    fs::path folder = fs::temp_directory_path() / ("tarmix_cli_lang_" + std::to_string(getpid()));
    std::string output;
};

TEST_F(CliLanguageTest, EveryRunSpeaksOnlyItsOwnLanguage) {
    for (const Language& language : languages()) {
        if (!language.hasCatalogue) continue;
        SCOPED_TRACE(language.code);
        SetUp();
        output.clear();
        const std::string lang = std::string(" --lang ") + language.code;
        ASSERT_EQ(run("--ls 'A:\\DATA'" + lang), 0) << output;
        ASSERT_EQ(run("--df" + lang), 0) << output;
        ASSERT_EQ(run("--help" + lang), 0) << output;
        ASSERT_EQ(run("--version" + lang), 0) << output;
        // Refusals of the command line and of a file-system form.
        ASSERT_EQ(run("--wait soon" + lang), kResultUsage) << output;
        ASSERT_EQ(run("--mkdir 'A:\\'" + lang), kResultUsage) << output;
        ASSERT_EQ(run("/u 'A:\\DATA\\NOPE.TXT' " + Quoted((folder / "nope.txt").string()) +
                      " COM1 57600" + lang),
                  kResultFileUploadFailed)
            << output;
        // What the failing run says, in this language.
        const TextCatalogues& all = builtInCatalogues();
        EXPECT_NE(output.find(*all.lookup(language.index, text::kFileUploadError)),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find(*all.lookup(language.index, text::kResultFileUploadFailed)),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find(*all.lookup(language.index, text::kHelpExitCodes)), std::string::npos)
            << output;
        const std::string waitRefusal = *all.lookup(language.index, text::kBadWait);
        EXPECT_NE(output.find(waitRefusal.substr(0, waitRefusal.find('%'))), std::string::npos)
            << output;
        for (const int other : {kGermanLanguage, kEnglishLanguage}) {
            if (other == language.index) continue;
            for (const std::string& piece : telltales(language.index, other))
                EXPECT_EQ(output.find(piece), std::string::npos) << "\"" << piece << "\" in\n"
                                                                 << output;
        }
        // --lang was for the run: the file keeps the locale's Greek.
        EXPECT_EQ(testing::readFile(folder / "config" / "tarmix" / "Tarmix.ini")
                      .find(testing::utf16("[LANGUAGE]: 10\r\n")),
                  0u);
    }
}

// A script reads the catalogue id beside the text, whatever the language.
TEST_F(CliLanguageTest, JsonMessagesCarryTheirCatalogueIds) {
    for (const char* code : {"en", "el"}) {
        output.clear();
        EXPECT_EQ(run("--json --lang " + std::string(code) + " /u 'A:\\DATA\\NOPE.TXT' " +
                      Quoted((folder / "nope.txt").string()) + " COM1 57600"),
                  kResultFileUploadFailed);
        EXPECT_NE(output.find(R"("event":"message","icon":"error")"), std::string::npos) << output;
        EXPECT_NE(output.find(R"("ids":[60221,60206])"), std::string::npos) << output;
        EXPECT_NE(output.find(R"("event":"result","exitCode":6,)"), std::string::npos) << output;
        EXPECT_NE(output.find(R"("ids":[64888]})"), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace tarmix
