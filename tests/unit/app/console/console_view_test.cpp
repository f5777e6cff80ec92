// The console front end: its lines and JSON events, and its timer loop driving the main
// window against a simulated controller on the virtual clock.
#include "app/console/console_view.h"

#include <gtest/gtest.h>

#include <sstream>

#include "lang/catalog.h"
#include "platform/stop_request.h"
#include "unit/app/window/window_bench.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;
using testing::WindowBench;

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(JsonEvent, EscapesControlsAndKeepsEveryLineValidUtf8) {
    EXPECT_EQ(JsonString("a\"b\\c\r\n\t\x01"), R"("a\"b\\c\r\n\t\u0001")");
    EXPECT_EQ(JsonString("Größe"), "\"Größe\"");
    EXPECT_EQ(JsonString("Gr\xF6\xDF"
                         "e"),
              "\"Größe\"");                                 // Latin-1 bytes
    EXPECT_EQ(JsonString("\xE2\x82"), "\"\u00e2\u0082\"");  // a cut sequence, as Latin-1
    EXPECT_EQ(JsonEvent("usage").real("romUsage", 0.25).flag("ok", true).number("n", -3).str(),
              R"({"event":"usage","romUsage":0.25,"ok":true,"n":-3})");
}

// The front end on the bench's clock, or on its own.
struct Console {
    explicit Console(ConsoleOptions options = {}, Clock* on = nullptr)
        : frontEnd(errors, &events, on ? *on : clock, options) {
        setLanguageIndex(kEnglishLanguage);
    }
    VirtualClock clock;
    std::ostringstream errors;
    std::ostringstream events;
    ConsoleFrontEnd frontEnd;
};

TEST(ConsoleFrontEnd, WritesChangesOnceAndAnswersQuestionsAsTold) {
    Console console;
    console.frontEnd.setStatus("Connection established");
    console.frontEnd.setStatus("Connection established");
    console.frontEnd.setInfo(InfoField::Panel, "Alder-Panel");
    console.frontEnd.setInfo(InfoField::Panel, "Alder-Panel");
    console.frontEnd.showMessage("Flash erase error\nsector 3", "", MessageIcon::Error);
    EXPECT_FALSE(console.frontEnd.askYesNo("Would you really terminate the program?", ""));
    console.frontEnd.setProgress(500);
    console.frontEnd.setProgress(500);

    EXPECT_EQ(console.errors.str(),
              "Connection established\n"
              "Panel: Alder-Panel\n"
              "Error: Flash erase error / sector 3\n"
              "Question: Would you really terminate the program? -> No (--no)\n");
    EXPECT_EQ(console.events.str(),
              R"({"event":"status","text":"Connection established","ids":[60122]})"
              "\n"
              R"({"event":"info","field":"Panel","text":"Alder-Panel","ids":[]})"
              "\n"
              R"({"event":"message","icon":"error","caption":"","captionIds":[],)"
              R"("text":"Flash erase error\nsector 3","ids":[60253]})"
              "\n"
              R"({"event":"question","caption":"","captionIds":[],)"
              R"("text":"Would you really terminate the program?","ids":[60010],"answer":"no"})"
              "\n"
              R"({"event":"progress","position":500,"low":0,"high":1000})"
              "\n");

    Console yes({.answerYes = true,
                 .operatorAnswers = nullptr,
                 .progressBar = true,
                 .waitForController = {},
                 .traceFolder = {}});
    EXPECT_TRUE(yes.frontEnd.askYesNo("Overwrite?", ""));
    yes.frontEnd.setProgress(250);
    yes.frontEnd.setStatus("Download finished");
    EXPECT_NE(yes.errors.str().find("] 25%"), std::string::npos);
    // The bar is wiped before the next line.
    EXPECT_NE(yes.errors.str().find("\r\x1b[KDownload finished\n"), std::string::npos);
}

