// tarmix-sim: a simulated controller with a boot monitor, served on a pseudo-terminal.
//
//   tarmix-sim --model KEYWORD [--firmware N] [--link PATH] [--state DIR] [--pace]
//              [--lpt PATH] [--sector-ms N] [--app-ms N] [--app-output N] [--pieces N]
//              [--usb] [--damage DRIVES] [--faults PLAN [--seed N]]
//              [--count N [--control FIFO] [--unit K OPTIONS...]...]
//   tarmix-sim make-image --model KEYWORD --size BYTES [--header inf1|inf2|inf3|none]
//              [--big-endian] [--ram-only] [--s2] [--seed N] -o FILE
//   tarmix-sim make-library --model KEYWORD [--version N] [--monitor V] -o DIR
//   tarmix-sim --describe-models
//
// Serving prints the pty's device path on stdout (one line per controller with --count),
// then serves until SIGINT or SIGTERM, and saves the device's state into DIR on the way
// out. make-image writes an application image
// for the model's application area and exits; make-library writes the model's boot images.
// --describe-models writes what the simulated controller knows of each model, one JSON
// object a line: the fault matrix judges a run by it, not by the program's own tables.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "sim/boot_library.h"
#include "sim/boot_update_table.h"
#include "sim/controller.h"
#include "sim/fault_injector.h"
#include "sim/image_maker.h"
#include "sim/pty_server.h"

namespace {

using namespace tarmix;

std::atomic<bool> stopRequested{false};

void requestStop(int) { stopRequested = true; }

const char kUsage[] =
    // One form per line, each "or:" line its own form: the man page's synopsis is made
    // from these lines.
    "Usage: tarmix-sim --model KEYWORD [OPTION...]\n"
    "  or:  tarmix-sim --count N [--control FIFO] [OPTION...] [--unit K OPTION...]...\n"
    "  or:  tarmix-sim make-image --model KEYWORD --size BYTES [IMAGE-OPTION...] -o FILE\n"
    "  or:  tarmix-sim make-library --model KEYWORD [--version N] [--monitor V] -o DIR\n"
    "  or:  tarmix-sim --list-models | --describe-models | --help | --version\n"
    "\n"
    "Serves the model's boot monitor on a new pseudo-terminal and prints its device path.\n"
    "  --firmware N    monitor version answered to \"tell version\"\n"
    "  --link PATH     also make PATH a symbolic link to the device\n"
    "  --state DIR     load the device (memory.srec with the flash, eeprom.bin, caps.txt,\n"
    "                  drives.txt with the drive sizes, firmware.txt with the monitor\n"
    "                  version, drives/) from DIR and save it there when stopped\n"
    "  --pace          pace the serial line at the monitor's rate, 10 bit times per byte\n"
    "  --lpt PATH      a named pipe at PATH is the parallel port (open it as LPT1)\n"
    "  --sector-ms N   erase time of a 64 KiB flash sector (smaller ones take their share),\n"
    "                  40 ms unless given\n"
    "  --appl-data N   \"tell appl\" reports a data area of N bytes after the text (0 unless\n"
    "                  given)\n"
    "  --app-ms N      an application started with \"call\" runs N ms (2000 unless given),\n"
    "                  then the device is back in its monitor and sends the prompt\n"
    "  --pieces N      answers leave in pieces of 1 to N bytes, one per millisecond, as a USB\n"
    "                  adapter delivers them (62 unless given; 0 sends them whole)\n"
    "  --app-output N  the running application prints a numbered line every N ms\n"
    "  --faults PLAN   a bad serial line, comma-separated: drop=P, drop-in=P (each byte the\n"
    "                  device sends / receives is lost with probability P), corrupt=P,\n"
    "                  corrupt-in=P (one bit flipped), cancel=P, cancel-in=P (bit k\n"
    "                  flipped, and the other way in one of the next 16 bytes, so a sum\n"
    "                  misses both), stall=MS@P (a command is answered after MS ms of\n"
    "                  silence), gone@N (the line goes away after the device\n"
    "                  has received N bytes), reset@N (the device restarts after N bytes);\n"
    "                  every injected fault is written to stderr with its byte offset\n"
    "  --seed N        the faults' seed (1 unless given): the same seed, the same faults\n"
    "  --usb           the link is a USB adapter: models that re-enumerate replace the\n"
    "                  device behind --link with a new one when they restart\n"
    "  --damage DRIVES the file systems of these drives (letters, \"A\" or \"BC\") are damaged\n"
    "                  until they are formatted\n"
    "  --count N       N controllers on N pseudo-terminals (a production line); their\n"
    "                  paths are printed one per line. A shared --link PATH becomes PATH1..\n"
    "                  PATHN and a shared --state DIR becomes DIR/1..DIR/N\n"
    "  --unit K ...    the options after it (up to the next --unit) are controller K's\n"
    "                  own: its model, faults, firmware, link or state\n"
    "  --twin          the controller also answers on a second pseudo-terminal (a wrong\n"
    "                  cable joining two adapters to it), printed after the others\n"
    "  --control FIFO  a named pipe that takes the lines \"unplug K\" and \"plug K\":\n"
    "                  controller K is taken off its line (its state saved; on a --usb\n"
    "                  link the port disappears, otherwise nobody answers) and a new, blank\n"
    "                  one is put on it; \"unplugged K\" and \"plugged K\" are printed\n"
    "                  once done\n"
    "\n"
    "make-image writes an application image (S-records) loaded at the model's application\n"
    "start: --size in bytes (decimal or 0x hex); its IMAGE-OPTIONs are --header\n"
    "inf1|inf2|inf3|none, the info header form (inf1 unless given), --big-endian header\n"
    "words, --ram-only marks an image that runs from RAM, --s2 writes 24-bit records,\n"
    "--seed N chooses the data.\n"
    "make-library writes the boot-init and boot loader images of the model (and of its\n"
    "plain or extended partner) into DIR under the names the boot loader update looks for:\n"
    "the simulated controller reports version N (its default firmware + 1 unless given)\n"
    "after restarting from them; --monitor is the version of the monitor that loads them\n"
    "(the model's default firmware unless given).\n"
    "--describe-models writes each model's memory map, block limit, EEPROM area, drives,\n"
    "parallel port and boot loader update as one JSON object a line.\n"
    "\n"
    "Models:";

void printUsage(std::ostream& out = std::cerr) {
    out << kUsage;
    for (const auto& model : sim::allModels()) out << " \"" << model.keyword << "\"";
    out << "\n";
}

// A whole number, decimal or with a 0x prefix; false for anything else.
bool parseNumber(const std::string& text, unsigned long long& value) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 0);
    return *end == '\0';
}

