// What every benchmark against tarmix-sim needs: a paced simulator on a pseudo-terminal with
// the program's serial line open on it at the link rate, a view that keeps quiet, and a
// count of the bytes that crossed the line.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/simulator_launcher.h"
#include "link/monitor_exchange.h"
#include "link/wire_observer.h"
#include "models/device.h"
#include "platform/view.h"

namespace tarmix::bench {

// Prints messages to stderr (a benchmark that shows one has gone wrong) and answers every
// question with `answer`.
class QuietView final : public View {
  public:
    explicit QuietView(bool answer = false) : answer_(answer) {}
    void setStatus(const std::string&) override {}
    void setProgressRange(int, int) override {}
    void setProgress(int) override {}
    void showMessage(const std::string& text, const std::string&, MessageIcon) override;
    bool askYesNo(const std::string&, const std::string&) override { return answer_; }
    void setWaitCursor(bool) override {}

  private:
    bool answer_;
};

// Bytes that crossed the line, each way.
struct LineBytes final : WireObserver {
    void onSent(Millis, const uint8_t*, size_t count) override { sent += count; }
    void onReceived(Millis, const uint8_t*, size_t count) override { received += count; }
    size_t both() const { return sent + received; }
    void clear() { sent = received = 0; }
    size_t sent = 0;
    size_t received = 0;
};

// An empty folder of this run's own below the temporary folder, so that benchmarks running
// side by side never share one.
std::filesystem::path ScratchFolder(const std::string& name);

// CPU seconds this process has used, user and system.
double ProcessCpuSeconds();

// Seconds `bytes` need on a line at `baud` (10 bit times per byte).
inline double WireSeconds(size_t bytes, uint32_t baud) { return double(bytes) * 10 / baud; }

// Starts tarmix-sim paced as a real line ("--pace" plus `simulatorArguments`); false (the
// reason on stderr) when it cannot be started.
bool StartPacedSimulator(SimulatorLauncher& simulator, const std::string& model,
                         const std::vector<std::string>& simulatorArguments = {});

// A paced tarmix-sim with COM1 open on it.
class SimulatedLine {
  public:
    // False (the reason on stderr) when the simulator or the line cannot be started.
    bool start(const std::string& model, const std::vector<std::string>& simulatorArguments = {});
    // Asks the monitor who it is, its version and its drives, as the connection watch does.
    DeviceDescription identify();
    void stop();

    CSerial& serial() { return *serial_; }
    MonitorExchange& monitor() { return *monitor_; }
    const std::string& devicePath() const { return simulator_.devicePath(); }

  private:
    SimulatorLauncher simulator_;
    std::unique_ptr<CSerial> serial_;
    std::unique_ptr<MonitorExchange> monitor_;
};

}  // namespace tarmix::bench
