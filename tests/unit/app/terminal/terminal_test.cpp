// The terminal: what it shows of the controller's bytes, what each key sends, and the
// terminal in the main window against the in-process simulated controller.
#include "app/terminal/terminal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "app/console/console_terminal.h"
#include "app/window/download_dialog.h"
#include "unit/app/window/window_bench.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;
using testing::WindowBench;

TEST(TerminalText, LineEndsBackspacesAndControlCharacters) {
    struct Case {
        std::vector<std::string_view> received;
        std::string shown;
        std::string_view stamp = {};  // before the first character shown on a line
    };
    const Case cases[] = {
        {{"tell version\r\nVersion: 30\r\nBoot> "}, "tell version\nVersion: 30\nBoot> "},
        {{"ab\r", "\ncd"}, "ab\ncd"},                                // CR and LF in two pieces
        {{"\n\n\nx"}, "x"},                                          // line feeds alone do nothing
        {{"abc\b \b\b \b"}, "a"},                                    // the monitor's erase echo
        {{"\b\bok\r\b\b"}, "ok\n"},                                  // never past the line's start
        {{std::string_view("a\0b\x1b[1mc\x7f\x07", 10)}, "ab[1mc"},  // NUL, ESC, DEL, BEL
        {{"\tx"}, "\tx"},
        {{"ab\r\ncd\r\n"}, "[S] ab\n[S] cd\n", "[S] "},
        {{"a", "b\r", "\n\r\n\nc"}, "[S] ab\n\n[S] c", "[S] "},  // once a line, none when empty
    };
    for (const Case& test : cases) {
        TerminalText text;
        testing::RecordingWindow view;
        for (std::string_view bytes : test.received)
            view.updateTerminal(text.Take(bytes, test.stamp));
        EXPECT_EQ(view.terminalText, test.shown) << test.received.front();
        EXPECT_EQ(text.size(), test.shown.size());
    }
}

TEST(TerminalText, EveryByteValueIsReadAsIso88591) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all += char(byte);
    TerminalText text;
    const TerminalUpdate update = text.Take(all);
    std::string expected = "\t";
    for (int byte = 0x20; byte < 0x7f; ++byte) expected += char(byte);
    for (int byte = 0xa0; byte < 0x100; ++byte)
        expected += Latin1ToUtf8(std::string(1, char(byte)));
    // CR (0x0d) starts a new line after the tab; every other control is left out.
    ASSERT_EQ(update.size(), 3u);
    EXPECT_EQ(update[0], (TerminalPiece{TerminalPiece::Text, "\t", 0}));
    EXPECT_EQ(update[1].kind, TerminalPiece::NewLine);
    EXPECT_EQ(update[2], (TerminalPiece{TerminalPiece::Text, expected.substr(1), 0}));
    EXPECT_EQ(Latin1ToUtf8("\xe9\xff"), "\u00e9\u00ff");
    EXPECT_EQ(text.size(), 2u + 95 + 96);
}

TEST(TerminalText, AFloodIsTrimmedByWholeLinesBeforeItIsShown) {
    TerminalText text;
    testing::RecordingWindow view;
    // 1 MB of 64-character lines in pieces of the poll's largest size.
    std::string line = "line " + std::string(56, '=');
    std::string flood;
    for (int i = 0; flood.size() < 1'000'000; ++i) flood += line + std::to_string(i % 10) + "\r\n";
    size_t largest = 0, trims = 0;
    for (size_t at = 0; at < flood.size(); at += CTerminal::kReceiveCapacity) {
        const TerminalUpdate update =
            text.Take(std::string_view(flood).substr(at, CTerminal::kReceiveCapacity));
        for (const TerminalPiece& piece : update) {
            if (piece.kind != TerminalPiece::Drop) continue;
            ++trims;
            EXPECT_GE(piece.count, kTerminalTrimBlock);
            EXPECT_LT(piece.count, kTerminalTrimBlock + 64);
        }
        view.updateTerminal(update);
        largest = std::max(largest, view.terminalText.size());
        ASSERT_EQ(view.terminalText.size(), text.size());
        // The text begins with a whole line.
        ASSERT_EQ(view.terminalText.rfind("line ", 0), 0u);
    }
    EXPECT_LE(largest, kTerminalTextLimit);
    EXPECT_GT(largest, kTerminalTextLimit - CTerminal::kReceiveCapacity);
    EXPECT_GT(trims, 100u);
}

