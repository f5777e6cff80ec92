#include "sim/controller.h"

#include <algorithm>
#include <iterator>
#include <sstream>

#include "sim/monitor_text.h"

namespace tarmix::sim {

namespace {

// Value 3, the end of the EEPROM area, is where the EEPROM ends.
const std::vector<int> kFactoryCaps{1, 0x0000, int(Controller::kEepromSize), 0, 0};

std::vector<std::string> splitWords(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

}  // namespace

Controller::Controller(const ModelSpec& model, Clock& clock)
    : model_(model),
      clock_(clock),
      firmware_(model.firmware),
      driveSizesKb_(model.driveSizesKb),
      caps_(kFactoryCaps),
      eeprom_(kEepromSize, 0xff),
      memory_(model) {
    registerCommands();
}

void Controller::registerCommands() {
    auto plain = [](std::function<void()> f) { return [f](const Args&) { f(); }; };
    // A command that takes no words after its name.
    auto bare = [this](std::function<void()> f) {
        return [this, f](const Args& args) { args.empty() ? f() : refuse(kSyntaxError); };
    };
    auto with = [this](void (Controller::*f)(const Args&)) {
        return [this, f](const Args& args) { (this->*f)(args); };
    };
    commands_ = {
        {"please answer me", bare([this] { answerHandshake(); })},
        {"tell version", bare([this] { answerVersion(); })},
        {"tell drives", bare([this] { answerDrives(); })},
        {"parportCTRL test", bare([this] { answerParallelTest(); })},
        {"parportCTRL on", bare([this] { switchParallel(true); })},
        {"parportCTRL off", bare([this] { switchParallel(false); })},
        {"setbaudrate", with(&Controller::setBaudRate)},
        {"tell caps", bare([this] { tellCaps(); })},
        {"init caps", with(&Controller::initCaps)},
        {"burn", [this](const Args& args) { startBlock(false, args); }},
        {"verify", [this](const Args& args) { startBlock(true, args); }},
        {"dump", with(&Controller::dump)},
        {"read", with(&Controller::readMemory)},
        {"fill", with(&Controller::fill)},
        {"s3offset", with(&Controller::setS3Offset)},
        {"tell appl", bare([this] { tellApplication(); })},
        {"geteepromdata", with(&Controller::getEepromData)},
        {"seteepromdata", with(&Controller::setEepromData)},
        {"flash erase application", [this](const Args& args) { eraseApplication(args, false); }},
        {"flash erase sector", with(&Controller::eraseSector)},
        {"flash erase bootloader", bare([this] { eraseBootLoader(); })},
        {"flash program", with(&Controller::programFlash)},
        {"init drives", with(&Controller::initDrives)},
        {"format", with(&Controller::formatDrive)},
        {"mkdir", plain([this] { makeFolder(); })},
        {"del", plain([this] { deleteFile(); })},
        {"tree", with(&Controller::listTree)},
        {"dir", plain([this] { listFolder(); })},
        {"finfo", with(&Controller::answerFileInfo)},
        {"rmdir", plain([this] { removeFolder(); })},
        {"rtc init", with(&Controller::setClock)},
        {"call", with(&Controller::callApplication)},
        {"run appl", bare([this] { runApplication(); })},
        {"reset", bare([this] { restart(); })},
        {"file load", plain([this] { startFileLoad(); })},
        {"file dump", plain([this] { startFileDump(); })},
        // "flash %2d erase application %08x %08x": the bank width comes first.
        {"flash",
         [this](const Args& args) {
             const bool width = args.size() == 5 && (args[0] == "16" || args[0] == "32");
             if (!width || args[1] != "erase" || args[2] != "application")
                 return refuse(std::string(kUnknownCommand) + "flash");
             eraseApplication({args[3], args[4]}, true);
         }},
    };
    // Longest names first, so "tell drives" is not taken for a shorter command.
    std::sort(commands_.begin(), commands_.end(),
              [](const Command& a, const Command& b) { return a.name.size() > b.name.size(); });
}

void Controller::receive(std::string_view bytes) { take(kSerial, bytes); }

void Controller::receiveParallel(std::string_view bytes) {
    if (parallelOn_) take(kParallel, bytes);
}

void Controller::take(Source source, std::string_view bytes) {
    // Nobody reads the line.
    if (dead_ || awayFromMonitor() || clock_.now() < eepromBusyUntil_) return;
    if (block_ && clock_.now() - block_->lastByte > kBlockTimeout) {
        // The sender has given up on the block; so does the monitor.
        block_.reset();
        emit("Timeout");
        prompt();
    }
    if (source == kSerial) giveUpStalledTransfer();
    while (!bytes.empty()) {
        if (block_ && block_->source == source) {
            takeBlockData(bytes);
        } else if (source == kSerial && parallelOn_) {
            takeWhileParallelOn(bytes.front());
            bytes.remove_prefix(1);
        } else if (fileLoad_ && source == kSerial) {
            takeFileLoadData(bytes);
        } else if (fileDump_ && source == kSerial) {
            takeFileDumpAnswer(bytes);
        } else {
            takeCharacter(source, bytes.front());
            bytes.remove_prefix(1);
        }
    }
}

void Controller::takeCharacter(Source source, char c) {
    std::string& line = lines_[source];
    constexpr char kEscape = 0x1b;
    Escape& escape = escape_[source];
    if (escape == Escape::Bracket) {
        escape = Escape::None;  // the sequence's letter
        return;
    }
    if (escape == Escape::Started) {
        escape = c == '[' ? Escape::Bracket : Escape::None;
        if (c == '[') return;
    }
    if (c == kEscape) {
        escape = Escape::Started;
        return;
    }
    switch (c) {
        case '\r': {
            const std::string complete = std::move(line);
            line.clear();
            source_ = source;
            runLine(complete);
            return;
        }
        case '\n':
            return;
        case '\b':
        case 0x7f:
            if (!line.empty()) {
                line.pop_back();
                emit("\b \b");
            }
            return;
        default:
            if (line.size() < kLineCapacity) {
                line += c;
                emit(std::string(1, c));
            }
    }
}

void Controller::takeWhileParallelOn(char c) {
    static const std::string kSwitchOff = "parportCTRL off";
    std::string& line = lines_[kSerial];
    if (c != '\r') {
        if (c != '\n' && line.size() < kLineCapacity) line += c;
        return;
    }
    const std::string complete = std::move(line);
    line.clear();
    if (complete != kSwitchOff) return;
    emit(complete);
    source_ = kSerial;
    runLine(complete);
}

const Controller::Command* Controller::findCommand(const std::string& line, Args& args) const {
    for (const Command& command : commands_) {
        if (line.compare(0, command.name.size(), command.name) != 0) continue;
        if (line.size() > command.name.size() && line[command.name.size()] != ' ') continue;
        args = splitWords(line.substr(command.name.size()));
        return &command;
    }
    return nullptr;
}

void Controller::runLine(const std::string& line) {
    // An S-record typed or sent as a line goes into memory at the "s3offset" offset.
    if (line.size() >= 2 && line[0] == 'S' && std::isdigit(static_cast<unsigned char>(line[1]))) {
        takeSrecord(line);
        return;
    }
    const std::vector<std::string> words = splitWords(line);
    if (words.empty()) {
        prompt();
        return;
    }
    Args args;
    const Command* command = findCommand(line, args);
    if (!command) return refuse(kUnknownCommand + words.front());
    runningLine_ = line;
    command->run(args);
}

void Controller::emit(std::string bytes, Millis delay, uint32_t baudAfter) {
    outputCursor_ = std::max(outputCursor_, clock_.now()) + delay;
    // Plain text due at the same time joins the last chunk; fewer, larger writes.
    if (!output_.empty() && output_.back().dueAt == outputCursor_ && !output_.back().baudAfter) {
        output_.back().bytes += bytes;
        output_.back().baudAfter = baudAfter;
        return;
    }
    output_.push_back({outputCursor_, std::move(bytes), baudAfter});
}

std::optional<Chunk> Controller::takeDue(Millis now) {
    produceApplicationOutput(now);
    if (output_.empty() || output_.front().dueAt > now) return std::nullopt;
    Chunk due = std::move(output_.front());
    output_.pop_front();
    while (!due.baudAfter && !output_.empty() && output_.front().dueAt <= now) {
        due.bytes += output_.front().bytes;
        due.baudAfter = output_.front().baudAfter;
        output_.pop_front();
    }
    return due;
}

std::optional<Millis> Controller::nextDue() const {
    std::optional<Millis> next;
    if (!output_.empty()) next = output_.front().dueAt;
    if (applicationOutputPeriod_.count() > 0 && nextApplicationLine_ < monitorBackAt_)
        next = next ? std::min(*next, nextApplicationLine_) : nextApplicationLine_;
    return next;
}

void Controller::answerHandshake() {
    std::string text = "here I am : " + model_.modelText;
    // The size field stands at a fixed place of the answer, counted from the echo.
    const size_t echoLength = std::string("please answer me\r\n").size();
    const size_t sizeColumn = model_.sizePosition - echoLength;
    if (text.size() < sizeColumn) text.resize(sizeColumn, ' ');
    answerLine(text + model_.sizeField);
    prompt();
}

void Controller::answerVersion() {
    answerLine("Version: " + std::to_string(firmware_));
    prompt();
}

void Controller::answerDrives() {
    answerLine("Drives: " + std::to_string(driveSizesKb_[0]) + " " +
               std::to_string(driveSizesKb_[1]) + " " + std::to_string(driveSizesKb_[2]));
    prompt();
}

void Controller::answerParallelTest() {
    if (!model_.parallelPort) return refuse(std::string(kUnknownCommand) + "parportCTRL");
    answerLine("o.k.");
    prompt();
}

void Controller::switchParallel(bool on) {
    if (!model_.parallelPort) return refuse(std::string(kUnknownCommand) + "parportCTRL");
    parallelOn_ = on;
    if (!on) {
        // Whatever was still coming from the port is abandoned with it.
        lines_[kParallel].clear();
        if (block_ && block_->source == kParallel) block_.reset();
    }
    answerLine(on ? "ParPort aktiviert" : "ParPort deaktiviert");
    prompt();
}

bool Controller::uartCanRun(uint32_t baud) const {
    constexpr int kLastSlowMonitor = 14;
    if (baud == kMonitorStartBaud) return true;
    return baud == 115200 && model_.fastUart &&
           (firmware_ > kLastSlowMonitor || model_.fastOnAnyMonitor);
}

void Controller::setBaudRate(const Args& args) {
    static const std::vector<std::string> rates{"57600", "115200", "230400"};
    if (args.size() != 1 || std::find(rates.begin(), rates.end(), args[0]) == rates.end() ||
        !uartCanRun(uint32_t(std::stoul(args[0]))))
        return refuse(kBaudRateError);
    // The confirmation goes out at the old rate and the UART switches once it has been
    // sent; the next prompt comes at the new rate, when the PC sends an empty line.
    emit("\r\nBaudrate now " + args[0], Millis{0}, uint32_t(std::stoul(args[0])));
}

void Controller::tellCaps() {
    // Values 2 and 3 are addresses and go out in hexadecimal, the others in decimal.
    std::string text;
    for (size_t i = 0; i < caps_.size(); ++i) {
        if (i) text += ' ';
        text += i == 1 || i == 2 ? format("%04x", unsigned(caps_[i])) : std::to_string(caps_[i]);
    }
    answerLine(text);
    prompt();
}

void Controller::initCaps(const Args& args) {
    if (args.size() < kMinCaps || args.size() > kMaxCaps) return refuse(kSyntaxError);
    std::vector<int> caps(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        uint32_t hex = 0;
        const bool ok =
            i == 1 || i == 2 ? parseHexField(args[i], kHex04, hex) : parseDecimal(args[i], caps[i]);
        if (!ok) return refuse(kSyntaxError);
        if (i == 1 || i == 2) caps[i] = int(hex);
    }
    caps_ = std::move(caps);
    prompt();
}

}  // namespace tarmix::sim
