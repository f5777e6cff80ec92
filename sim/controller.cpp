#include "sim/controller.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tarmix::sim {

namespace fs = std::filesystem;

namespace {

constexpr char kUnknownCommand[] = "Unknown command: ";
constexpr size_t kEepromSize = 8192;
const std::vector<int> kFactoryCaps{1, 0x0000, 0x0100, 0, 0};

std::vector<std::string> splitWords(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

bool readFile(const fs::path& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool writeFile(const fs::path& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return bool(out.flush());
}

}  // namespace

Controller::Controller(const ModelSpec& model, Clock& clock)
    : model_(model),
      clock_(clock),
      firmware_(model.firmware),
      driveSizesKb_(model.driveSizesKb),
      caps_(kFactoryCaps),
      eeprom_(kEepromSize, 0xff) {
    registerCommands();
}

void Controller::registerCommands() {
    auto plain = [](std::function<void()> f) { return [f](const auto&) { f(); }; };
    commands_ = {
        {"please answer me", plain([this] { answerHandshake(); })},
        {"tell version", plain([this] { answerVersion(); })},
        {"tell drives", plain([this] { answerDrives(); })},
        {"parportCTRL test", plain([this] { answerParallelTest(); })},
        {"parportCTRL on", plain([this] { switchParallel(true); })},
        {"parportCTRL off", plain([this] { switchParallel(false); })},
        {"setbaudrate", [this](const auto& args) { setBaudRate(args); }},
    };
    // Longest names first, so "tell drives" is not taken for a shorter command.
    std::sort(commands_.begin(), commands_.end(),
              [](const Command& a, const Command& b) { return a.name.size() > b.name.size(); });
}

void Controller::receive(std::string_view bytes) {
    for (char c : bytes) takeCharacter(c);
}

void Controller::takeCharacter(char c) {
    switch (c) {
        case '\r':
            runLine(line_);
            line_.clear();
            return;
        case '\n':
            return;
        case '\b':
        case 0x7f:
            if (!line_.empty()) {
                line_.pop_back();
                emit("\b \b");
            }
            return;
        default:
            if (line_.size() < kLineCapacity) {
                line_ += c;
                emit(std::string(1, c));
            }
    }
}

const Controller::Command* Controller::findCommand(const std::string& line,
                                                   std::vector<std::string>& args) const {
    for (const Command& command : commands_) {
        if (line.compare(0, command.name.size(), command.name) != 0) continue;
        if (line.size() > command.name.size() && line[command.name.size()] != ' ') continue;
        args = splitWords(line.substr(command.name.size()));
        return &command;
    }
    return nullptr;
}

void Controller::runLine(const std::string& line) {
    std::vector<std::string> args;
    const std::vector<std::string> words = splitWords(line);
    if (words.empty()) {
        prompt();
        return;
    }
    const Command* command = findCommand(line, args);
    if (!command) {
        answerLine(kUnknownCommand + words.front());
        prompt();
        return;
    }
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
    if (output_.empty()) return std::nullopt;
    return output_.front().dueAt;
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
    if (model_.parallelPort)
        answerLine("o.k.");
    else
        answerLine(std::string(kUnknownCommand) + "parportCTRL");
    prompt();
}

void Controller::switchParallel(bool on) {
    if (!model_.parallelPort) {
        answerLine(std::string(kUnknownCommand) + "parportCTRL");
    } else {
        parallelOn_ = on;
        answerLine(on ? "ParPort aktiviert" : "ParPort deaktiviert");
    }
    prompt();
}

void Controller::setBaudRate(const std::vector<std::string>& args) {
    static const std::vector<std::string> rates{"57600", "115200", "230400"};
    if (args.size() != 1 || std::find(rates.begin(), rates.end(), args[0]) == rates.end()) {
        answerLine("Baudrate not supported");
        prompt();
        return;
    }
    // The confirmation goes out at the old rate and the UART switches once it has been
    // sent; the next prompt comes at the new rate, when the PC sends an empty line.
    emit("\r\nBaudrate now " + args[0], Millis{0}, uint32_t(std::stoul(args[0])));
}

bool Controller::loadState(const fs::path& dir, std::string& error) {
    std::string text;
    if (readFile(dir / "caps.txt", text)) {
        std::istringstream in(text);
        std::vector<int> caps{std::istream_iterator<int>(in), std::istream_iterator<int>()};
        if (caps.size() >= 5 && caps.size() <= 10) caps_ = caps;
    }
    if (readFile(dir / "eeprom.bin", text) && !text.empty()) {
        eeprom_.assign(text.begin(), text.end());
        eeprom_.resize(kEepromSize, 0xff);
    }
    (void)error;
    return true;
}

bool Controller::saveState(const fs::path& dir, std::string& error) const {
    std::error_code failure;
    for (const char* drive : {"A", "B", "C"})
        fs::create_directories(dir / "drives" / drive, failure);
    if (failure) {
        error = "cannot create " + (dir / "drives").string() + ": " + failure.message();
        return false;
    }
    std::string caps;
    for (int value : caps_) caps += std::to_string(value) + "\n";
    if (!writeFile(dir / "caps.txt", caps) ||
        !writeFile(dir / "eeprom.bin", std::string(eeprom_.begin(), eeprom_.end()))) {
        error = "cannot write the state into " + dir.string();
        return false;
    }
    return true;
}

}  // namespace tarmix::sim
