// The simulated boot monitor: takes the bytes the program sends, answers as a controller's
// monitor does, and keeps the device's state. It knows nothing of ptys, pipes or line
// speeds; a transport (the pty server, or an in-process port in tests) carries its bytes.
//
// The monitor echoes every character as it arrives, as it does for a person typing: a
// backspace erases the last character of the line and echoes "\b \b", and a terminal's
// cursor keys (ESC "[" and a letter) are swallowed. A CR runs the line: each line of the
// answer goes out preceded by CR LF, then the prompt "\r\nBoot> ".
//
// "call ADDRESS" and "run appl" leave the monitor for the application, which does not
// listen to the line; with setApplicationOutput it prints a numbered line now and then
// until the device is back in its monitor. Commands can also come
// from the parallel port while "parportCTRL on" is in force; their echo and answers still
// go out on the serial line.
//
// "burn" and "verify" are followed by raw block data: after the echo and CR LF the monitor
// takes exactly the announced number of bytes from the same port (not echoed, not edited),
// then answers "o.k." and the prompt, or an error line and the prompt.
//
// "file load" and "file dump" carry files between the PC and the drives in binary frames
// (file_commands.cpp); while one runs, the bytes from the PC are its frames or answers.
#pragma once

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "sim/memory.h"
#include "sim/sim_models.h"
#include "sim/system_commands.h"
#include "sim/uart.h"

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
    // Erase time of a 64 KiB flash sector unless setSectorTime says otherwise (smaller
    // sectors take their share of it); programming takes the same time per 64 KiB written.
    // Slow as a real flash, yet well inside the program's 5 s per sector.
    static constexpr Millis kDefaultSectorTime{40};
    // The largest block "dump" and "read" give.
    static constexpr uint32_t kMaxBlock = 0x10000;
    // The largest "burn"/"verify" block the monitor takes from the parallel port; blocks
    // must have an even length and start on a multiple of 4.
    static constexpr uint32_t kParallelBlockLimit = 10000;
    // Block data that stop arriving for this long are given up: the first byte after such a
    // pause brings the answer "Timeout" and the prompt, and is taken as a command character.
    static constexpr Millis kBlockTimeout{3000};
    // The capability record holds this many values.
    static constexpr size_t kMinCaps = 5;
    static constexpr size_t kMaxCaps = 10;
    // The EEPROM's size, and the most "geteepromdata" and "seteepromdata" carry at once.
    static constexpr size_t kEepromSize = 8192;
    static constexpr uint32_t kMaxEepromBlock = 0xF00;
    // After a "seteepromdata" block the monitor writes the EEPROM for this long and loses
    // what arrives meanwhile: the sender has to pause between blocks.
    static constexpr Millis kEepromWriteTime{150};
    // How long an application started with "call" runs before the device is back in its
    // monitor, unless setApplicationTime says otherwise.
    static constexpr Millis kDefaultApplicationTime{2000};

    Controller(const ModelSpec& model, Clock& clock);

    const ModelSpec& model() const { return model_; }
    // The rate of the monitor's UART: 57600 after a reset, changed by "setbaudrate" once
    // its confirmation has gone out. Transports compare it with the PC's rate.
    uint32_t uartBaud() const { return uartBaud_; }
    void setUartBaud(uint32_t baud) { uartBaud_ = baud; }
    void setFirmware(int version) { firmware_ = version; }
    void setSectorTime(Millis perSector) { sectorTime_ = perSector; }
    void setApplicationTime(Millis running) { applicationTime_ = running; }
    // "tell appl" reports a data area of this many bytes after the application's text.
    void setApplicationDataLength(uint32_t bytes) { applicationData_ = bytes; }
    // A running application prints a line every `period` (0: it prints nothing).
    void setApplicationOutput(Millis period) { applicationOutputPeriod_ = period; }
    // The monitor does not listen: a started application runs, or the device restarts.
    bool awayFromMonitor() const { return clock_.now() < monitorBackAt_; }
    // The controller restarted from an erased or broken boot area: it never answers again.
    bool dead() const { return dead_; }
    // The controller reaches the PC through a USB link: models whose port re-enumerates
    // take it away at a restart (see takeReenumeration).
    void setUsbLink(bool usb) { usbLink_ = usb; }
    // True once after a restart that took the USB port away; the transport then replaces
    // its device with a new one.
    bool takeReenumeration() { return std::exchange(reenumeration_, false); }

    // Power goes and comes back: RAM, the command lines, a block being received and output
    // not yet sent are lost; the monitor starts again at 57600 and sends its prompt.
    void powerCycle();

    // Bytes as the monitor's UART received them, now.
    void receive(std::string_view bytes);
    // Bytes written to the parallel port, now. The monitor reads the port only between
    // "parportCTRL on" and "parportCTRL off"; at other times they are lost.
    void receiveParallel(std::string_view bytes);

    // The output due at `now`, up to and including the first chunk that switches the rate.
    std::optional<Chunk> takeDue(Millis now);
    // When the next output is due, if any is pending.
    std::optional<Millis> nextDue() const;
    // The transport has put the last of the output on the line at `at`. A paced line on a
    // busy machine can fall behind the line rate, so a frame's answer time runs from here.
    void outputLeft(Millis at);

    Memory& memory() { return memory_; }
    const Memory& memory() const { return memory_; }
    const std::vector<int>& caps() const { return caps_; }
    std::vector<uint8_t>& eeprom() { return eeprom_; }
    const std::array<int, 3>& driveSizes() const { return driveSizesKb_; }
    DriveFolders& drives() { return drives_; }

    // State directory: memory.srec (the flash), eeprom.bin, caps.txt, drives.txt (the drive
    // sizes in kB), firmware.txt (the monitor version), drives/A, drives/B, drives/C. A missing or
    // empty folder is a factory-fresh device. false with a reason on failure: then the device keeps
    // what it had.
    bool loadState(const std::filesystem::path& dir, std::string& error);
    bool saveState(const std::filesystem::path& dir, std::string& error) const;

  private:
    using Args = std::vector<std::string>;
    using Handler = std::function<void(const Args& args)>;
    struct Command {
        std::string name;  // the command's words, as typed
        Handler run;
    };
    enum Source { kSerial, kParallel, kSourceCount };
    // A "burn" or "verify" waiting for its data.
    struct Block {
        Source source = kSerial;
        bool verify = false;
        uint32_t address = 0;  // as the monitor addresses memory
        uint32_t count = 0;
        uint32_t checksum = 0;
        std::string data;
        Millis lastByte{0};
        bool eeprom = false;  // "seteepromdata": data and two checksum bytes for the EEPROM
    };

    // A "file load" taking the PC's frames into a drive file.
    struct FileLoad {
        std::ofstream file;  // not open when the device file could not be opened
        uint64_t room = 0;   // bytes the drive still takes
        uint32_t blocksLeft = 0;
        std::string frame;  // the frame being received
        Millis lastByte{0};
        // "New program": the first frame is the application header (start, total and sum
        // of the image bytes, big-endian); the data frames must bring exactly that.
        bool program = false;
        bool headerTaken = false;
        uint32_t total = 0;
        uint32_t sum = 0;
        uint32_t received = 0;
        uint32_t receivedSum = 0;
    };
    // A "file dump" sending a drive file in frames, each waiting for the PC's answer.
    struct FileDump {
        std::string data;
        size_t sent = 0;  // bytes in frames sent so far
        size_t frames = 0;
        Millis answerBy{0};  // a frame not answered by then is given up
    };

    // Input: line editing, and the dispatch of a finished line.
    void take(Source source, std::string_view bytes);
    void takeCharacter(Source source, char c);
    // While the parallel input is on, the serial line is not read as commands: only the
    // line that switches it off is heard (and echoed once it is complete).
    void takeWhileParallelOn(char c);
    void runLine(const std::string& line);
    const Command* findCommand(const std::string& line, Args& args) const;
    void registerCommands();

    // Output helpers: a line of the answer, raw bytes, the prompt.
    void emit(std::string bytes, Millis delay = Millis{0}, uint32_t baudAfter = 0);
    void answerLine(const std::string& text) { emit("\r\n" + text); }
    void prompt() { emit("\r\nBoot> "); }
    void refuse(const std::string& reason) {
        answerLine(reason);
        prompt();
    }

    // Drives, folders, files, the clock, leaving the monitor (system_commands.cpp).
    void initDrives(const Args& args);
    void formatDrive(const Args& args);
    void makeFolder();
    void deleteFile();
    void setClock(const Args& args);
    void callApplication(const Args& args);
    void runApplication();
    void startApplication();
    // The application's lines that are due by `now`, queued before the monitor's return.
    void produceApplicationOutput(Millis now);
    void restart();
    // "call" to the boot entry: runs what the boot area holds (boot_area.cpp).
    void restartFromBootArea();
    // Whether the boot area holds a boot loader that starts; takes over the version a
    // programmed demo image brings.
    bool bootAreaStarts();
    bool touchesBootArea(uint32_t start, uint32_t count) const;
    // Erasing or writing these bytes of flash: the factory boot loader is gone if they touch
    // the boot area.
    void noteFlashWrite(uint32_t start, uint32_t count);
    // The running line is one of the model's boot loader update lines for this monitor.
    bool updateLineKnown(std::string_view line) const;
    // The text of the running line after its command's name, without the blanks around it.
    std::string lineArgument(std::string_view name) const;
    // The host path of the device path argument of the running line; nullopt when it was
    // refused (the refusal has been answered).
    std::optional<std::filesystem::path> devicePathArgument(
        std::string_view name, int* driveIndex = nullptr,
        DriveFolders::Quotes quotes = DriveFolders::Quotes::kRequired);
    // The host folder of a drive that exists and is not damaged; nullopt when refused.
    std::optional<std::filesystem::path> usableDrive(int index);
    // The one argument "a" (or "a:" with the colon) as a usable drive's host folder; the
    // index of the drive in `index`.
    std::optional<std::filesystem::path> driveArgument(const Args& args, bool colon);

    // Listings and figures of the drives (file_system_commands.cpp).
    void listTree(const Args& args);
    void listTreeBelow(const std::filesystem::path& folder, const std::string& prefix);
    void listFolder();
    void answerFileInfo(const Args& args);
    void removeFolder();
    // Deleted data waits in its blocks until the drive is formatted.
    void freeBlocks(int drive, uint64_t bytes);

    // Files to and from the PC (file_commands.cpp).
    void startFileLoad();
    // The host file a "file load" writes; nullopt when the device could not open it.
    std::optional<std::filesystem::path> loadTarget(const DriveFolders::DevicePath& path,
                                                    int& drive);
    void takeFileLoadData(std::string_view& bytes);
    void finishFileLoadFrame();
    // One frame of a "New program"; false when it breaks what the application header says.
    bool takeProgramFrame(std::string_view data);
    void startFileDump();
    void takeFileDumpAnswer(std::string_view& bytes);
    void sendFileDumpFrame();
    // Ends a transfer whose peer has gone quiet; true when one was given up.
    bool giveUpStalledTransfer();

    // Identification, line speed, parallel port, capability record (controller.cpp).
    void answerHandshake();
    void answerVersion();
    void answerDrives();
    void answerParallelTest();
    void switchParallel(bool on);
    void setBaudRate(const Args& args);
    bool uartCanRun(uint32_t baud) const;
    void tellCaps();
    void initCaps(const Args& args);

    // Memory (memory_commands.cpp).
    void startBlock(bool verify, const Args& args);
    void takeBlockData(std::string_view& bytes);
    void finishBlock();
    bool blockFits(const Block& block) const;
    void dump(const Args& args);
    void readMemory(const Args& args);
    void fill(const Args& args);
    void setS3Offset(const Args& args);
    void takeSrecord(const std::string& line);
    void tellApplication();

    // EEPROM (eeprom_commands.cpp).
    void getEepromData(const Args& args);
    void setEepromData(const Args& args);
    void finishEepromBlock(const Block& block);
    // The model's monitor has the EEPROM block commands; else the refusal has been answered.
    bool eepromCommandKnown();
    // The EEPROM range [address, address + count) as the block commands take it.
    bool eepromRange(const Args& args, uint32_t& address, uint32_t& count) const;

    // Flash (flash_commands.cpp).
    void eraseApplication(const Args& args, bool withWidth);
    void eraseWholeApplication();
    void eraseSector(const Args& args);
    void eraseBootLoader();
    void programFlash(const Args& args);
    // Erases the sectors: "Sectors(N):", one "." per sector as it is done, "erase done".
    void eraseWithProgress(const std::vector<Sector>& sectors);
    // An address of "flash erase application" as the flash address it names: on models that
    // use the uncached form only that form is taken; false for the other form.
    bool mappedAddress(uint32_t typed, uint32_t& address) const;
    // An address of "burn", "verify" and the sector commands as the memory address it names:
    // old monitors of some models count bank 1 from 0.
    uint32_t translated(uint32_t typed) const;
    // The flash address of a sector or "flash program" destination, typed as it is, as an
    // old monitor takes it, or in its uncached form; false when it is not in the flash.
    bool flashTarget(uint32_t typed, uint32_t& address) const;
    // The flash an application may occupy: bank 1 above the boot loader and, where the
    // application goes straight into the flash, below drive C:.
    MemoryArea applicationFlash() const;
    // How long erasing or programming this many bytes of flash takes: the sector time per
    // 64 KiB, at least 1 ms.
    Millis flashTime(uint32_t bytes) const;

    const ModelSpec& model_;
    Clock& clock_;
    int firmware_;
    Millis sectorTime_ = kDefaultSectorTime;
    std::array<int, 3> driveSizesKb_;
    DriveFolders drives_;
    std::array<uint64_t, 3> blocksToErase_{};
    Millis applicationTime_ = kDefaultApplicationTime;
    Millis monitorBackAt_{0};
    std::vector<int> caps_;
    std::vector<uint8_t> eeprom_;
    Memory memory_;
    bool parallelOn_ = false;
    Millis eepromBusyUntil_{0};
    uint32_t s3Offset_ = 0;
    bool bootTouched_ = false;  // the boot area was erased or written since the factory
    bool dead_ = false;
    bool usbLink_ = false;
    bool reenumeration_ = false;

    uint32_t applicationData_ = 0;
    Millis applicationOutputPeriod_{0};
    Millis nextApplicationLine_{0};
    uint32_t applicationLines_ = 0;

    // Where a terminal's escape sequence stands on each input.
    enum class Escape { None, Started, Bracket };
    Escape escape_[2] = {Escape::None, Escape::None};
    std::string lines_[kSourceCount];
    Source source_ = kSerial;  // where the line being run came from
    std::string runningLine_;  // the line being run, as typed
    std::optional<Block> block_;
    std::optional<FileLoad> fileLoad_;
    std::optional<FileDump> fileDump_;
    std::vector<Command> commands_;
    std::deque<Chunk> output_;
    Millis outputCursor_{0};  // output is produced in order: nothing is due before this
    uint32_t uartBaud_ = kMonitorStartBaud;
};

}  // namespace tarmix::sim