TEST(TerminalText, OneEndlessLineLosesItsStart) {
    TerminalText text;
    testing::RecordingWindow view;
    for (int i = 0; i < 20; ++i) view.updateTerminal(text.Take(std::string(5000, char('a' + i))));
    EXPECT_LE(text.size(), kTerminalTextLimit);
    EXPECT_EQ(view.terminalText.size(), text.size());
    EXPECT_EQ(view.terminalText.back(), 't');
}

TEST(TerminalKeys, EachKeySendsItsBytes) {
    EXPECT_EQ(BytesForKey(TerminalKey::Enter), "\r");
    EXPECT_EQ(BytesForKey(TerminalKey::CursorUp), "\x1b[A");
    EXPECT_EQ(BytesForKey(TerminalKey::CursorRight), "\x1b[C");
    EXPECT_EQ(BytesForKey(TerminalKey::CursorDown), "\x1b[B");
    EXPECT_EQ(BytesForKey(TerminalKey::CursorLeft), "");
    EXPECT_EQ(ByteForCharacter(U'a'), 'a');
    EXPECT_EQ(ByteForCharacter(U'\u00e9'), '\xe9');
    EXPECT_EQ(ByteForCharacter(3), '\x03');  // Ctrl-C is a byte for the device
    EXPECT_EQ(ByteForCharacter(U'\u20ac'), std::nullopt);
}

TEST(ConsoleKeys, TerminalBytesBecomeTheKeyTable) {
    using Input = ConsoleInput;
    const auto key = [](TerminalKey k) { return Input{Input::Key, k, {}}; };
    const auto text = [](std::string t) { return Input{Input::Text, TerminalKey::Enter, t}; };
    struct Case {
        std::vector<std::string_view> reads;
        std::vector<Input> inputs;
    };
    const Case cases[] = {
        {{"tell drives\r"}, {text("tell drives\r")}},
        {{"ab\x7f\x03"}, {text("ab\b\x03")}},  // DEL is Backspace; Ctrl-C a byte
        {{"\x1b[A\x1bOB\x1b[C\x1b[D"},
         {key(TerminalKey::CursorUp), key(TerminalKey::CursorDown), key(TerminalKey::CursorRight),
          key(TerminalKey::CursorLeft)}},
        {{"x\x1b[15~y\x1b[1;5A"}, {text("xy")}},         // F5, Ctrl+Up: dropped
        {{"\x1b"}, {text("\x1b")}},                      // the Escape key alone
        {{"\x1b[", "A"}, {key(TerminalKey::CursorUp)}},  // a sequence cut by the read
        {{"\xc3", "\xa9!"}, {text("\u00e9!")}},          // so is a character
        {{"ls\x1d\r"}, {text("ls"), Input{Input::Quit, TerminalKey::Enter, {}}}},
    };
    for (const Case& test : cases) {
        ConsoleKeyReader reader;
        std::vector<Input> inputs;
        for (std::string_view read : test.reads)
            for (Input& input : reader.Take(read)) inputs.push_back(input);
        // Text of adjacent reads arrives in pieces; join them as the terminal would type them.
        std::vector<Input> joined;
        for (Input& input : inputs) {
            if (!joined.empty() && input.kind == Input::Text && joined.back().kind == Input::Text)
                joined.back().text += input.text;
            else
                joined.push_back(input);
        }
        EXPECT_EQ(joined, test.inputs) << test.reads.front();
    }
}

// Every byte the program writes, in order.
class SentBytes final : public WireObserver {
  public:
    void onSent(Millis, const uint8_t* data, size_t count) override {
        bytes.append(reinterpret_cast<const char*>(data), count);
    }
    void onReceived(Millis, const uint8_t*, size_t) override {}
    std::string bytes;
};

struct TerminalBench : WindowBench {
    explicit TerminalBench(const std::string& model = "alder", bool usb = false)
        : WindowBench(model) {
        map.setCom(0, {"sim", usb});
        makeWindowOn(view, view, {}, &wire);
        window->OnInitDialog();
    }
    void switchOn() {
        window->OnTerminalOnOff();
        wire.bytes.clear();
    }
    // Lets the output of `time` arrive through the 30 ms poll.
    void poll(Millis time = 300ms) {
        for (Millis waited{0}; waited < time; waited += CTerminal::kPollPeriod)
            tick(CDownloadDialog::kTerminalTimer);
    }
    void type(const std::string& text) {
        window->OnTerminalText(text);
        window->OnTerminalKey(TerminalKey::Enter);
        poll();
    }
    SentBytes wire;
};