// Walks the words after the program name (and the subcommand).
class Words {
  public:
    Words(int argc, char** argv, int first) : words_(argv + first, argv + argc) {}
    explicit Words(std::vector<std::string> words) : words_(std::move(words)) {}
    bool done() const { return next_ >= words_.size(); }
    const std::string& take() { return words_[next_++]; }
    // The value after an option; false when it is missing.
    bool value(const std::string& option, std::string& into) {
        if (done()) {
            std::cerr << "tarmix-sim: " << option << " needs a value\n";
            return false;
        }
        into = take();
        return true;
    }
    bool number(const std::string& option, unsigned long long limit, unsigned long long& into) {
        std::string text;
        if (!value(option, text)) return false;
        if (parseNumber(text, into) && into <= limit) return true;
        std::cerr << "tarmix-sim: " << option << " needs a number, not \"" << text << "\"\n";
        return false;
    }

  private:
    std::vector<std::string> words_;
    size_t next_ = 0;
};

const sim::ModelSpec* modelOrComplain(const std::string& keyword) {
    const sim::ModelSpec* model = sim::findModel(keyword);
    if (!model) {
        std::cerr << "tarmix-sim: unknown model \"" << keyword << "\"\n";
        printUsage();
    }
    return model;
}

struct ServeOptions {
    std::string model;
    std::string link;
    std::string state;
    std::string lpt;
    std::string damaged;
    long long firmware = -1;
    long long sectorMs = -1;
    long long applicationMs = -1;
    long long pieces = -1;
    long long applicationOutputMs = 0;
    uint32_t applicationData = 0;
    bool pace = false;
    std::optional<sim::FaultPlan> faults;
    uint64_t seed = 1;
    bool usb = false;
    bool twin = false;
};

