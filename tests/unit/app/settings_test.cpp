#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "app/cli/settings_command.h"
#include "lang/catalog.h"
#include "support/file_contents.h"

namespace tarmix {
namespace {

using testing::utf16;

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = fs::temp_directory_path() /
                 ("tarmix_settings_" + std::to_string(::getpid()) + "_" + test);
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    void writeFile(const std::string& bytes) {
        std::ofstream(folder / kSettingsFileName, std::ios::binary) << bytes;
    }
    std::string readFile() {
        std::ifstream in(folder / kSettingsFileName, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    // Reads the file into settings that start out far from every default.
    Settings readBack() {
        Settings settings{7, 230400, 5, 1};
        EXPECT_EQ(ReadSettings(folder, settings), 0);
        return settings;
    }

    fs::path folder;
};

TEST_F(SettingsFileTest, WritesItsLinesOfSixteenBitCharactersWithoutByteOrderMark) {
    // The verify key comes last, where older versions skip it.
    ASSERT_EQ(WriteSettings(folder, Settings{3, 115200, -1, 1, 1}), 0);
    EXPECT_EQ(readFile(), utf16("[LANGUAGE]: 3\r\n[BAUDRATE]: 115200\r\n[COMPORT]: -1\r\n"
                                "[KEEP_RECEIPTS]: 1\r\n[VERIFY]: 1\r\n"));
    EXPECT_FALSE(fs::exists(folder / "Tarmix.ini.new"));
}

TEST_F(SettingsFileTest, WhatIsWrittenReadsBackUnchanged) {
    const Settings written{3, 230400, 6, 1, 1};  // Italian and LPT1 survive a round trip
    ASSERT_EQ(WriteSettings(folder, written), 0);
    Settings read;
    ASSERT_EQ(ReadSettings(folder, read), 0);
    EXPECT_EQ(read.languageIndex, 3);
    EXPECT_EQ(read.baudRate, 230400);
    EXPECT_EQ(read.selectedPort, 6);
    EXPECT_EQ(read.keepReceipts, 1);
    EXPECT_EQ(read.verifyAfterWrite, 1);
}

// Sets the locale variables for one test, and puts them back.
class LocaleForTest {
  public:
    explicit LocaleForTest(const char* lang) {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
        if (lang) setenv("LANG", lang, 1);
    }
    ~LocaleForTest() {
        for (const auto& [name, value] : saved_)
            value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }

  private:
    static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// A first run takes the locale's language, a settings file keeps its own, and --lang
// replaces either for the run without being written.
TEST_F(SettingsFileTest, LanguageOfTheLocaleTheFileAndTheRun) {
    struct Case {
        const char* file;  // nullptr: no settings file yet
        const char* lang;
        std::optional<int> run;
        int shown;
        const char* written;  // the language line written back
    };
    const Case cases[] = {
        {nullptr, "en_US.UTF-8", std::nullopt, 1, "[LANGUAGE]: 1"},
        {nullptr, "el_GR.UTF-8", std::nullopt, 10, "[LANGUAGE]: 10"},
        {nullptr, "C.UTF-8", std::nullopt, 0, "[LANGUAGE]: 0"},
        {nullptr, "sv_SE.UTF-8", std::nullopt, 0, "[LANGUAGE]: 0"},
        {"[LANGUAGE]: 5\r\n", "en_US.UTF-8", std::nullopt, 5, "[LANGUAGE]: 5"},
        {"[BAUDRATE]: 115200\r\n", "en_US.UTF-8", std::nullopt, 0, "[LANGUAGE]: 0"},
        {"[LANGUAGE]: 5\r\n", "en_US.UTF-8", 10, 10, "[LANGUAGE]: 5"},
        {nullptr, "fr_FR.UTF-8", 11, 11, "[LANGUAGE]: 2"},
    };
    for (const Case& c : cases) {
        const LocaleForTest locale(c.lang);
        fs::remove(folder / kSettingsFileName);
        if (c.file) writeFile(c.file);
        SetRunLanguage(c.run);
        Settings settings;
        ReadSettings(folder, settings);
        EXPECT_EQ(settings.languageIndex, c.shown) << (c.file ? c.file : "-") << " " << c.lang;
        ASSERT_EQ(WriteSettings(folder, settings), 0);
        EXPECT_EQ(readFile().find(utf16(c.written)), 0u) << c.lang;
        SetRunLanguage(std::nullopt);
    }
    // A language picked in the window during a --lang run is the user's choice: kept.
    const LocaleForTest locale("en_US.UTF-8");
    writeFile("[LANGUAGE]: 5\r\n");
    SetRunLanguage(10);
    Settings settings;
    ReadSettings(folder, settings);
    settings.languageIndex = 2;
    ASSERT_EQ(WriteSettings(folder, settings), 0);
    EXPECT_EQ(readFile().find(utf16("[LANGUAGE]: 2")), 0u);
    SetRunLanguage(std::nullopt);
}

TEST_F(SettingsFileTest, MissingFileResetsLanguageBaudAndPortOnly) {
    const LocaleForTest locale(nullptr);
    Settings settings{7, 230400, 5, 1};
    EXPECT_EQ(ReadSettings(folder, settings), 1);
    EXPECT_EQ(settings.languageIndex, 0);
    EXPECT_EQ(settings.baudRate, 57600);
    EXPECT_EQ(settings.selectedPort, 0);
    EXPECT_EQ(settings.keepReceipts, 1);
}

TEST_F(SettingsFileTest, OnlyTheBaudLineGivesGermanComOneAndThatRate) {
    writeFile(utf16("[BAUDRATE]: 115200"));
    const Settings settings = readBack();
    EXPECT_EQ(settings.languageIndex, 0);
    EXPECT_EQ(settings.selectedPort, 0);
    EXPECT_EQ(settings.baudRate, 115200);
}

TEST_F(SettingsFileTest, KeyMustStandAtTheStartOfALineThatIsNoComment) {
    writeFile(
        utf16(" [COMPORT]: 3\r\n;[LANGUAGE]: 2\r\n[language]: 4\r\n[KEEP_RECEIPTS]: 0\r\n"
              "[BAUDRATE] 230400\r\n"));
    const Settings settings = readBack();
    EXPECT_EQ(settings.selectedPort, 0);
    EXPECT_EQ(settings.languageIndex, 0);
    EXPECT_EQ(settings.baudRate, 57600);  // no colon, nothing read
    EXPECT_EQ(settings.keepReceipts, 0);
}

TEST_F(SettingsFileTest, NumberIsReadAfterTheFirstColonAsDecimal) {
    writeFile(utf16("[LANGUAGE]:5\r\n[BAUDRATE]:\t+230400 baud\r\n[COMPORT]: 2: 4\r\n"));
    const Settings settings = readBack();
    EXPECT_EQ(settings.languageIndex, 5);
    EXPECT_EQ(settings.baudRate, 230400);
    EXPECT_EQ(settings.selectedPort, 2);
}

TEST_F(SettingsFileTest, ValueThatCannotBeReadKeepsTheValueBeforeIt) {
    writeFile(
        utf16("[BAUDRATE]: 115200\r\n[BAUDRATE]: fast\r\n[COMPORT]: 99999999999\r\n"
              "[LANGUAGE]: -\r\n[KEEP_RECEIPTS]:"));
    const Settings settings = readBack();
    EXPECT_EQ(settings.baudRate, 115200);
    EXPECT_EQ(settings.selectedPort, 0);  // beyond 32 bits: not read
    EXPECT_EQ(settings.languageIndex, 0);
    EXPECT_EQ(settings.keepReceipts, 1);
}

TEST_F(SettingsFileTest, AcceptsUtf8AndFilesWithByteOrderMarks) {
    writeFile("[LANGUAGE]: 2\n[BAUDRATE]: 115200\n");
    EXPECT_EQ(readBack().languageIndex, 2);
    writeFile("\xEF\xBB\xBF[LANGUAGE]: 4\r\n");
    EXPECT_EQ(readBack().languageIndex, 4);
    writeFile("\xFF\xFE" + utf16("[LANGUAGE]: 6\r\n"));
    EXPECT_EQ(readBack().languageIndex, 6);
    writeFile(utf16("; Sprache \xFC\r\n[COMPORT]: 1"));  // a character outside ASCII
    EXPECT_EQ(readBack().selectedPort, 1);
}

TEST_F(SettingsFileTest, JunkAndHugeLinesGiveDefaults) {
    std::string junk;
    for (int i = 0; i < 5000; ++i) junk += static_cast<char>((i * 7919) % 256);
    writeFile(junk);
    Settings settings = readBack();
    EXPECT_EQ(settings.languageIndex, 0);
    EXPECT_EQ(settings.baudRate, 57600);

    writeFile(std::string(3 << 20, 'x') + "\r\n[LANGUAGE]: 2\r\n");
    settings = readBack();
    EXPECT_EQ(settings.languageIndex, 0);  // beyond what is read of a file

    writeFile("[LANGUAGE]: 2" + std::string(100000, ' ') + "\r\n[COMPORT]: 3\r\n");
    settings = readBack();
    EXPECT_EQ(settings.languageIndex, 2);
    EXPECT_EQ(settings.selectedPort, 3);
}

// The lock an administrator set, a link to a shared file and a folder only the
// administrator may write are all respected.
TEST_F(SettingsFileTest, ReadOnlyFilesStaySymlinksAreFollowedLockedFoldersWrittenInPlace) {
    ASSERT_EQ(WriteSettings(folder, Settings{2, 115200, 1, 0}), 0);
    const std::string before = readFile();
    fs::permissions(folder / kSettingsFileName, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(WriteSettings(folder, Settings{5, 57600, 3, 1}), 1);
    EXPECT_EQ(readFile(), before);
    fs::permissions(folder / kSettingsFileName, fs::perms::owner_write, fs::perm_options::add);

    fs::create_directories(folder / "shared");
    fs::rename(folder / kSettingsFileName, folder / "shared" / kSettingsFileName);
    fs::create_symlink("shared/Tarmix.ini", folder / kSettingsFileName);
    ASSERT_EQ(WriteSettings(folder, Settings{5, 57600, 3, 1}), 0);
    EXPECT_TRUE(fs::is_symlink(folder / kSettingsFileName));
    EXPECT_EQ(readBack().languageIndex, 5);

    fs::permissions(folder / "shared", fs::perms::owner_read | fs::perms::owner_exec);
    const bool written = WriteSettings(folder, Settings{6, 57600, 3, 1}) == 0;
    fs::permissions(folder / "shared", fs::perms::owner_all);
    EXPECT_TRUE(written);
    EXPECT_EQ(readBack().languageIndex, 6);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "shared"), fs::directory_iterator()),
              1);  // nothing left beside it

    EXPECT_EQ(WriteSettings(folder / "missing", Settings{}), 1);
}

// A pipe where the settings file should be, as the file or as the target of its link, is
// left as it was; the reason names it and what it is.
TEST_F(SettingsFileTest, APipeInPlaceOfTheFileIsLeftAlone) {
    const int language = languageIndex();
    setLanguageIndex(kEnglishLanguage);
    const fs::path pipe = folder / "direct" / kSettingsFileName;
    fs::create_directories(pipe.parent_path());
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    fs::create_symlink(pipe, folder / kSettingsFileName);
    for (const fs::path& settingsFolder : {pipe.parent_path(), folder}) {
        std::string reason;
        EXPECT_EQ(WriteSettings(settingsFolder, Settings{}, &reason), 1);
        EXPECT_EQ(reason, pipe.string() + ": not a regular file (named pipe); it is left as it is");
        EXPECT_TRUE(fs::is_fifo(pipe));
    }
    EXPECT_TRUE(fs::is_symlink(folder / kSettingsFileName));
    setLanguageIndex(language);
}

// `tarmix --settings KEY=VALUE` changes one line of a file the window wrote and keeps its
// encoding; a key or value it cannot take leaves the file byte for byte as it was.
TEST_F(SettingsFileTest, SettingsCommandChangesOneSettingAndKeepsTheFileSixteenBit) {
    setLanguageIndex(kEnglishLanguage);
    const std::string before =
        utf16("[LANGUAGE]: 5\r\n[BAUDRATE]: 57600\r\n[COMPORT]: 2\r\n[KEEP_RECEIPTS]: 1\r\n");
    struct Case {
        std::string assignment;
        int exitCode;
        std::string file;  // empty: unchanged
        std::string said;  // in the output (success) or the error
    };
    const Case cases[] = {
        {"BAUDRATE=115200", 0,
         "[LANGUAGE]: 5\r\n[BAUDRATE]: 115200\r\n[COMPORT]: 2\r\n[KEEP_RECEIPTS]: 1\r\n"
         "[VERIFY]: 0\r\n",
         "BAUDRATE=115200\n"},
        {"[comport]=-1", 0,
         "[LANGUAGE]: 5\r\n[BAUDRATE]: 57600\r\n[COMPORT]: -1\r\n[KEEP_RECEIPTS]: 1\r\n"
         "[VERIFY]: 0\r\n",
         "LANGUAGE=5  (Dutch)\n"},
        {"SPEED=115200", 64, "", "There is no setting \"SPEED\". The settings are: LANGUAGE, "},
        {"BAUDRATE=9600", 64, "", "BAUDRATE cannot be \"9600\". It takes 57600, 115200, 230400."},
        {"BAUDRATE=115200x", 64, "", "It takes 57600, 115200, 230400."},
        {"LANGUAGE=12", 64, "", "It takes 0..11."},
        {"VERIFY=", 64, "", "It takes 0..1."},
        {"COMPORT", 64, "", "--settings takes KEY=VALUE"},
    };
    // The first run of a new user: no file, and no folder for it yet.
    const fs::path fresh = folder / "new" / "tarmix";
    std::ostringstream shown, problems;
    EXPECT_EQ(ChangeSettingsFile(fresh, "VERIFY=1", shown, problems), 0) << problems.str();
    Settings written;
    EXPECT_EQ(ReadSettings(fresh, written), 0);
    EXPECT_EQ(written.verifyAfterWrite, 1);
    for (const Case& c : cases) {
        writeFile(before);
        std::ostringstream out, err;
        EXPECT_EQ(ChangeSettingsFile(folder, c.assignment, out, err), c.exitCode) << c.assignment;
        EXPECT_EQ(readFile(), c.file.empty() ? before : utf16(c.file)) << c.assignment;
        EXPECT_NE((c.exitCode == 0 ? out : err).str().find(c.said), std::string::npos)
            << c.assignment << ": " << out.str() << err.str();
        if (c.exitCode == 0) {
            EXPECT_EQ(out.str().rfind(
                          "Settings file: " + (folder / kSettingsFileName).string() + "\n", 0),
                      0u)
                << out.str();
        }
    }
}

TEST(SettingValues, OnlyTheThreeRatesAndLanguagesUpToElevenStay) {
    Settings settings{11, 230400, 2, 0};
    CheckSettingValues(settings);
    EXPECT_EQ(settings.languageIndex, 11);
    EXPECT_EQ(settings.baudRate, 230400);

    settings = Settings{12, 9600, 2, 0};
    CheckSettingValues(settings);
    EXPECT_EQ(settings.languageIndex, 1);
    EXPECT_EQ(settings.baudRate, 57600);

    settings = Settings{3, 115200, 2, 0};  // Italian stays: it shows German texts
    CheckSettingValues(settings);
    EXPECT_EQ(settings.languageIndex, 3);
    EXPECT_EQ(settings.baudRate, 115200);
}

}  // namespace
}  // namespace tarmix