// At a terminal without --yes or --no the operator answers; anything but y is No.
TEST(ConsoleFrontEnd, TheOperatorAnswersQuestionsWithNoAsDefault) {
    const struct {
        const char* reply;
        bool answer;
    } cases[] = {{"y\n", true}, {"Yes\n", true}, {"\n", false}, {"n\n", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        std::istringstream replies(c.reply);
        Console asking({.answerYes = true,
                        .operatorAnswers = &replies,
                        .progressBar = false,
                        .waitForController = {},
                        .traceFolder = {}});
        EXPECT_EQ(asking.frontEnd.askYesNo("Format drive A:?", ""), c.answer);
        EXPECT_NE(asking.errors.str().find("Question: Format drive A:? (y/N) "), std::string::npos);
    }
}

// After a second signal abandoned the operation its complaints of a silent line are not
// shown; the last words say what state the controller may be in.
TEST(ConsoleFrontEnd, AnAbandonedRunSaysWhatStateTheControllerMayBeIn) {
    Console console;
    RequestAbandon();
    console.frontEnd.showMessage("The controller does not answer any more", "", MessageIcon::Error);
    console.frontEnd.finish({kResultInterrupted, DescribeResult(kResultInterrupted), "", ""});
    ResetStopRequest();
    const std::string said = console.errors.str();
    EXPECT_EQ(said.find("does not answer"), std::string::npos) << said;
    EXPECT_NE(said.find("may need a restart"), std::string::npos) << said;
    EXPECT_NE(console.events.str().find("does not answer"), std::string::npos)
        << "the event keeps what happened";
}

TEST(ConsoleFrontEnd, GivesUpWhenNoControllerAnswersAndKeepsTheLastOperation) {
    WindowBench bench("alder");
    bench.silent = true;
    const std::filesystem::path traces = bench.folder / "state" / "tarmix";
    Console console(
        {.answerYes = false, .progressBar = false, .waitForController = 3s, .traceFolder = traces},
        &bench.clock);
    MainWindowStart start;
    start.commandLineMode = true;
    start.commandSwitch = "/p";
    start.romFilePath = (bench.folder / "app.rom").string();
    std::ofstream(start.romFilePath)
        << "S0030000FC\r\nS3090011000001020304DB\r\nS70500110000E9\r\n";
    bench.makeWindowOn(console.frontEnd, console.frontEnd, start, console.frontEnd.wireObserver());
    bench.window->OnInitDialog();

    const Millis began = bench.clock.now();
    EXPECT_EQ(console.frontEnd.run(*bench.window), RunEnd::NoController);
    EXPECT_GE(bench.clock.now() - began, 3s);
    EXPECT_LT(bench.clock.now() - began, 4s);
    EXPECT_FALSE(bench.window->closed());

    console.frontEnd.finish({kResultNoController, DescribeResult(kResultNoController), "", ""});
    const std::string marker = "wire trace of the last operation: ";
    const std::string output = console.errors.str();
    const size_t at = output.find(marker);
    ASSERT_NE(at, std::string::npos) << output;
    const std::string file =
        output.substr(at + marker.size(), output.find('\n', at) - at - marker.size());
    EXPECT_EQ(std::filesystem::path(file).parent_path(), traces);
    std::ifstream trace(file);
    std::stringstream text;
    text << trace.rdbuf();
    EXPECT_EQ(countOf(text.str(), "PC> please answer me\\r"), 1u);  // only the last tick
    EXPECT_NE(console.events.str().find(R"({"event":"result","exitCode":9,)"), std::string::npos);
}

TEST(ConsoleFrontEnd, OnlyASignalsStopRequestEndsTheRunBetweenTicks) {
    WindowBench bench("alder");
    Console console({}, &bench.clock);
    bench.makeWindowOn(console.frontEnd, console.frontEnd, {});
    bench.window->OnInitDialog();
    ResetStopRequest();
    RequestStop(StopCause::Interrupt);
    EXPECT_EQ(console.frontEnd.run(*bench.window), RunEnd::Interrupted);
    ResetStopRequest();
}

// Text from a script or a device must not act on the operator's terminal.
TEST(ConsoleFrontEnd, ControlCharactersNeverReachTheTerminal) {
    Console console;
    console.frontEnd.showMessage("\x1b[2J\x1b[Hcleared\a", "Batch handling", MessageIcon::Warning);
    console.frontEnd.setInfo(InfoField::Panel,
                             "Alder\x1b]0;title\x07\xC2\x9B"
                             "2J");
    console.frontEnd.askYesNo("Go\bon?\x7f", "");
    console.frontEnd.setStatus("tab\there");
    EXPECT_EQ(console.errors.str(),
              "Warning: Batch handling: ?[2J?[Hcleared?\n"
              "Panel: Alder?]0;title??2J\n"
              "Question: Go?on?? -> No (--no)\n"
              "tab here\n");
}

// The last lines of a good download say what it did, with the figures the window's bars
// print.
TEST(ConsoleFrontEnd, DownloadSummaryAndUsageAsTheWindowShowsThem) {
    Console console;
    UsageFigures usage;
    usage.romUsage = 0.125;
    usage.ramUsage = 0.0390625;
    usage.ramNeeded = 0x1000;
    usage.ramAvailable = 0x8000;
    console.frontEnd.setUsage(usage);
    console.frontEnd.reportDownload({false, 65536, 17, Millis(5120), usage});
    EXPECT_EQ(console.errors.str(),
              "ROM usage: 16%; RAM usage: 12%\n"
              "Downloaded 65536 bytes in 17 blocks, 5.1 s, 12800 bytes/s; ROM usage: 16%, RAM "
              "usage: 12%\n");
    EXPECT_NE(
        console.events.str().find(R"({"event":"download","compare":false,"bytes":65536,)"
                                  R"("blocks":17,"milliseconds":5120,"bytesPerSecond":12800,)"),
        std::string::npos)
        << console.events.str();
}

}  // namespace
}  // namespace tarmix
