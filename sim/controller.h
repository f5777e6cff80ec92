// The simulated boot monitor: takes the bytes the program sends, answers as a controller's
// monitor does, and keeps the device's state. It knows nothing of ptys or line speeds; a
// transport (the pty server, or an in-process port in tests) carries its bytes.
//
// The monitor echoes every character as it arrives. A CR runs the line: each line of the
// answer goes out preceded by CR LF, then the prompt "\r\nBoot> ".
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_models.h"

namespace tarmix::sim {

// A piece of output, due at a time. After it has gone out, the monitor's UART may switch
// to another rate (baudAfter, 0 for no change).
struct Chunk {
    Millis dueAt{0};
    std::string bytes;
    uint32_t baudAfter = 0;
};

class Controller {
  public:
    // The monitor takes at most this many characters into one command line.
    static constexpr size_t kLineCapacity = 300;

    Controller(const ModelSpec& model, Clock& clock);

    const ModelSpec& model() const { return model_; }
    void setFirmware(int version) { firmware_ = version; }

    // Bytes as the monitor's UART received them, now.
    void receive(std::string_view bytes);

    // The output due at `now`, up to and including the first chunk that switches the rate.
    std::optional<Chunk> takeDue(Millis now);
    // When the next output is due, if any is pending.
    std::optional<Millis> nextDue() const;

    // State directory: memory.srec, eeprom.bin, caps.txt, drives/A, drives/B, drives/C.
    // A missing or empty folder is a factory-fresh device. false with a reason on failure.
    bool loadState(const std::filesystem::path& dir, std::string& error);
    bool saveState(const std::filesystem::path& dir, std::string& error) const;

  private:
    using Handler = std::function<void(const std::vector<std::string>& args)>;
    struct Command {
        std::string name;  // the command's words, as typed
        Handler run;
    };

    void takeCharacter(char c);
    void runLine(const std::string& line);
    const Command* findCommand(const std::string& line, std::vector<std::string>& args) const;

    // Output helpers: a line of the answer, raw bytes, the prompt.
    void emit(std::string bytes, Millis delay = Millis{0}, uint32_t baudAfter = 0);
    void answerLine(const std::string& text) { emit("\r\n" + text); }
    void prompt() { emit("\r\nBoot> "); }

    void registerCommands();
    void answerHandshake();
    void answerVersion();
    void answerDrives();
    void answerParallelTest();
    void switchParallel(bool on);
    void setBaudRate(const std::vector<std::string>& args);

    const ModelSpec& model_;
    Clock& clock_;
    int firmware_;
    std::array<int, 3> driveSizesKb_;
    std::vector<int> caps_;
    std::vector<uint8_t> eeprom_;
    bool parallelOn_ = false;

    std::string line_;
    std::vector<Command> commands_;
    std::deque<Chunk> output_;
    Millis outputCursor_{0};  // output is produced in order: nothing is due before this
};

}  // namespace tarmix::sim
