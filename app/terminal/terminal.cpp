#include "app/terminal/terminal.h"

#include <ctime>

#include "lang/catalog.h"
#include "lang/text_names.h"
#include "link/connection_watch.h"

namespace tarmix {

namespace {

// A typed line that makes the device leave its monitor.
constexpr std::string_view kApplicationStarts[] = {"call ", "run appl"};

constexpr char kCarriageReturn[] = "\r";
constexpr char kBackspace = '\b';
constexpr char kDelete = 0x7f;

// The next character of UTF-8 text; an ill-formed sequence counts as one character the
// line cannot carry (U+FFFD).
char32_t nextCharacter(std::string_view& text) {
    const auto lead = static_cast<unsigned char>(text.front());
    const int length = lead < 0x80       ? 1
                       : lead >> 5 == 6  ? 2
                       : lead >> 4 == 14 ? 3
                       : lead >> 3 == 30 ? 4
                                         : 0;
    if (length == 0 || text.size() < size_t(length)) {
        text.remove_prefix(1);
        return 0xfffd;
    }
    char32_t character = length == 1 ? lead : lead & (0x7f >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[size_t(i)]);
        if (next >> 6 != 2) {
            text.remove_prefix(size_t(i));
            return 0xfffd;
        }
        character = character << 6 | (next & 0x3f);
    }
    text.remove_prefix(size_t(length));
    return character;
}

// The local time of `when` by a strftime format, with its milliseconds when `millis`.
std::string localTime(std::chrono::system_clock::time_point when, const char* format, bool millis) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char text[40];
    size_t length = std::strftime(text, sizeof text, format, &parts);
    if (millis) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()) % 1000;
        length += size_t(std::snprintf(text + length, sizeof text - length, ".%03d",
                                       int((ms.count() + 1000) % 1000)));
    }
    return std::string(text, length);
}

}  // namespace

std::string TerminalKeyHelp(bool quitKey) {
    std::string help = LoadText(text::kKeyHelp);
    if (quitKey) help += "\n" + LoadText(text::kQuitKeyHelp);
    return help;
}

std::string LineStamp(std::chrono::system_clock::time_point when) {
    return "[" + localTime(when, "%H:%M:%S", true) + "] ";
}

std::string LineMarker(bool back, std::chrono::system_clock::time_point when) {
    return "\r\n[tarmix " + localTime(when, "%Y-%m-%d %H:%M:%S", false) + ": " +
           LoadText(back ? text::kLineBack : text::kLineWentAway) + "]\r\n";
}

std::string_view BytesForKey(TerminalKey key) {
    switch (key) {
        case TerminalKey::Enter:
            return kCarriageReturn;
        case TerminalKey::CursorUp:
            return "\x1b[A";
        case TerminalKey::CursorRight:
            return "\x1b[C";
        case TerminalKey::CursorDown:
            return "\x1b[B";
        case TerminalKey::CursorLeft:
            break;
    }
    return {};
}

std::optional<char> ByteForCharacter(char32_t character) {
    if (character > 0xff) return std::nullopt;
    return static_cast<char>(character);
}

void CTerminal::Attach(CSerial* link, int comNumber) {
    link_ = link;
    comNumber_ = comNumber;
    lineLost_ = false;
    inputLine_.clear();
    commandPending_ = false;
    // The line opened at the monitor's rate; the terminal's own goes on it, and its
    // controls show the settings.
    if (link_ != nullptr && link_->IsOpen() && settings_.baud != CSerial::kLinkBaud)
        SetBaud(settings_.baud);
    else
        view_.terminalSettingsChanged(settings_);
    ShowConnection();
}

bool CTerminal::SetBaud(uint32_t baud) {
    settings_.baud = baud;
    view_.terminalSettingsChanged(settings_);
    if (link_ == nullptr || !link_->IsOpen() || link_->Configure(baud) == 0) return true;
    view_.showMessage(
        LoadText(text::kErrorWhileInit) + " " + link_->portName() + " " + std::to_string(baud), "",
        MessageIcon::Error);
    return false;
}

void CTerminal::SetLocalEcho(bool on) {
    settings_.localEcho = on;
    view_.terminalSettingsChanged(settings_);
}

void CTerminal::SetTimestamps(bool on) {
    settings_.timestamps = on;
    view_.terminalSettingsChanged(settings_);
}

void CTerminal::Clear() {
    const TerminalUpdate update = text_.Clear();
    if (!update.empty()) view_.updateTerminal(update);
}

void CTerminal::Show(std::string_view bytes) {
    const std::string stamp =
        settings_.timestamps ? LineStamp(std::chrono::system_clock::now()) : std::string();
    const TerminalUpdate update = text_.Take(bytes, stamp);
    if (!update.empty()) view_.updateTerminal(update);
}

void CTerminal::SetLineLost(bool lost) {
    if (lost == lineLost_) return;
    lineLost_ = lost;
    view_.lineChanged(!lost);
}

void CTerminal::ShowConnection() {
    if (comNumber_ <= 0)
        view_.setStatus(LoadText(text::kTerminalWithoutLink));
    else
        view_.setStatus(LoadText(text::kTerminalOverCom) + std::to_string(comNumber_));
}

