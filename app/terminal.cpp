#include "app/terminal.h"

#include "lang/catalog.h"
#include "link/connection_watch.h"

namespace tarmix {

namespace {

constexpr int kTextTerminalOverCom = 60450;       // "Terminal over COM"
constexpr int kTextTerminalWithoutLink = 60451;   // "Terminal without connection "
constexpr int kTextSerialLineWriteError = 60624;  // "Serial line write error!"

constexpr char kNotLatin1Note[] = "Not sent: the serial line carries ISO 8859-1 characters only";

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

}  // namespace

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
    ShowConnection();
}

void CTerminal::ShowConnection() {
    if (comNumber_ <= 0)
        view_.setStatus(LoadText(kTextTerminalWithoutLink));
    else
        view_.setStatus(LoadText(kTextTerminalOverCom) + std::to_string(comNumber_));
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
    const TerminalUpdate update = text_.Take(received);
    if (!update.empty()) view_.updateTerminal(update);
}

void CTerminal::LoseLine() {
    link_->Close();
    lineLost_ = true;
    nextReopen_ = clock_.now() + kReopenPeriod;
    view_.setStatus(LoadText(kTextTerminalWithoutLink));
}

void CTerminal::TryReopen() {
    if (clock_.now() < nextReopen_) return;
    nextReopen_ = clock_.now() + kReopenPeriod;
    // One open, no waiting: the tick must stay short.
    if (link_->Open(link_->portName()) != 0 || link_->Configure(CSerial::kLinkBaud) != 0) {
        link_->Close();
        if (!lineLost_) {
            lineLost_ = true;
            view_.setStatus(LoadText(kTextTerminalWithoutLink));
        }
        return;
    }
    lineLost_ = false;
    ShowConnection();
}

bool CTerminal::Send(std::string_view bytes) {
    if (bytes.empty()) return true;
    const bool written =
        link_ != nullptr &&
        link_->WriteBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) == 0;
    if (!written) view_.showMessage(LoadText(kTextSerialLineWriteError), "", MessageIcon::Error);
    return written;
}

bool CTerminal::SendCharacter(char32_t character) {
    const std::optional<char> byte = ByteForCharacter(character);
    if (!byte) {
        view_.setStatus(kNotLatin1Note);
        return true;
    }
    if (*byte == kBackspace || *byte == kDelete) {
        if (!inputLine_.empty()) inputLine_.pop_back();
    } else if (inputLine_.size() < kInputLineLimit) {
        inputLine_ += *byte;  // kept also when it cannot be written
    }
    return Send(std::string_view(&*byte, 1));
}

void CTerminal::OnKey(TerminalKey key) {
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
    Send(BytesForKey(TerminalKey::Enter));
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
    if (ReopenLink(*link_, true) != 0) {
        link_->Close();
        lineLost_ = true;
        nextReopen_ = clock_.now() + kReopenPeriod;
        view_.setStatus(LoadText(kTextTerminalWithoutLink));
        return;
    }
    lineLost_ = false;
    Send(BytesForKey(TerminalKey::Enter));
}

}  // namespace tarmix