TEST(WindowTerminal, SwitchingOnStopsTheWatchAndSwitchingOffConnectsAgain) {
    TerminalBench bench;
    ASSERT_TRUE(bench.tick());
    ASSERT_TRUE(bench.window->device().deviceIdentified);

    bench.window->OnTerminalOnOff();
    EXPECT_TRUE(bench.window->terminalOn());
    EXPECT_TRUE(bench.view.terminalShown);
    EXPECT_EQ(bench.view.terminalFocus, 1);
    EXPECT_EQ(bench.view.captions[Control::TerminalOnOff], "Hide terminal");
    EXPECT_EQ(bench.view.lastStatus(), "Terminal over COM1");
    EXPECT_EQ(bench.view.timers.at(CDownloadDialog::kTerminalTimer), 30ms);
    EXPECT_FALSE(bench.view.timers.contains(CDownloadDialog::kWatchTimer));
    EXPECT_FALSE(bench.view.isEnabled(Control::StartDownload));
    EXPECT_FALSE(bench.view.isEnabled(Control::Backup));
    // The poll only listens: nothing goes out while the user types nothing.
    bench.wire.bytes.clear();
    bench.poll(2s);
    EXPECT_EQ(bench.wire.bytes, "");

    bench.window->OnTerminalOnOff();
    EXPECT_FALSE(bench.window->terminalOn());
    EXPECT_FALSE(bench.view.terminalShown);
    EXPECT_EQ(bench.view.captions[Control::TerminalOnOff], "Show terminal");
    EXPECT_FALSE(bench.view.timers.contains(CDownloadDialog::kTerminalTimer));
    EXPECT_EQ(bench.view.timers.at(CDownloadDialog::kWatchTimer), 500ms);
    ASSERT_TRUE(bench.tick());
    EXPECT_TRUE(bench.window->device().deviceIdentified);
    EXPECT_TRUE(bench.view.isEnabled(Control::StartDownload));
}

TEST(WindowTerminal, TypedLineGoesOutByteByByteAndTheAnswerIsShown) {
    TerminalBench bench;
    bench.switchOn();
    bench.type("tell version");
    EXPECT_EQ(bench.wire.bytes, "tell version\r");
    EXPECT_EQ(bench.view.terminalText, "tell version\nVersion: 30\nBoot> ");

    // Cursor keys go out as escape sequences (left as nothing) and the monitor swallows
    // them; a backspace erases on both sides.
    bench.wire.bytes.clear();
    bench.window->OnTerminalText("tell x");
    bench.window->OnTerminalKey(TerminalKey::CursorUp);
    bench.window->OnTerminalKey(TerminalKey::CursorLeft);
    bench.window->OnTerminalKey(TerminalKey::CursorRight);
    bench.window->OnTerminalKey(TerminalKey::CursorDown);
    bench.window->OnTerminalText("\bdrives");
    EXPECT_EQ(bench.window->terminal().inputLine(), "tell drives");
    bench.window->OnTerminalKey(TerminalKey::Enter);
    bench.poll();
    EXPECT_EQ(bench.wire.bytes, "tell x\x1b[A\x1b[C\x1b[B\bdrives\r");
    EXPECT_NE(bench.view.terminalText.find("Boot> tell drives\nDrives: "), std::string::npos);
    EXPECT_TRUE(bench.window->terminal().inputLine().empty());
}

TEST(WindowTerminal, PasteIsTypedAndCharactersBeyondLatin1AreNotSent) {
    TerminalBench bench;
    bench.switchOn();
    bench.window->OnTerminalText("tell version\r\ntell\u20ac drives\n");
    bench.poll();
    EXPECT_EQ(bench.wire.bytes, "tell version\rtell drives\r");
    EXPECT_EQ(bench.view.lastStatus(),
              "Not sent: the serial line carries ISO 8859-1 characters only");
    bench.wire.bytes.clear();
    bench.window->OnTerminalText("\u00e9\xff");  // é, and a byte that is no UTF-8
    EXPECT_EQ(bench.wire.bytes, "\xe9");
}