bool parseServeOptions(Words& words, ServeOptions& options) {
    while (!words.done()) {
        const std::string word = words.take();
        unsigned long long number = 0;
        bool ok = true;
        if (word == "--model") {
            ok = words.value(word, options.model);
        } else if (word == "--link") {
            ok = words.value(word, options.link);
        } else if (word == "--state") {
            ok = words.value(word, options.state);
        } else if (word == "--lpt") {
            ok = words.value(word, options.lpt);
        } else if (word == "--damage") {
            ok = words.value(word, options.damaged) &&
                 options.damaged.find_first_not_of("ABCabc") == std::string::npos;
        } else if (word == "--pace") {
            options.pace = true;
        } else if (word == "--usb") {
            options.usb = true;
        } else if (word == "--twin") {
            options.twin = true;
        } else if (word == "--firmware") {
            ok = words.number(word, 1000000, number);
            options.firmware = (long long)number;
        } else if (word == "--sector-ms") {
            ok = words.number(word, 600000, number);
            options.sectorMs = (long long)number;
        } else if (word == "--pieces") {
            ok = words.number(word, 4096, number);
            options.pieces = (long long)number;
        } else if (word == "--faults") {
            std::string plan, error;
            ok = words.value(word, plan) &&
                 sim::ParseFaultPlan(plan, options.faults.emplace(), error);
            if (!error.empty()) std::cerr << "tarmix-sim: " << error << "\n";
        } else if (word == "--seed") {
            ok = words.number(word, ~0ULL, number);
            options.seed = number;
        } else if (word == "--app-ms") {
            ok = words.number(word, 86400000, number);
            options.applicationMs = (long long)number;
        } else if (word == "--appl-data") {
            ok = words.number(word, 0xFFFFFFFF, number);
            options.applicationData = uint32_t(number);
        } else if (word == "--app-output") {
            ok = words.number(word, 600000, number);
            options.applicationOutputMs = (long long)number;
        } else {
            std::cerr << "tarmix-sim: unknown option \"" << word << "\"\n";
            ok = false;
        }
        if (!ok) return false;
    }
    return true;
}

// A controller as the options describe it; its state folder is loaded only for the first
// controller of a line (a controller plugged in later is a new, blank one).
std::unique_ptr<sim::Controller> makeController(const ServeOptions& options, bool loadState,
                                                std::string& error) {
    const sim::ModelSpec* model = modelOrComplain(options.model);
    if (!model) return nullptr;
    auto controller = std::make_unique<sim::Controller>(*model, systemClock());
    if (options.sectorMs >= 0) controller->setSectorTime(Millis{options.sectorMs});
    if (options.applicationMs >= 0) controller->setApplicationTime(Millis{options.applicationMs});
    controller->setApplicationOutput(Millis{options.applicationOutputMs});
    controller->setApplicationDataLength(options.applicationData);
    controller->setUsbLink(options.usb);
    if (loadState && !options.state.empty() && !controller->loadState(options.state, error))
        return nullptr;
    for (char letter : options.damaged)
        controller->drives().setDamaged((letter | 0x20) - 'a', true);
    // The command line's version wins over the one the state folder keeps.
    if (options.firmware >= 0) controller->setFirmware(int(options.firmware));
    return controller;
}

// One controller of the line, served on its own pty by its own thread.
enum class Request { None, Unplug, Plug };

struct Unit {
    ServeOptions options;
    std::unique_ptr<sim::Controller> controller;
    std::optional<sim::FaultInjector> faults;
    std::unique_ptr<sim::PtyServer> server;
    std::atomic<Request> request{Request::None};  // what the control pipe asked for
    std::thread thread;
};

std::mutex outputLock;

void say(const std::string& line) {
    std::lock_guard<std::mutex> hold(outputLock);
    std::cout << line << std::endl;
}

bool saveUnit(const Unit& unit) {
    std::string error;
    if (!unit.controller || unit.options.state.empty() ||
        unit.controller->saveState(unit.options.state, error))
        return true;
    std::cerr << "tarmix-sim: " << error << "\n";
    return false;
}

// Carries out an unplug or plug request on the unit's own thread.
void serveRequest(Unit& unit, int number) {
    const Request request = unit.request.exchange(Request::None);
    std::string error;
    if (request == Request::Unplug && unit.controller) {
        saveUnit(unit);
        unit.server->unplug(unit.options.usb && !unit.options.link.empty());
        unit.controller.reset();
        say("unplugged " + std::to_string(number));
    } else if (request == Request::Plug && !unit.controller) {
        unit.controller = makeController(unit.options, false, error);
        if (!unit.controller) return;
        unit.server->plug(*unit.controller);
        say("plugged " + std::to_string(number));
    }
}

