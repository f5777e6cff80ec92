// CTerminal: a plain serial terminal on the device link, without any toolkit. What the
// controller sends is shown through a TerminalView; every key the user types goes to the
// controller at once, one byte per character, and is not shown locally (the monitor's echo
// shows it). The window and the console terminal both drive one.
//
// Key table:
//   a character up to U+00FF    that byte (ISO 8859-1); Backspace is 0x08
//   a character beyond U+00FF   nothing; the status line says why
//   Enter                       0x0D, then the Enter handling below
//   cursor up, right, down      ESC "[A", ESC "[C", ESC "[B"
//   cursor left                 nothing
//
// Enter handling: on a USB adapter of a controller that re-enumerates its port when it
// leaves the monitor (the link's usbAdapter flag), a typed line containing "call " or
// "run appl" closes the port, waits for the device to come back, reopens it by its name at
// 57600 and sends one more carriage return.
//
// A line that fails while the terminal is on (the adapter pulled out, the device gone) is
// closed and opened again by its name every kReopenPeriod, so the terminal goes on once the
// port is back.
//
// Command keys: Ctrl-T starts one (it is not sent); the key after it says what to do (see
// kCommandKeys); Ctrl-T twice sends one Ctrl-T. The user chooses the line's rate, local
// echo (what is typed is shown as it goes out, for a device that does not echo) and time
// stamps (each shown line starts with the local time its first character came).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/terminal/terminal_text.h"
#include "link/serial.h"
#include "platform/view.h"

namespace tarmix {

enum class TerminalKey { Enter, CursorUp, CursorRight, CursorDown, CursorLeft };

// The bytes a key sends; empty for cursor left.
std::string_view BytesForKey(TerminalKey key);

// The byte a character sends; nullopt for a character the line cannot carry.
std::optional<char> ByteForCharacter(char32_t character);

// What the user chose for the terminal.
struct TerminalSettings {
    uint32_t baud = CSerial::kLinkBaud;  // the line's rate while the terminal is on
    bool localEcho = false;
    bool timestamps = false;
};

// Where the terminal shows what arrives, besides the View's status line and messages.
class TerminalView : public View {
  public:
    virtual void updateTerminal(const TerminalUpdate& update) = 0;
    // The line went away (false) or came back (true) while the terminal was on.
    virtual void lineChanged(bool back) { (void)back; }
    // Everything the terminal shows, lines ending "\n" (for saving it).
    virtual std::string shownTerminalText() const { return {}; }
    // The terminal's settings changed (by its controls or by a command key).
    virtual void terminalSettingsChanged(const TerminalSettings& settings) { (void)settings; }
};

// The rates the terminal offers.
inline constexpr uint32_t kTerminalRates[] = {9600, 19200, 38400, 57600, 115200, 230400};

// The key that starts a command key.
inline constexpr char kCommandKey = 0x14;  // Ctrl-T

// The command keys after Ctrl-T.
enum class TerminalCommand { Help, ToggleEcho, ToggleTimestamps, SendCommandKey };
inline constexpr std::pair<char, TerminalCommand> kCommandKeys[] = {
    {'?', TerminalCommand::Help},
    {'h', TerminalCommand::Help},
    {'e', TerminalCommand::ToggleEcho},
    {'t', TerminalCommand::ToggleTimestamps},
    {kCommandKey, TerminalCommand::SendCommandKey}};

// The key help, in the user's language; `quitKey` adds the line of the console's quit key.
std::string TerminalKeyHelp(bool quitKey);

// "[hh:mm:ss.mmm] ": the stamp of a line that began at `when` (local time).
std::string LineStamp(std::chrono::system_clock::time_point when);

// The line a log gets where the line went away or came back: on a line of its own, with
// the local date and time.
std::string LineMarker(bool back, std::chrono::system_clock::time_point when);

class CTerminal {
  public:
    // The receive poll: every tick takes at once whatever waits, at most this much.
    static constexpr Millis kPollPeriod{30};
    static constexpr size_t kReceiveCapacity = 8193;
    // A lost line is tried again this often.
    static constexpr Millis kReopenPeriod{500};
    // The monitor takes this many characters into a line; the input line keeps as many.
    static constexpr size_t kInputLineLimit = 300;

    CTerminal(TerminalView& view, Clock& clock) : view_(view), clock_(clock) {}

    // The link the terminal talks on, set each time it is switched on (nullptr: none), and
    // the number of its COM port for the status line (0: no port chosen). Shows the status.
    void Attach(CSerial* link, int comNumber);
    // Stops talking on the link; the shown text stays.
    void Detach() { link_ = nullptr; }

    const TerminalSettings& settings() const { return settings_; }
    // Sets the line at the new rate at once when it is open; false (after the message) when
    // the port refuses it.
    bool SetBaud(uint32_t baud);
    void SetLocalEcho(bool on);
    void SetTimestamps(bool on);
    // The console has a quit key of its own: the key help names it.
    void ShowQuitKeyInHelp() { quitKeyInHelp_ = true; }

    // Empties the shown text.
    void Clear();

    // One tick of the receive poll: never waits.
    void Poll();

    void OnKey(TerminalKey key);
    // Typed or pasted text (UTF-8): each character as by the key table, and every line end
    // ("\r\n", "\r" or "\n") as Enter. Stops at the first character that cannot be written.
    void OnText(std::string_view utf8);

    // The characters typed since the last Enter.
    const std::string& inputLine() const { return inputLine_; }
    bool lineLost() const { return lineLost_; }
    // Bytes received since the terminal was made.
    size_t received() const { return received_; }
    // A command key (Ctrl-T) waits for the key after it.
    bool commandPending() const { return commandPending_; }

  private:
    // false (after the error message) when the bytes could not be written.
    bool Send(std::string_view bytes);
    bool SendCharacter(char32_t character);
    void Enter();
    void ReopenAfterApplicationStart();
    void LoseLine();
    void TryReopen();
    void ShowConnection();
    void Show(std::string_view bytes);
    void RunCommand(char key);
    void SetLineLost(bool lost);

    TerminalView& view_;
    Clock& clock_;
    CSerial* link_ = nullptr;
    int comNumber_ = 0;
    TerminalText text_;
    std::string inputLine_;
    bool lineLost_ = false;
    Millis nextReopen_{0};
    size_t received_ = 0;
    TerminalSettings settings_;
    bool commandPending_ = false;
    bool quitKeyInHelp_ = false;
};

}  // namespace tarmix
