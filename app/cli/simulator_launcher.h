// Runs tarmix-sim as a child process on a private pseudo-terminal, for the --simulate
// option and the demo. The simulator is found beside the tarmix executable, else on PATH.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarmix {

class SimulatorLauncher {
  public:
    SimulatorLauncher() = default;
    ~SimulatorLauncher() { stop(); }
    SimulatorLauncher(const SimulatorLauncher&) = delete;
    SimulatorLauncher& operator=(const SimulatorLauncher&) = delete;

    // Starts the simulator with the model keyword and any further arguments, and waits
    // (bounded) for it to name its device. false with a reason when it cannot be started.
    bool start(const std::string& model, const std::vector<std::string>& extraArguments,
               std::string& error);
    // Runs this simulator executable instead of the one found by findSimulator.
    void setExecutable(std::string path) { executable_ = std::move(path); }
    // The simulator executable this launcher runs.
    std::string executable() const;
    // Stops the simulator (it saves its state on the way out) and waits for it.
    void stop();

    const std::string& devicePath() const { return devicePath_; }

  private:
    std::string executable_;
    pid_t child_ = -1;
    std::string devicePath_;
};

// The model keywords the simulator knows (it lists them itself); empty when it cannot be
// run.
std::vector<std::string> SimulatorModels(const std::string& executable = "");

// The tarmix-sim executable to run: beside `folder` when it is there, else from PATH.
std::string findSimulator(const std::string& folder);

// A "Library" of demo boot images for a simulated model ("tarmix-sim make-library"), in a
// temporary folder that is removed with this object. Only runs with --simulate use one.
class DemoLibrary {
  public:
    DemoLibrary() = default;
    ~DemoLibrary();
    DemoLibrary(const DemoLibrary&) = delete;
    DemoLibrary& operator=(const DemoLibrary&) = delete;

    // Makes the images with the simulator `executable`; false with a reason on failure.
    bool make(const std::string& executable, const std::string& model, std::string& error);
    // The Library folder; empty before make succeeded.
    const std::filesystem::path& folder() const { return folder_; }

  private:
    std::filesystem::path root_;
    std::filesystem::path folder_;
};

}  // namespace tarmix