bool startUnit(Unit& unit, std::string& error) {
    unit.controller = makeController(unit.options, true, error);
    if (!unit.controller) return false;
    if (unit.options.usb && unit.options.link.empty()) {
        error = "--usb needs --link: the new device appears behind the link";
        return false;
    }
    unit.server = std::make_unique<sim::PtyServer>(*unit.controller, unit.options.pace);
    if (unit.options.pieces >= 0) unit.server->setPieces(size_t(unit.options.pieces));
    if (unit.options.faults)
        unit.server->setFaults(
            &unit.faults.emplace(*unit.options.faults, unit.options.seed, std::cerr));
    return unit.server->start(unit.options.link, error) &&
           (!unit.options.twin || unit.server->addTwin(error)) &&
           (unit.options.lpt.empty() || unit.server->openParallelPipe(unit.options.lpt, error));
}

// The control pipe: "unplug K" and "plug K", one per line. A pipe of our own keeps its read
// end from reaching its end whenever a writer closes it.
class ControlPipe {
  public:
    ~ControlPipe() {
        for (int fd : {in_, keepAlive_})
            if (fd >= 0) close(fd);
        if (made_) unlink(path_.c_str());
    }
    bool open(const std::string& path, std::string& error) {
        path_ = path;
        struct stat existing {};
        if (lstat(path.c_str(), &existing) == 0 && !S_ISFIFO(existing.st_mode)) {
            error = path + " exists and is not a named pipe; not replacing it";
            return false;
        }
        made_ = mkfifo(path.c_str(), 0600) == 0;
        in_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (in_ >= 0) keepAlive_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (in_ < 0 || keepAlive_ < 0)
            error = "cannot open the pipe " + path + ": " + std::strerror(errno);
        return error.empty();
    }
    // Waits up to 100 ms for lines and hands each to `take`.
    template <class Take>
    void poll(Take take) {
        pollfd wait{in_, POLLIN, 0};
        if (in_ < 0) {
            ::poll(nullptr, 0, 100);
            return;
        }
        if (::poll(&wait, 1, 100) <= 0) return;
        char buffer[512];
        const ssize_t got = read(in_, buffer, sizeof buffer);
        if (got > 0) pending_.append(buffer, size_t(got));
        for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            take(pending_.substr(0, end));
            pending_.erase(0, end + 1);
        }
    }

  private:
    std::string path_;
    int in_ = -1;
    int keepAlive_ = -1;
    bool made_ = false;
    std::string pending_;
};

void takeRequest(const std::string& line, std::vector<std::unique_ptr<Unit>>& units) {
    std::istringstream words(line);
    std::string verb;
    size_t number = 0;
    if (!(words >> verb >> number) || number < 1 || number > units.size() ||
        (verb != "unplug" && verb != "plug")) {
        std::cerr
            << "tarmix-sim: the control pipe takes \"unplug K\" or \"plug K\" with K from 1 to "
            << units.size() << ", not \"" << line << "\"\n";
        return;
    }
    units[number - 1]->request = verb == "unplug" ? Request::Unplug : Request::Plug;
}

struct LineOptions {
    size_t count = 1;
    std::string control;
};

int serveLine(std::vector<std::unique_ptr<Unit>>& units, const LineOptions& line) {
    std::string error;
    ControlPipe control;
    if (!line.control.empty() && !control.open(line.control, error)) {
        std::cerr << "tarmix-sim: " << error << "\n";
        return 1;
    }
    for (auto& unit : units) {
        if (!startUnit(*unit, error)) {
            std::cerr << "tarmix-sim: " << error << "\n";
            return 1;
        }
    }
    for (auto& unit : units) std::cout << unit->server->devicePath() << "\n";
    for (auto& unit : units)
        if (unit->options.twin) std::cout << unit->server->twinPath() << "\n";
    std::cout << std::flush;

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGPIPE, SIG_IGN);
    for (size_t i = 0; i < units.size(); ++i) {
        Unit& unit = *units[i];
        unit.thread = std::thread([&unit, i] {
            unit.server->run(stopRequested, [&unit, i] { serveRequest(unit, int(i + 1)); });
        });
    }
    while (!stopRequested)
        control.poll([&](const std::string& request) { takeRequest(request, units); });
    bool saved = true;
    for (auto& unit : units) {
        unit->thread.join();
        saved = saveUnit(*unit) && saved;
    }
    return saved ? 0 : 1;
}

