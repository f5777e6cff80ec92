// The word forms of the command line, the result codes they leave, and this build's options.
#include "app/options/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/options/help_layout.h"
#include "checkout.h"
#include "lang/catalog.h"

namespace tarmix {
namespace {

struct Form {
    std::vector<std::string> words;
    bool reportResult;
    int resultCode;
    std::string commandSwitch;
    std::string romFilePath;
    int selectedPort = 0;
    int baudRate = 57600;
};

TEST(CommandLineForms, WordsGiveFieldsAndResultCodes) {
    const Form forms[] = {
        {{"/p", "C:\\x\\app.rom", "COM2", "115200"}, true, 0, "/p", "C:\\x\\app.rom", 1, 115200},
        {{"/p", "app.bin", "COM2", "57600"}, true, 0, "/p", "", 1},
        {{"/x", "a", "b", "COM1", "57600"}, true, kResultBadSwitch, "", ""},
        {{"C:\\x\\app.rom", "COM3", "57600"}, false, kResultBadSwitch, "", "C:\\x\\app.rom", 2},
        {{"/p", "a.rom", "Com1", "57600"}, true, kResultBadPort, "/p", "a.rom"},
        {{"/p", "a.rom", "COM1", "9600"}, true, kResultBadBaud, "/p", "a.rom"},
        {{"/p", "a.rom", "Com1", "9600"}, true, kResultBadBaud, "/p", "a.rom"},  // later wins
        {{"/p", "a.rom", "com6", "230400"}, true, 0, "/p", "a.rom", 5, 230400},
        {{"/s", "backup", "LPT1", "57600"}, true, 0, "/s", "", 6},
        // Six words with a five-word switch: only the switch is kept.
        {{"/p", "a.rom", "b", "COM1", "57600"}, true, kResultBadBaud, "/p", ""},
        {{"/P", "a.rom", "COM1", "57600"}, true, kResultBadSwitch, "", ""},
        {{}, false, kResultBadSwitch, "", ""},
    };
    for (const Form& form : forms) {
        std::string joined;
        for (const std::string& word : form.words) joined += word + " ";
        SCOPED_TRACE(joined);
        const LauncherArguments arguments = ReadArguments(form.words);
        EXPECT_EQ(arguments.reportResult, form.reportResult);
        const MainWindowStart start = PrepareMainWindow(arguments);
        EXPECT_EQ(start.commandLineMode, form.reportResult);
        EXPECT_EQ(start.resultCode, form.resultCode);
        EXPECT_EQ(start.commandSwitch, form.commandSwitch);
        EXPECT_EQ(start.romFilePath, form.romFilePath);
        if (form.resultCode != kResultBadPort) {
            EXPECT_EQ(start.selectedPort, form.selectedPort);
        }
        if (form.resultCode != kResultBadBaud) {
            EXPECT_EQ(start.baudRate, form.baudRate);
        }
    }
}

TEST(CommandLineForms, PathsOfTheCopyAndBackupForms) {
    MainWindowStart start =
        PrepareMainWindow(ReadArguments({"/d", "C:\\a.txt", "C:\\dir\\a.txt", "COM1", "57600"}));
    EXPECT_EQ(start.firstPath, "C:\\a.txt");
    EXPECT_EQ(start.secondPath, "C:\\dir\\a.txt");
    start = PrepareMainWindow(ReadArguments({"/s", "D:\\backup", "COM1", "57600"}));
    EXPECT_EQ(start.secondPath, "D:\\backup");
    EXPECT_EQ(start.firstPath, "");
}

TEST(CommandLineForms, TimeFactor) {
    EXPECT_EQ(PrepareMainWindow(ReadArguments({"/t", "3"})).timeFactor, 3u);
    EXPECT_EQ(PrepareMainWindow(ReadArguments({"/t", "abc"})).timeFactor, 1u);
    EXPECT_EQ(PrepareMainWindow(ReadArguments({"/t", "0"})).timeFactor, 1u);
    EXPECT_EQ(PrepareMainWindow(ReadArguments({"/x", "3"})).timeFactor, 1u);
    EXPECT_FALSE(ReadArguments({"/t", "3"}).reportResult);
}

TEST(CommandLineOptions, AreTakenOutBeforeTheFormsAreMatched) {
    const ParsedCommandLine parsed = ParseCommandLine(
        {"--headless", "/p", "--simulate=birch", "x.rom", "--trace", "t.txt", "COM1", "57600",
         "--json", "--yes", "--wait=5", "--sim-state", "st", "--lang", "el"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.words, (std::vector<std::string>{"/p", "x.rom", "COM1", "57600"}));
    EXPECT_TRUE(parsed.options.headless);
    EXPECT_EQ(parsed.options.simulate, "birch");
    EXPECT_EQ(parsed.options.traceFile, "t.txt");
    EXPECT_TRUE(parsed.options.json);
    EXPECT_TRUE(parsed.options.answerYes);
    EXPECT_EQ(parsed.options.waitSeconds, 5);
    EXPECT_EQ(parsed.options.simulatorState, "st");
    EXPECT_EQ(parsed.options.language, 10);
    EXPECT_EQ(ParseCommandLine({"--lang=lt"}).options.language, 11);
    EXPECT_EQ(ParseCommandLine({}).options.language, std::nullopt);

    EXPECT_EQ(ParseCommandLine({"--simulate"}).options.simulate, kDefaultSimulatedModel);
    EXPECT_FALSE(ParseCommandLine({"--yes", "--no"}).options.answerYes);
    for (auto wrong : std::vector<std::vector<std::string>>{{"--frobnicate"},
                                                            {"--trace"},
                                                            {"--wait", "soon"},
                                                            {"--simulate="},
                                                            {"--wait=-1"},
                                                            {"--lang", "it"},
                                                            {"--lang", "EN"},
                                                            {"--lang", "en_US"},
                                                            {"--lang"}})
        EXPECT_NE(ParseCommandLine(wrong).error, "") << wrong[0];
}

// An empty value (an unset shell variable) is refused, in both spellings, for every
// option that takes one: it must never run as if the option had been left out.
TEST(CommandLineOptions, EmptyValuesAreRefusedForEveryOptionThatTakesOne) {
    for (const char* option :
         {"--sim-state", "--library", "--port", "--lang", "--trace", "--wait", "--verify-backup",
          "--dry-run", "--log", "--ls", "--tree", "--mkdir", "--rm", "--rmdir", "--format"}) {
        for (const std::vector<std::string>& words :
             {std::vector<std::string>{option, ""}, {std::string(option) + "="}}) {
            SCOPED_TRACE(words[0]);
            const ParsedCommandLine parsed = ParseCommandLine(words);
            EXPECT_NE(parsed.error.find(option), std::string::npos) << parsed.error;
        }
    }
    setLanguageIndex(kEnglishLanguage);
    EXPECT_EQ(ParseCommandLine({"--verify-backup", "", "--log", "x"}).error,
              "--verify-backup was given an empty value");
    setLanguageIndex(kGermanLanguage);
}

// --help and the README show the one table of exit codes the program has.
TEST(ExitCodes, OneTableInHelpAndReadme) {
    const std::filesystem::path readme = std::filesystem::path(TARMIX_CHECKOUT) / "README.md";
    std::ifstream in(readme);
    ASSERT_TRUE(in) << readme;
    std::stringstream text;
    text << in.rdbuf();
    std::set<int> codes;
    setLanguageIndex(kEnglishLanguage);  // the summary speaks the run's language
    for (const ExitCode& row : ExitCodes()) {
        EXPECT_TRUE(codes.insert(row.code).second) << "two meanings for " << row.code;
        const std::string code = std::to_string(row.code);
        EXPECT_NE(text.str().find("| " + code + " | " + row.meaning + " |\n"), std::string::npos)
            << "README lacks exit code " << code;
        EXPECT_NE(UsageText().find("  " + code + std::string(5 - code.size(), ' ') + row.meaning),
                  std::string::npos);
        EXPECT_EQ(DescribeResult(row.code), row.meaning);
    }
    setLanguageIndex(kGermanLanguage);
    EXPECT_EQ(DescribeResult(kResultNoController), "keine Steuerung erkannt");
    EXPECT_TRUE(codes.contains(kResultTerminated));
}

// The help lines up in every script: its widths are characters, not bytes; words too long
// for the column leave three blanks; a line break keeps the blanks that begin the next line.
TEST(HelpLayout, WrapsAtTheWidthInCharactersAndKeepsTheColumn) {
    const auto greek = [](int words) {
        std::string text;
        for (int i = 0; i < words; ++i) text += (i ? " " : "") + std::string("αβγδε");
        return text;
    };
    const HelpEntry entries[] = {{"--lang CODE", greek(20)},
                                 {"--mkdir PATH, --rm PATH, --rmdir PATH", "new folder"},
                                 {"--gang", "at once:\n  tarmix --gang"}};
    const std::string column(kHelpTextColumn, ' ');
    EXPECT_EQ(HelpColumns(entries), "  --lang CODE" + std::string(14, ' ') + greek(8) + "\n" +
                                        column + greek(8) + "\n" + column + greek(4) + "\n" +
                                        "  --mkdir PATH, --rm PATH, --rmdir PATH   new folder\n" +
                                        "  --gang" + std::string(19, ' ') + "at once:\n" + column +
                                        "  tarmix --gang\n");
}

}  // namespace
}  // namespace tarmix

namespace tarmix {
namespace {

TEST(CommandLinePort, ChoosesDevicesForComNamesAndRefusesWhatCannotBeMeant) {
    const ParsedCommandLine parsed = ParseCommandLine(
        {"--port", "/dev/ttyUSB3", "--port=com4=/dev/serial/by-id/x", "--port", "COM2=/dev/a=b"});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    ASSERT_EQ(parsed.options.ports.size(), 3u);
    EXPECT_EQ(parsed.options.ports[0].index, 0);
    EXPECT_EQ(parsed.options.ports[0].path, "/dev/ttyUSB3");
    EXPECT_EQ(parsed.options.ports[1].index, 3);
    EXPECT_EQ(parsed.options.ports[1].path, "/dev/serial/by-id/x");
    EXPECT_EQ(parsed.options.ports[2].index, 1);
    EXPECT_EQ(parsed.options.ports[2].path, "/dev/a=b");

    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"--port", "COM9=/dev/ttyS0"},
          {"--port", "LPT1=/dev/lp0"},
          {"--port", "COM1="},
          {"--port"},
          {"--port", "--headless"},
          {"--simulate", "--port", "/dev/ttyUSB0"}}) {
        SCOPED_TRACE(refused.back());
        EXPECT_FALSE(ParseCommandLine(refused).error.empty());
    }
}

}  // namespace
}  // namespace tarmix
