#include "app/line/production_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/line/device_record.h"
#include "app/line/line_console.h"
#include "app/line/station.h"
#include "app/operation_trace.h"
#include "app/port_problem.h"
#include "app/stop_signals.h"
#include "batch/sha256.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/program_folder.h"
#include "platform/stop_request.h"
#include "platform/termios_port.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// A station that found no controller at all waits this long before it looks again.
constexpr Millis kIdlePause{500};

// What a station came to over the run.
struct StationTally {
    std::string refused;  // why the station never started; empty when it ran
    int firstFailure = kResultOk;
    int good = 0;
    int failed = 0;
    std::optional<ControllerOutcome> last;
};

// Identity of a device: the device number for a character device, else the path itself.
std::string deviceIdentity(const std::string& port) {
    struct stat node {};
    if (stat(port.c_str(), &node) == 0 && S_ISCHR(node.st_mode))
        return "dev:" + std::to_string(node.st_rdev);
    std::error_code failure;
    const fs::path canonical = fs::weakly_canonical(port, failure);
    return "path:" + (failure ? port : canonical.string());
}

std::string seconds(Millis duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(duration.count()) / 1000.0);
    return text;
}

// The text and blanks up to `width` characters (UTF-8: continuation bytes take no column),
// then one blank.
std::string padded(std::string text, size_t width) {
    const size_t shown = size_t(std::count_if(text.begin(), text.end(), [](char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }));
    if (shown < width) text += std::string(width - shown, ' ');
    return text + " ";
}

// Which of the ports name the same device as an earlier one: for each port, the index of
// the first port naming its device, or -1. Ports that do not exist are compared by path.
std::vector<int> SameDevices(const std::vector<std::string>& ports) {
    std::vector<int> first(ports.size(), -1);
    std::vector<std::string> identities;
    for (const std::string& port : ports) identities.push_back(deviceIdentity(port));
    for (size_t i = 0; i < ports.size(); ++i)
        for (size_t j = 0; j < i && first[i] < 0; ++j)
            if (identities[j] == identities[i]) first[i] = int(j);
    return first;
}

// 0 when every station succeeded, else the code of the first station that failed.
int LineExitCode(const std::vector<int>& stationCodes) {
    for (int code : stationCodes)
        if (code != kResultOk) return code;
    return kResultOk;
}

class ProductionLine {
  public:
    ProductionLine(const ToolOptions& options, StationPlan plan, RecordedImage image,
                   std::unique_ptr<RecordSink> record)
        : options_(options),
          plan_(std::move(plan)),
          image_(std::move(image)),
          record_(std::move(record)),
          console_(std::cerr, options.json ? &std::cout : nullptr, isatty(STDERR_FILENO) == 1,
                   ports()) {}

    int run() {
        const std::vector<std::string> stationPorts = ports();
        const std::vector<int> same = SameDevices(stationPorts);
        std::vector<std::unique_ptr<Station>> stations;
        tallies_.resize(stationPorts.size());
        for (size_t i = 0; i < stationPorts.size(); ++i) {
            const int number = int(i + 1);
            StationTally& tally = tallies_[i];
            if (same[i] >= 0) {
                tally.refused =
                    FormatText(text::kSameDevice, same[i] + 1, stationPorts[size_t(same[i])]);
                tally.firstFailure = kResultStationRefused;
            } else if (const OpenFailure failure = ProbeSerialPath(stationPorts[i]);
                       failure != OpenFailure::None) {
                // As for one controller: a station uses its port or none.
                tally.refused = DescribeOpenFailure(failure, stationPorts[i]);
                if (tally.refused.empty()) tally.refused = LoadText(text::kCannotBeOpened);
                tally.firstFailure = kResultNoPort;
            }
            if (!tally.refused.empty()) {
                console_.stationText(number, FormatText(text::kRefused, tally.refused), true);
                continue;
            }
            stations.push_back(std::make_unique<Station>(number, stationPorts[i], plan_, console_));
        }
        refuseSharedControllers(stations);
        CatchStopSignals();
        std::vector<std::thread> threads;
        for (auto& station : stations)
            threads.emplace_back([this, &station] { runStation(*station); });
        for (std::thread& thread : threads) thread.join();
        console_.endBoard();
        return finish();
    }

  private:
    // A controller that answers on two stations' ports is programmed by the first only.
    void refuseSharedControllers(std::vector<std::unique_ptr<Station>>& stations) {
        std::vector<std::string> paths;
        for (const auto& station : stations) paths.push_back(station->port());
        const std::vector<int> shared = SharedControllers(paths);
        for (size_t i = shared.size(); i-- > 0;) {
            if (shared[i] < 0) continue;
            const Station& first = *stations[size_t(shared[i])];
            StationTally& tally = tallies_[size_t(stations[i]->number() - 1)];
            tally.refused = FormatText(text::kSharedController, first.number(), first.port());
            tally.firstFailure = kResultStationRefused;
            console_.stationText(stations[i]->number(), FormatText(text::kRefused, tally.refused),
                                 true);
            stations.erase(stations.begin() + std::ptrdiff_t(i));
        }
    }