// Splits the serving words: the shared options, --count and --control, and the sections
// that --unit K begins. false with a complaint when they do not fit together.
bool splitLineWords(Words& words, std::vector<std::string>& shared,
                    std::vector<std::vector<std::string>>& sections, LineOptions& line) {
    std::vector<std::pair<unsigned long long, std::vector<std::string>>> found;
    while (!words.done()) {
        const std::string word = words.take();
        unsigned long long number = 0;
        if (word == "--count") {
            if (!words.number(word, 64, number) || number == 0) return false;
            line.count = size_t(number);
        } else if (word == "--control") {
            if (!words.value(word, line.control)) return false;
        } else if (word == "--unit") {
            if (!words.number(word, 64, number)) return false;
            found.push_back({number, {}});
        } else {
            (found.empty() ? shared : found.back().second).push_back(word);
        }
    }
    sections.assign(line.count, {});
    for (auto& [number, section] : found) {
        if (number < 1 || number > line.count) {
            std::cerr << "tarmix-sim: --unit " << number << " is not one of the " << line.count
                      << " controllers\n";
            return false;
        }
        auto& into = sections[number - 1];
        into.insert(into.end(), section.begin(), section.end());
    }
    return true;
}

// Each unit's options: the shared ones, numbered apart when there are several controllers,
// then its own.
bool unitOptions(Words& words, std::vector<std::unique_ptr<Unit>>& units, LineOptions& line) {
    std::vector<std::string> shared;
    std::vector<std::vector<std::string>> sections;
    if (!splitLineWords(words, shared, sections, line)) return false;
    ServeOptions base;
    Words sharedWords(shared);
    if (!parseServeOptions(sharedWords, base)) return false;
    for (size_t i = 0; i < line.count; ++i) {
        auto unit = std::make_unique<Unit>();
        unit->options = base;
        if (line.count > 1) {
            const std::string number = std::to_string(i + 1);
            if (!base.link.empty()) unit->options.link = base.link + number;
            if (!base.state.empty()) unit->options.state = base.state + "/" + number;
            if (!base.lpt.empty()) unit->options.lpt = base.lpt + number;
        }
        Words own(sections[i]);
        if (!parseServeOptions(own, unit->options) || unit->options.model.empty()) return false;
        units.push_back(std::move(unit));
    }
    return true;
}

int makeImage(Words& words) {
    std::string keyword, output, header;
    unsigned long long size = 0, seed = 1;
    sim::ImageOptions options;
    while (!words.done()) {
        const std::string word = words.take();
        bool ok = true;
        if (word == "--model") {
            ok = words.value(word, keyword);
        } else if (word == "--size") {
            ok = words.number(word, 0xFFFFFFFF, size);
        } else if (word == "--header") {
            ok = words.value(word, header) && sim::ParseHeaderKind(header, options.header);
            if (!ok) std::cerr << "tarmix-sim: --header takes inf1, inf2, inf3 or none\n";
        } else if (word == "--big-endian") {
            options.bigEndian = true;
        } else if (word == "--ram-only") {
            options.ramOnly = true;
        } else if (word == "--s2") {
            options.s2Records = true;
        } else if (word == "--seed") {
            ok = words.number(word, 0xFFFFFFFF, seed);
        } else if (word == "-o") {
            ok = words.value(word, output);
        } else {
            std::cerr << "tarmix-sim: unknown option \"" << word << "\"\n";
            ok = false;
        }
        if (!ok) return 2;
    }
    if (keyword.empty() || output.empty() || size == 0) {
        printUsage();
        return 2;
    }
    const sim::ModelSpec* model = modelOrComplain(keyword);
    if (!model) return 2;
    options.seed = uint32_t(seed);
    options.ramStart = model->ram.start;  // the header asks for RAM the model has
    std::string error;
    if (sim::MakeRomImage(output, model->applicationStart, uint32_t(size), options, error) != 0) {
        std::cerr << "tarmix-sim: " << error << "\n";
        return 1;
    }
    return 0;
}

