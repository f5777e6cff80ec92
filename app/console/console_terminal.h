// tarmix --terminal: the terminal on the console, for work over ssh or without a display.
//
// It takes the port of --port or --simulate, else the settings file's port, and no other
// (TARMIX_COMn, --port and --simulate decide what stands behind COM1 … COM6), opens
// it at 57600 without identifying the controller (so nothing is typed into a running
// application), puts the user's terminal into raw mode and then works as the window's
// terminal does: what the controller sends is shown, every key goes out by the same key
// table, and the same reopen follows a lost line. Ctrl-] quits; Ctrl-T starts the
// terminal's command keys (Ctrl-T ? shows them). The terminal settings are restored on
// every way out, SIGTERM and SIGHUP included. With a log file, everything received is also
// kept there, byte for byte, with a marked line of its own where the line went away and
// where it came back.
#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/terminal/terminal.h"
#include "platform/port_backend.h"
#include "platform/port_map.h"

namespace tarmix {

// The key that ends the console terminal: Ctrl-] (the byte 0x1D).
inline constexpr char kConsoleQuitKey = 0x1d;

// What the keys of a console terminal mean: the key table's keys, text to type, or the
// quit key.
struct ConsoleInput {
    enum Kind { Key, Text, Quit };
    Kind kind = Text;
    TerminalKey key = TerminalKey::Enter;
    std::string text;  // for Text: UTF-8, line ends included (they are Enter)
    friend bool operator==(const ConsoleInput&, const ConsoleInput&) = default;
};

// Turns the bytes a terminal sends for the user's keys into ConsoleInput. Cursor keys
// arrive as ESC "[A" or ESC "OA" (and so on); other escape sequences (function keys) are
// dropped; DEL, which most terminals send for Backspace, becomes the backspace 0x08 of the
// window's key table; a lone ESC at the end of a read is the Escape key.
class ConsoleKeyReader {
  public:
    std::vector<ConsoleInput> Take(std::string_view bytes);

  private:
    std::string pending_;  // an escape sequence or UTF-8 character cut by the read
};

struct ConsoleTerminalSetup {
    PortMap portMap;
    PortFactory portFactory;
    std::filesystem::path settingsFolder;  // holds Tarmix.ini
    std::optional<int> port;               // the command line's port, before the stored one
    int input;                             // the user's keys (a terminal, or a pipe)
    int output;                            // what the controller sends
    std::ostream& messages;                // the terminal's own messages
    std::string logFile;                   // empty: no log
    TerminalSettings terminal;             // rate, local echo, time stamps
};

// Runs until Ctrl-], the end of the input, or SIGTERM, SIGHUP, SIGINT or SIGQUIT, whose
// number lands in `stopSignal`. The exit code: 0, 128 + the number after a signal,
// kResultNoPort when the port cannot be opened, kResultUsage when the log cannot be
// written.
int RunConsoleTerminal(ConsoleTerminalSetup setup, std::atomic<int>& stopSignal);

}  // namespace tarmix