    std::vector<std::string> ports() const {
        std::vector<std::string> paths;
        for (const ChosenPort& port : options_.ports) paths.push_back(port.path);
        return paths;
    }

    void runStation(Station& station) {
        StationTally& tally = tallies_[size_t(station.number() - 1)];
        for (;;) {
            ControllerOutcome outcome = station.programOne();
            if (outcome.handled || !plan_.repeat) count(station, tally, outcome);
            if (!plan_.repeat || StopRequested() || recordBroken_) break;
            if (outcome.handled ? !station.waitUntilRemoved() : !idle()) break;
            if (outcome.handled)
                console_.event(
                    nlohmann::ordered_json{{"event", "removed"}, {"station", station.number()}}
                        .dump());
            if (!station.waitForPort()) break;
        }
    }

    static bool idle() {
        systemClock().sleep(kIdlePause);
        return !StopRequested();
    }

    void count(Station& station, StationTally& tally, const ControllerOutcome& outcome) {
        std::lock_guard<std::mutex> hold(lock_);
        (outcome.exitCode == kResultOk ? tally.good : tally.failed) += 1;
        if (outcome.exitCode != kResultOk && tally.firstFailure == kResultOk)
            tally.firstFailure = outcome.exitCode;
        tally.last = outcome;
        if (plan_.repeat) console_.stationCounts(station.number(), tally.good, tally.failed);
        if (outcome.handled) keep(station, outcome);
    }

    // The controller's line of the record, and its event.
    void keep(Station& station, const ControllerOutcome& outcome) {
        RecordEntry entry;
        entry.time = RecordTimeNow();
        entry.station = station.number();
        entry.port = DescribeRecordedPort(station.port());
        entry.model = outcome.model;
        entry.modelCode = outcome.modelCode;
        entry.monitorBefore = outcome.monitorBefore;
        entry.monitorAfter = outcome.monitorAfter;
        entry.image = image_;
        entry.bytes = outcome.bytes;
        entry.blocks = outcome.blocks;
        entry.milliseconds = outcome.duration.count();
        entry.verify = plan_.verify;
        entry.verifyOutcome = outcome.verifyOutcome;
        entry.exitCode = outcome.exitCode;
        entry.meaning = outcome.reason;
        entry.message = outcome.message;
        entry.program = std::string("tarmix ") + TARMIX_VERSION;
        entry.id = entry.time + "-" + hostName() + "-" + std::to_string(getpid()) + "-" +
                   std::to_string(station.number()) + "-" + std::to_string(++entries_);
        const std::string line = RecordLine(entry);
        auto event = nlohmann::ordered_json::parse(line);
        nlohmann::ordered_json stamped = {{"event", "controller"}};
        stamped.update(event);
        console_.event(stamped.dump());
        if (!record_) return;
        std::string error;
        if (record_->append(line, error)) return;
        // The line is not lost: it is on the console, and the line stops taking controllers.
        recordBroken_ = true;
        console_.say("tarmix: " + FormatText(text::kRecordBroken, error) + "\n" + line);
    }

    static std::string hostName() {
        char name[256] = {};
        gethostname(name, sizeof name - 1);
        return name;
    }