void CTerminal::Poll() {
    if (link_ == nullptr) return;
    if (lineLost_ || (!link_->IsOpen() && !link_->portName().empty())) return TryReopen();
    std::string received;
    if (link_->ReceiveText(received, kReceiveCapacity, 0, Millis{0}) != 0) {
        LoseLine();
        if (received.empty()) return;
    }
    if (received.empty()) return;
    received_ += received.size();
    Show(received);
}

void CTerminal::LoseLine() {
    link_->Close();
    SetLineLost(true);
    nextReopen_ = clock_.now() + kReopenPeriod;
    view_.setStatus(LoadText(text::kTerminalWithoutLink));
}

void CTerminal::TryReopen() {
    if (clock_.now() < nextReopen_) return;
    nextReopen_ = clock_.now() + kReopenPeriod;
    // One open, no waiting: the tick must stay short.
    if (link_->Open(link_->portName()) != 0 || link_->Configure(settings_.baud) != 0) {
        link_->Close();
        if (!lineLost_) {
            SetLineLost(true);
            view_.setStatus(LoadText(text::kTerminalWithoutLink));
        }
        return;
    }
    SetLineLost(false);
    ShowConnection();
}

bool CTerminal::Send(std::string_view bytes) {
    if (bytes.empty()) return true;
    const bool written =
        link_ != nullptr &&
        link_->WriteBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) == 0;
    if (!written) view_.showMessage(LoadText(text::kSerialLineWriteError), "", MessageIcon::Error);
    return written;
}

bool CTerminal::SendCharacter(char32_t character) {
    const std::optional<char> byte = ByteForCharacter(character);
    if (!byte) {
        view_.setStatus(LoadText(text::kNotLatin1));
        return true;
    }
    if (commandPending_) {
        RunCommand(*byte);
        return true;
    }
    if (*byte == kCommandKey) {
        commandPending_ = true;
        return true;
    }
    if (*byte == kBackspace || *byte == kDelete) {
        if (!inputLine_.empty()) inputLine_.pop_back();
    } else if (inputLine_.size() < kInputLineLimit) {
        inputLine_ += *byte;  // kept also when it cannot be written
    }
    if (!Send(std::string_view(&*byte, 1))) return false;
    // Local echo shows DEL as the backspace it stands for.
    if (settings_.localEcho) Show(std::string(1, *byte == kDelete ? kBackspace : *byte));
    return true;
}

void CTerminal::RunCommand(char key) {
    commandPending_ = false;
    for (const auto& [letter, command] : kCommandKeys) {
        if (letter != key) continue;
        switch (command) {
            case TerminalCommand::Help:
                view_.showMessage(TerminalKeyHelp(quitKeyInHelp_), "", MessageIcon::Information);
                break;
            case TerminalCommand::ToggleEcho:
                SetLocalEcho(!settings_.localEcho);
                view_.setStatus(LoadText(settings_.localEcho ? text::kEchoOn : text::kEchoOff));
                break;
            case TerminalCommand::ToggleTimestamps:
                SetTimestamps(!settings_.timestamps);
                view_.setStatus(
                    LoadText(settings_.timestamps ? text::kStampsOn : text::kStampsOff));
                break;
            case TerminalCommand::SendCommandKey:
                Send(std::string_view(&kCommandKey, 1));
                break;
        }
    }
}

void CTerminal::OnKey(TerminalKey key) {
    commandPending_ = false;  // a key that is no command key ends the command
    if (key == TerminalKey::Enter) return Enter();
    Send(BytesForKey(key));
}

void CTerminal::OnText(std::string_view utf8) {
    while (!utf8.empty()) {
        if (utf8.front() == '\r' || utf8.front() == '\n') {
            // "\r\n" is one line end.
            if (utf8.front() == '\r' && utf8.size() > 1 && utf8[1] == '\n') utf8.remove_prefix(1);
            utf8.remove_prefix(1);
            Enter();
            continue;
        }
        if (!SendCharacter(nextCharacter(utf8))) return;
    }
}

void CTerminal::Enter() {
    commandPending_ = false;
    if (Send(BytesForKey(TerminalKey::Enter)) && settings_.localEcho)
        Show(BytesForKey(TerminalKey::Enter));
    bool leavesMonitor = false;
    for (std::string_view start : kApplicationStarts)
        leavesMonitor = leavesMonitor || inputLine_.find(start) != std::string::npos;
    inputLine_.clear();
    if (leavesMonitor && link_ != nullptr && link_->usbAdapter) ReopenAfterApplicationStart();
}

void CTerminal::ReopenAfterApplicationStart() {
    // The device re-enumerates its USB port: the old one is gone and comes back after a
    // while, perhaps under another device name (the port map holds its stable name).
    WaitCursor wait(view_);
    view_.lineChanged(false);
    if (ReopenLink(*link_, true) != 0 ||
        (settings_.baud != CSerial::kLinkBaud && link_->Configure(settings_.baud) != 0)) {
        link_->Close();
        lineLost_ = true;
        nextReopen_ = clock_.now() + kReopenPeriod;
        view_.setStatus(LoadText(text::kTerminalWithoutLink));
        return;
    }
    lineLost_ = false;
    view_.lineChanged(true);
    Send(BytesForKey(TerminalKey::Enter));
}

}  // namespace tarmix