TEST(WindowTerminal, WithoutAPortTypingFailsWithTheWriteError) {
    TerminalBench bench;
    bench.noPorts = true;
    bench.makeWindowOn(bench.view, bench.view, {}, &bench.wire);
    bench.window->OnInitDialog();
    bench.switchOn();
    EXPECT_EQ(bench.view.lastStatus(), "Terminal without connection");
    bench.window->OnTerminalText("ab");
    ASSERT_EQ(bench.view.messages.size(), 1u);  // one box, and the rest is not tried
    EXPECT_EQ(bench.view.messages[0].text, "Serial line write error!");
    EXPECT_EQ(bench.window->terminal().inputLine(), "a");
}

TEST(WindowTerminal, ThePortGoingAwayAndComingBack) {
    TerminalBench bench;
    bench.switchOn();
    bench.faults.gone = true;
    bench.poll(60ms);
    EXPECT_EQ(bench.view.lastStatus(), "Terminal without connection");
    EXPECT_TRUE(bench.window->terminal().lineLost());
    bench.window->OnTerminalText("x");
    EXPECT_EQ(bench.view.messages.back().text, "Serial line write error!");
    bench.poll(2s);  // tried again every 500 ms, and each try fails at once
    EXPECT_EQ(bench.view.lastStatus(), "Terminal without connection");

    bench.faults.gone = false;
    bench.poll(600ms);
    EXPECT_EQ(bench.view.lastStatus(), "Terminal over COM1");
    bench.view.terminalText.clear();
    bench.wire.bytes.clear();
    bench.type("tell version");
    EXPECT_EQ(bench.wire.bytes, "tell version\r");  // the "x" never went out
    EXPECT_EQ(bench.view.terminalText, "tell version\nVersion: 30\nBoot> ");
}

// Local echo, time stamps and the command keys after Ctrl-T, as typed into the window.
TEST(WindowTerminal, EchoStampsAndCommandKeys) {
    struct Case {
        const char* name;
        bool echo, stamps;
        std::string typed;  // then Enter
        std::string sent;
        std::string shownPattern;  // the whole text, as a regular expression
        std::string message;       // the last message box, when one is expected
    };
    const std::string stamp = R"(\[[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\] )";
    const std::string anything = R"([\s\S]*)";
    const Case cases[] = {
        {"echo", true, false, "tell version", "tell version\r",
         "tell version\ntell version\nVersion: 30\nBoot> ", ""},
        {"echo of a mended typo", true, false, "tell x\bversion", "tell x\bversion\r",
         "tell version\ntell version\nVersion: 30\nBoot> ", ""},
        {"stamps", false, true, "tell version", "tell version\r",
         stamp + "tell version\n" + stamp + "Version: 30\n" + stamp + "Boot> ", ""},
        {"Ctrl-T e turns echo on", false, false,
         "\x14"
         "etell version",
         "tell version\r", "tell version\ntell version\nVersion: 30\nBoot> ", ""},
        {"Ctrl-T t turns stamps off", false, true,
         "\x14"
         "ttell version",
         "tell version\r", "tell version\nVersion: 30\nBoot> ", ""},
        {"Ctrl-T ? shows the keys and sends nothing", false, false, "\x14?", "\r", anything,
         "Terminal keys: Ctrl-T, then\n  ?  this help"},
        {"Ctrl-T twice sends Ctrl-T once", false, false, "\x14\x14", "\x14\r", anything, ""},
        {"an unknown command key is dropped", false, false, "\x14xtell version", "tell version\r",
         "tell version\nVersion: 30\nBoot> ", ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        TerminalBench bench;
        bench.switchOn();
        bench.window->OnTerminalEcho(test.echo);
        bench.window->OnTerminalTimestamps(test.stamps);
        bench.type(test.typed);
        EXPECT_EQ(bench.wire.bytes, test.sent);
        EXPECT_TRUE(std::regex_match(bench.view.terminalText, std::regex(test.shownPattern)))
            << bench.view.terminalText;
        if (!test.message.empty()) {
            ASSERT_FALSE(bench.view.messages.empty());
            EXPECT_EQ(bench.view.messages.back().text.rfind(test.message, 0), 0u)
                << bench.view.messages.back().text;
            EXPECT_EQ(bench.view.messages.back().text.find("Ctrl-]"), std::string::npos);
        }
    }
}

// The rate goes on the line at once: at another rate than the monitor's, its answer is
// garbled; back at 57600 it reads again. Clear empties the text; Save writes it.
TEST(WindowTerminal, RateClearAndSave) {
    TerminalBench bench;
    bench.switchOn();
    bench.window->OnTerminalRate(115200);
    EXPECT_EQ(bench.window->terminal().settings().baud, 115200u);
    bench.type("tell version");
    EXPECT_EQ(bench.view.terminalText.find("Version: 30"), std::string::npos);
    bench.window->OnTerminalRate(57600);
    bench.type("");  // ends the garbled line in the monitor
    bench.poll(2s);
    bench.window->OnTerminalClear();
    EXPECT_EQ(bench.view.terminalText, "");
    bench.type("tell version");
    EXPECT_EQ(bench.view.terminalText, "tell version\nVersion: 30\nBoot> ");

    bench.view.chosenSaveFile = (bench.folder / "terminal.txt").string();
    bench.window->OnTerminalSave();
    EXPECT_EQ(bench.view.proposedNames.back(), "terminal.txt");
    std::ifstream saved(*bench.view.chosenSaveFile);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), bench.view.terminalText);
    EXPECT_EQ(bench.view.lastStatus(), "Terminal text saved in " + *bench.view.chosenSaveFile);
    // A folder that does not exist: the message says why, and the text stays.
    bench.view.chosenSaveFile = (bench.folder / "missing" / "terminal.txt").string();
    bench.window->OnTerminalSave();
    ASSERT_FALSE(bench.view.messages.empty());
    EXPECT_EQ(bench.view.messages.back().text.rfind("The terminal text was not saved:\n", 0), 0u);
    EXPECT_EQ(bench.view.terminalText, "tell version\nVersion: 30\nBoot> ");
}