    int finish() {
        const std::vector<std::string> stationPorts = ports();
        std::string table =
            padded(LoadText(text::kColumnStation), 7) + padded(LoadText(text::kColumnPort), 20) +
            padded(LoadText(text::kColumnModel), 18) + padded(LoadText(text::kColumnMonitor), 7) +
            padded(LoadText(text::kColumnBytes), 8) + padded(LoadText(text::kColumnTime), 8) +
            (plan_.repeat
                 ? padded(LoadText(text::kColumnGood), 4) + padded(LoadText(text::kColumnFailed), 6)
                 : "") +
            LoadText(text::kColumnResult);
        std::vector<int> codes;
        std::vector<int> failedStations;
        for (size_t i = 0; i < tallies_.size(); ++i) {
            const StationTally& tally = tallies_[i];
            const ControllerOutcome empty;
            const ControllerOutcome& last = tally.last ? *tally.last : empty;
            const std::string result = !tally.refused.empty()
                                           ? std::to_string(tally.firstFailure) + " " +
                                                 FormatText(text::kRefused, tally.refused)
                                           : std::to_string(last.exitCode) + " " + last.reason +
                                                 (last.message.empty() ? "" : ": " + last.message);
            table += "\n" + padded(std::to_string(i + 1), 7) + padded(stationPorts[i], 20) +
                     padded(last.model.empty() ? "-" : last.model, 18) +
                     padded(last.monitorBefore ? std::to_string(*last.monitorBefore) : "-", 7) +
                     padded(std::to_string(last.bytes), 8) + padded(seconds(last.duration), 8) +
                     (plan_.repeat ? padded(std::to_string(tally.good), 4) +
                                         padded(std::to_string(tally.failed), 6)
                                   : "") +
                     result;
            codes.push_back(tally.firstFailure);
            if (tally.firstFailure != kResultOk) failedStations.push_back(int(i + 1));
            console_.event(nlohmann::ordered_json{{"event", "station"},
                                                  {"station", i + 1},
                                                  {"port", stationPorts[i]},
                                                  {"model", last.model},
                                                  {"bytes", last.bytes},
                                                  {"good", tally.good},
                                                  {"failed", tally.failed},
                                                  {"exitCode", tally.firstFailure},
                                                  {"refused", tally.refused}}
                               .dump());
        }
        console_.say(table);
        const std::string warning = record_ ? record_->finish() : "";
        if (!warning.empty()) console_.say("tarmix: " + warning);

        int exitCode = LineExitCode(codes);
        if (const int stopped = ExitCodeOfStop(PendingStop()); stopped != 0) exitCode = stopped;
        if (exitCode == kResultOk && recordBroken_) exitCode = kResultRecordFailed;
        std::string last =
            "tarmix: " + FormatText(text::kExitCode, exitCode, DescribeResult(exitCode)) + "; ";
        if (failedStations.empty()) {
            last += LoadText(text::kAllSucceeded);
        } else {
            last += LoadText(text::kFailedStations);
            for (int station : failedStations)
                last +=
                    " " + std::to_string(station) + " (" + stationPorts[size_t(station - 1)] + ")";
        }
        console_.say(last);
        console_.event(nlohmann::ordered_json{{"event", "result"},
                                              {"exitCode", exitCode},
                                              {"reason", DescribeResult(exitCode)},
                                              {"failedStations", failedStations}}
                           .dump());
        return exitCode;
    }

    const ToolOptions& options_;
    StationPlan plan_;
    RecordedImage image_;
    std::unique_ptr<RecordSink> record_;
    LineConsole console_;
    std::mutex lock_;
    std::vector<StationTally> tallies_;
    std::atomic<bool> recordBroken_{false};
    uint64_t entries_ = 0;
};

// Why the command line cannot run as a line; empty when it can.
std::string lineRefusal(const ToolOptions& options, const std::vector<std::string>& words) {
    if (words.size() != 2 || words[0] != "/p")
        return LoadText(text::kLineRunsForm) +
               "\n  tarmix --headless --gang --port /dev/ttyUSB0 --port /dev/ttyUSB1 /p app.rom";
    if (options.simulate) return LoadText(text::kLineNoSimulate);
    if (options.ports.empty()) return LoadText(text::kLineNeedsPort);
    if (options.ports.size() > 1 && !options.line.gang) return LoadText(text::kLineNeedsGang);
    if (options.terminal || HasConsoleAction(options)) return LoadText(text::kLineRunsAlone);
    return "";
}

}  // namespace

int RunProductionLine(const ToolOptions& options, const std::vector<std::string>& words) {
    if (const std::string refusal = lineRefusal(options, words); !refusal.empty()) {
        std::cerr << "tarmix: " << refusal << "\n";
        return kResultUsage;
    }
    std::error_code failure;
    const fs::path file = fs::absolute(words[1], failure);
    const std::optional<std::string> sha256 = Sha256OfFile(file);
    if (!sha256) {
        std::cerr << "tarmix: " << FormatText(text::kCannotBeRead, words[1]) << "\n";
        return kResultDownloadFailed;
    }
    const RecordedImage image{file.filename().string(), file.string(), *sha256,
                              uint64_t(fs::file_size(file, failure))};

    std::unique_ptr<RecordSink> record;
    if (!options.line.record.empty()) {
        std::string error;
        record = OpenRecord(options.line.record, error);
        if (!record) {
            std::cerr << "tarmix: " << FormatText(text::kNothingTouched, error) << "\n";
            return kResultRecordFailed;
        }
    }

    StationPlan plan;
    plan.file = file.string();
    plan.verify = options.verify;
    plan.baud = options.line.baud;
    plan.traceFile = options.traceFile;
    plan.repeat = options.line.repeat;
    if (!plan.repeat)
        plan.waitFor = std::chrono::seconds(options.waitSeconds.value_or(kDefaultWaitSeconds));
    plan.folders = FindProgramFolders(executableFolder());
    if (!options.libraryFolder.empty())
        plan.folders.library = fs::absolute(options.libraryFolder, failure);
    plan.json = options.json;
    return ProductionLine(options, std::move(plan), image, std::move(record)).run();
}

}  // namespace tarmix
