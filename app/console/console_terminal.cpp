#include "app/console/console_terminal.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "app/options/command_line.h"
#include "app/port_problem.h"
#include "app/settings.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/serial.h"
#include "platform/raw_console.h"
#include "platform/replacing_file.h"

namespace tarmix {

namespace {

constexpr char kEscape = 0x1b;
constexpr char kDelete = 0x7f;
constexpr char kBackspace[] = "\b";
// After the input has ended, what is still coming is shown until the line is quiet this
// long.
constexpr Millis kQuietAfterInput{500};
constexpr Millis kLongestAfterInput{5000};

// The length of the UTF-8 character that starts with `lead` (1 for anything else).
size_t utf8Length(unsigned char lead) {
    return lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 1;
}

// Writes all of `bytes` to `fd`, waiting for a slow terminal.
void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(size_t(written));
        } else if (written < 0 && errno == EAGAIN) {
            pollfd ready{fd, POLLOUT, 0};
            poll(&ready, 1, 100);
        } else if (written < 0 && errno != EINTR) {
            return;  // the terminal is gone
        }
    }
}

// The console as the terminal's view: output as it comes, statuses and messages on their
// own lines of the message stream (the terminal is raw: lines end "\r\n").
class ConsoleTerminalView final : public TerminalView {
  public:
    ConsoleTerminalView(int output, std::ostream& messages, ReplacingFile& log)
        : output_(output), messages_(messages), log_(log) {}

    void updateTerminal(const TerminalUpdate& update) override {
        std::string bytes;
        for (const TerminalPiece& piece : update) {
            if (piece.kind == TerminalPiece::Text) bytes += piece.text;
            if (piece.kind == TerminalPiece::NewLine) bytes += "\r\n";
            if (piece.kind == TerminalPiece::Erase) bytes += "\b \b";
        }
        writeAll(output_, bytes);
    }
    void setStatus(const std::string& text) override {
        if (text == status_) return;
        status_ = text;
        say(text);
    }
    void showMessage(const std::string& text, const std::string&, MessageIcon) override {
        say(text);
    }
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    void setProgressRange(int, int) override {}
    void setProgress(int) override {}
    void setWaitCursor(bool) override {}
    void lineChanged(bool back) override {
        if (log_.isOpen()) log_.Write(LineMarker(back, std::chrono::system_clock::now()));
    }

    void say(std::string text) {
        // The terminal is raw: a line break of the text needs its carriage return.
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
            text.replace(at, 1, "\r\n");
        messages_ << "\r\n[tarmix: " << text << "]\r\n" << std::flush;
    }

  private:
    int output_;
    std::ostream& messages_;
    ReplacingFile& log_;
    std::string status_;
};

// Everything received, into the log file.
class ReceiveLog final : public WireObserver {
  public:
    explicit ReceiveLog(ReplacingFile& file) : file_(file) {}
    void onSent(Millis, const uint8_t*, size_t) override {}
    void onReceived(Millis, const uint8_t* data, size_t count) override {
        file_.Write(std::span<const uint8_t>(data, count));
    }

  private:
    ReplacingFile& file_;
};

// The command line's port, else the stored one (COM1 for one out of range); the language
// of the settings comes along.
int choosePort(const ConsoleTerminalSetup& setup) {
    Settings settings;
    ReadSettings(setup.settingsFolder, settings);
    CheckSettingValues(settings);
    setLanguageIndex(settings.languageIndex);
    const int port = setup.port.value_or(settings.selectedPort);
    return port >= 0 && port < kComPortCount ? port : 0;
}

}  // namespace

std::vector<ConsoleInput> ConsoleKeyReader::Take(std::string_view bytes) {
    std::string data = pending_ + std::string(bytes);
    pending_.clear();
    std::vector<ConsoleInput> inputs;
    auto text = [&inputs](std::string_view typed) {
        if (inputs.empty() || inputs.back().kind != ConsoleInput::Text)
            inputs.push_back({ConsoleInput::Text, TerminalKey::Enter, {}});
        inputs.back().text += typed;
    };
    size_t at = 0;
    while (at < data.size()) {
        const char c = data[at];
        if (c == kConsoleQuitKey) {
            inputs.push_back({ConsoleInput::Quit, TerminalKey::Enter, {}});
            return inputs;
        }
        if (c == kDelete) {
            text(kBackspace);
            ++at;
            continue;
        }
        if (c != kEscape) {
            const size_t length = utf8Length(static_cast<unsigned char>(c));
            if (at + length > data.size()) {
                pending_ = data.substr(at);  // the rest of the character comes next
                break;
            }
            text(std::string_view(data).substr(at, length));
            at += length;
            continue;
        }
        if (at + 1 == data.size()) {
            text(std::string_view(&kEscape, 1));  // the Escape key itself
            break;
        }
        const char introducer = data[at + 1];
        if (introducer != '[' && introducer != 'O') {
            text(std::string_view(&kEscape, 1));  // Alt with a key: ESC, then the key
            ++at;
            continue;
        }
        // A sequence ends with a byte from '@' to '~'.
        size_t end = at + 2;
        while (end < data.size() && (data[end] < '@' || data[end] > '~')) ++end;
        if (end == data.size()) {
            pending_ = data.substr(at);
            break;
        }
        if (end == at + 2) {
            static constexpr std::pair<char, TerminalKey> kCursorKeys[] = {
                {'A', TerminalKey::CursorUp},
                {'B', TerminalKey::CursorDown},
                {'C', TerminalKey::CursorRight},
                {'D', TerminalKey::CursorLeft}};
            for (const auto& [letter, key] : kCursorKeys)
                if (data[end] == letter) inputs.push_back({ConsoleInput::Key, key, {}});
        }
        at = end + 1;
    }
    return inputs;
}

