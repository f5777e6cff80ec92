// A batch run against an in-process simulated controller on the virtual clock: the script
// is written into a folder of its own, the window's services are recorded.
#pragma once

#include <gtest/gtest.h>

#include "batch/batch_run.h"
#include "lang/catalog.h"
#include "support/forwarding_port.h"
#include "support/recording_view.h"
#include "unit/app/window/window_bench.h"

namespace tarmix::testing {

// The simulated controller's port; the first `linesToLose` command lines never arrive.
class LossyPort final : public ForwardingPort {
  public:
    LossyPort(sim::Controller& controller, Clock& clock, int& linesToLose)
        : ForwardingPort(std::make_unique<sim::InProcessPort>(controller, clock)),
          linesToLose_(linesToLose) {}
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        std::string kept;
        for (size_t i = 0; i < count; ++i) {
            if (linesToLose_ == 0) kept += char(data[i]);
            if (linesToLose_ > 0 && data[i] == '\r') --linesToLose_;
        }
        ForwardingPort::write(reinterpret_cast<const uint8_t*>(kept.data()), kept.size(), timeout);
        return long(count);
    }

  private:
    int& linesToLose_;
};

struct BatchBench {
    BatchBench()
        : controller(*sim::findModel("alder"), clock),
          serial([this] { return std::make_unique<LossyPort>(controller, clock, linesToLose); },
                 clock),
          monitor(serial),
          folder(std::filesystem::temp_directory_path() / uniqueFolderName("tarmix_batch")) {
        setLanguageIndex(kEnglishLanguage);
        std::filesystem::create_directories(folder);
        std::string error;
        EXPECT_TRUE(controller.loadState(folder / "device", error)) << error;
        serial.Open("COM1");
        serial.Configure(57600);
        serial.setObserver(&sent);
    }
    ~BatchBench() { std::filesystem::remove_all(folder); }

    // Writes the script (the bytes as given) and runs it.
    BatchOutcome run(const std::string& script, const std::string& name = "script.txt") {
        const std::filesystem::path path = folder / name;
        std::ofstream(path, std::ios::binary) << script;
        BatchContext context{monitor,
                             view,
                             hardwareModel,
                             applicationStart,
                             [this](const std::string& file) {
                                 downloads.push_back(file);
                                 return downloadResult;
                             },
                             [this] { ++applicationStarts; },
                             [this](const std::string& text) { shown.push_back(text); },
                             [this] {
                                 ++timeReads;
                                 return time;
                             }};
        context.downloadFile = [this](const std::string& pcPath, const std::string& devicePath) {
            transfers.push_back("download " + pcPath + " " + devicePath);
            return FileTransfer({monitor, view, device, askBeforeOverwrite, {}})
                .Download(pcPath, "", devicePath);
        };
        context.uploadFile = [this](const std::string& devicePath, const std::string& pcPath) {
            transfers.push_back("upload " + devicePath + " " + pcPath);
            askBeforeOverwrite = true;
            return FileTransfer({monitor, view, device, askBeforeOverwrite, {}})
                .Upload(pcPath, devicePath);
        };
        return RunBatchFile(context, path.string());
    }
    std::filesystem::path drive(char letter) const {
        return folder / "device" / "drives" / std::string(1, letter);
    }
    std::string lastMessage() const {
        return view.messages.empty() ? "" : view.messages.back().text;
    }

    VirtualClock clock;
    sim::Controller controller;
    int linesToLose = 0;
    CSerial serial;
    MonitorExchange monitor;
    SentLines sent;
    RecordingView view;
    std::filesystem::path folder;

    DeviceDescription device = [] {
        DeviceDescription alder;
        alder.driveSizes = {1024, 64, 256};
        return alder;
    }();
    bool askBeforeOverwrite = false;
    std::vector<std::string> transfers;  // every file copy the script asked for

    int32_t hardwareModel = 1;
    uint32_t applicationStart = 0;
    std::vector<std::string> downloads;
    int downloadResult = 0;
    int applicationStarts = 0;
    std::vector<std::string> shown;
    LocalTime time{1, 7, 12, 2026, 8, 30, 5};  // Monday, 7 December 2026, 08:30:05
    int timeReads = 0;
};

}  // namespace tarmix::testing