TEST(WindowTerminal, ApplicationOutputFloodKeepsTheTextUnderTheLimit) {
    TerminalBench bench;
    bench.controller.setApplicationTime(100s);
    bench.controller.setApplicationOutput(1ms);
    bench.switchOn();
    bench.type("call 00110000");
    size_t largest = 0;
    for (int tick = 0; tick < 400; ++tick) {
        bench.poll(30ms);
        largest = std::max(largest, bench.view.terminalText.size());
        ASSERT_EQ(bench.view.terminalText.rfind("Application running: line ", 0) == 0 ||
                      bench.view.terminalText.rfind("call", 0) == 0,
                  true);
    }
    EXPECT_LE(largest, kTerminalTextLimit);
    EXPECT_GT(largest, kTerminalTextLimit - 8000);
    EXPECT_NE(bench.view.terminalText.find("line 012000"), std::string::npos);
}

TEST(WindowTerminal, ApplicationStartOnAUsbAdapterReopensTheReenumeratedPort) {
    // The DMX610 leaves the monitor through its USB port, which goes and comes back.
    TerminalBench bench("dmx610", true);
    ASSERT_TRUE(bench.tick());
    ASSERT_TRUE(bench.window->device().deviceIdentified);
    bench.switchOn();
    bench.faults.refusedOpens = 2;
    const Millis before = bench.clock.now();
    bench.type("run appl");
    // 1500 ms for the device, two refused opens with 1000 ms after each, then the third.
    EXPECT_EQ(bench.clock.now() - before, 3500ms + 300ms);
    EXPECT_EQ(bench.wire.bytes, "run appl\r\r");
    EXPECT_EQ(bench.view.lastStatus(), "Terminal over COM1");
    EXPECT_TRUE(bench.window->terminal().inputLine().empty());

    // Four refused opens: the line stays closed, and is tried again from the poll.
    bench.controller.setApplicationTime(1ms);
    bench.poll(1s);
    bench.faults.refusedOpens = 4;
    bench.wire.bytes.clear();
    bench.type("call 0");
    EXPECT_EQ(bench.wire.bytes, "call 0\r");
    EXPECT_EQ(bench.view.lastStatus(), "Terminal without connection");
    bench.poll(1s);
    EXPECT_EQ(bench.view.lastStatus(), "Terminal over COM1");
    bench.wire.bytes.clear();
    bench.type("tell version");
    EXPECT_EQ(bench.wire.bytes, "tell version\r");
}

TEST(WindowTerminal, WithoutUsbTheApplicationStartKeepsThePort) {
    TerminalBench bench("dmx610", false);
    ASSERT_TRUE(bench.tick());
    bench.switchOn();
    const Millis before = bench.clock.now();
    bench.type("call 0");
    EXPECT_EQ(bench.clock.now() - before, 300ms);
    EXPECT_EQ(bench.wire.bytes, "call 0\r");
}

}  // namespace
}  // namespace tarmix