int RunConsoleTerminal(ConsoleTerminalSetup setup, std::atomic<int>& stopSignal) {
    ReplacingFile log;
    ConsoleTerminalView view(setup.output, setup.messages, log);
    // Typing goes to the port asked for or to none: never to another controller.
    const int port = choosePort(setup);
    const std::string name = portName(port);
    Clock& clock = systemClock();
    CSerial serial(setup.portFactory, clock);
    if (serial.Open(name) != 0) {
        view.say(OpenErrorText(name, setup.portMap.resolve(name), serial.LastOpenFailure()));
        return kResultNoPort;
    }
    if (serial.Configure(setup.terminal.baud) != 0) {
        view.say(LoadText(text::kErrorWhileInit) + " " + name + " " +
                 std::to_string(setup.terminal.baud));
        return kResultNoPort;
    }

    ReceiveLog logObserver(log);
    std::string error;
    if (!setup.logFile.empty()) {
        if (!log.Open(setup.logFile, error)) {
            view.say(FormatText(text::kLogUnwritable, error));
            return kResultUsage;
        }
        serial.setObserver(&logObserver);
    }

    RawConsole raw(setup.input, stopSignal);
    setup.messages << "tarmix: "
                   << FormatText(text::kTerminalOn, name, setup.portMap.resolve(name),
                                 setup.terminal.baud)
                   << "\r\n"
                   << std::flush;
    CTerminal terminal(view, clock);
    terminal.SetBaud(setup.terminal.baud);
    terminal.SetLocalEcho(setup.terminal.localEcho);
    terminal.SetTimestamps(setup.terminal.timestamps);
    terminal.ShowQuitKeyInHelp();
    terminal.Attach(&serial, port + 1);
    ConsoleKeyReader keys;

    bool quit = false, inputEnded = false;
    Millis nextPoll = clock.now();
    Millis endBy{0}, quietBy{0};
    while (!quit && stopSignal == 0) {
        const Millis wait = std::max(Millis{0}, nextPoll - clock.now());
        pollfd typed{setup.input, short(inputEnded ? 0 : POLLIN), 0};
        poll(&typed, 1, int(wait.count()));
        if (typed.revents & (POLLIN | POLLHUP)) {
            char buffer[512];
            const ssize_t got = read(setup.input, buffer, sizeof buffer);
            if (got > 0) {
                for (const ConsoleInput& input : keys.Take(std::string_view(buffer, size_t(got)))) {
                    if (input.kind == ConsoleInput::Quit) quit = true;
                    if (quit) break;
                    if (input.kind == ConsoleInput::Key) terminal.OnKey(input.key);
                    if (input.kind == ConsoleInput::Text) terminal.OnText(input.text);
                }
            } else if (got == 0 || errno != EINTR) {
                inputEnded = true;
                endBy = clock.now() + kLongestAfterInput;
                quietBy = clock.now() + kQuietAfterInput;
            }
        }
        if (clock.now() < nextPoll) continue;
        nextPoll = clock.now() + CTerminal::kPollPeriod;
        const size_t before = terminal.received();
        terminal.Poll();
        if (terminal.received() != before) quietBy = clock.now() + kQuietAfterInput;
        if (inputEnded && (clock.now() >= quietBy || clock.now() >= endBy)) break;
    }
    const bool interrupted = stopSignal != 0 && !quit;
    serial.Close();
    setup.messages << "\r\ntarmix: "
                   << LoadText(interrupted ? text::kClosedBySignal : text::kTerminalClosed)
                   << "\r\n"
                   << std::flush;
    if (log.isOpen() && !log.Commit(error)) {
        setup.messages << "tarmix: " << FormatText(text::kLogNotWritten, error) << "\n";
        return kResultUsage;
    }
    return interrupted ? 128 + stopSignal : kResultOk;  // as a shell reports a signal
}

}  // namespace tarmix