int makeLibrary(Words& words) {
    std::string keyword, output;
    unsigned long long version = 0, monitor = 0;
    bool versionGiven = false, monitorGiven = false;
    while (!words.done()) {
        const std::string word = words.take();
        bool ok = true;
        if (word == "--model") {
            ok = words.value(word, keyword);
        } else if (word == "--version") {
            ok = versionGiven = words.number(word, 1000000, version);
        } else if (word == "--monitor") {
            ok = monitorGiven = words.number(word, 1000000, monitor);
        } else if (word == "-o") {
            ok = words.value(word, output);
        } else {
            std::cerr << "tarmix-sim: unknown option \"" << word << "\"\n";
            ok = false;
        }
        if (!ok) return 2;
    }
    if (keyword.empty() || output.empty()) {
        printUsage();
        return 2;
    }
    const sim::ModelSpec* model = modelOrComplain(keyword);
    if (!model) return 2;
    if (!versionGiven) version = (unsigned long long)model->firmware + 1;
    if (!monitorGiven) monitor = (unsigned long long)model->firmware;
    std::string error;
    if (sim::MakeBootLibrary(*model, int(version), int(monitor), output, error) != 0) {
        std::cerr << "tarmix-sim: " << error << "\n";
        return 1;
    }
    return 0;
}

// One model as a line of JSON: numbers in decimal, absent areas and features as null.
void describeModel(const sim::ModelSpec& model, std::ostream& out) {
    const auto area = [](const sim::MemoryArea& a) {
        return "[" + std::to_string(a.start) + ", " + std::to_string(a.size) + "]";
    };
    const auto optional = [](const std::optional<uint32_t>& value) {
        return value ? std::to_string(*value) : std::string("null");
    };
    const sim::BootUpdateRow* update = sim::BootUpdateRowFor(model.code);
    const char* procedure = "null";
    if (update && update->procedure == sim::UpdateProcedure::kGeneral) procedure = "\"general\"";
    if (update && update->procedure == sim::UpdateProcedure::kRamBank) procedure = "\"ram-bank\"";
    std::string banks;
    for (const sim::MemoryArea& bank : model.flashBanks)
        banks += (banks.empty() ? "" : ", ") + area(bank);
    out << "{\"keyword\": \"" << model.keyword << "\", \"code\": " << model.code
        << ", \"flash_banks\": [" << banks << "], \"sector_size\": " << model.sectorSize
        << ", \"boot_size\": " << model.bootSize << ", \"ram\": " << area(model.ram)
        << ", \"application_start\": " << model.applicationStart
        << ", \"staged_flash\": " << (model.stagedFlash ? "true" : "false")
        << ", \"serial_block_limit\": " << model.serialBlockLimit
        << ", \"fast_uart\": " << (model.fastUart ? "true" : "false")
        << ", \"fast_on_any_monitor\": " << (model.fastOnAnyMonitor ? "true" : "false")
        << ", \"parallel_port\": " << (model.parallelPort ? "true" : "false")
        << ", \"eeprom_start\": " << optional(model.eepromStart)
        << ", \"eeprom_firmware\": " << model.eepromFirmware << ", \"firmware\": " << model.firmware
        << ", \"drive_sizes_kb\": [" << model.driveSizesKb[0] << ", " << model.driveSizesKb[1]
        << ", " << model.driveSizesKb[2] << "], \"boot_update\": " << procedure << "}\n";
}

// "--help" anywhere on the line, after a subcommand too, asks for the usage.
bool asksForHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (asksForHelp(argc, argv)) {
        printUsage(std::cout);
        return 0;
    }
    if (first == "--version") {
        std::cout << "tarmix-sim " << TARMIX_VERSION << "\n";
        return 0;
    }
    if (first == "--list-models") {
        for (const auto& model : sim::allModels()) std::cout << model.keyword << "\n";
        return 0;
    }
    if (first == "--describe-models") {
        for (const auto& model : sim::allModels()) describeModel(model, std::cout);
        return 0;
    }
    if (first == "make-image") {
        Words words(argc, argv, 2);
        return makeImage(words);
    }
    if (first == "make-library") {
        Words words(argc, argv, 2);
        return makeLibrary(words);
    }
    Words words(argc, argv, 1);
    std::vector<std::unique_ptr<Unit>> units;
    LineOptions line;
    if (!unitOptions(words, units, line)) {
        printUsage();
        return 2;
    }
    return serveLine(units, line);
}
