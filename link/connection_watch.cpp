#include "link/connection_watch.h"

#include "lang/catalog.h"
#include "models/models.h"

namespace tarmix {

namespace {

constexpr char kParallelPortName[] = "LPT1";

}  // namespace

void ToggleParallelTransfer(CParallel& parallel, ParallelFlags& flags) {
    if (flags.open) {
        flags.open = false;
        parallel.Close();
        return;
    }
    flags.available = parallel.Open(kParallelPortName) == 0;
    flags.open = flags.available;
    if (!flags.available) parallel.Close();
}

void ProbeParallelPort(MonitorExchange& monitor, CParallel& parallel, ParallelFlags& flags) {
    CSerial& serial = monitor.serial();
    serial.DrainInput();
    if (serial.SendLine(std::string(kParallelTestCommand)) != 0) return;
    std::string answer;
    serial.ReceiveText(answer, kWatchAnswerCapacity, kWatchAnswerCapacity,
                       monitor.scaled(kWatchAnswerTimeout));
    if (!isParallelTestAnswer(answer)) {
        // This controller does not read the parallel port: offering it would only make the
        // next download fail at "parportCTRL on".
        flags.available = false;
        flags.open = false;
        parallel.Close();
        return;
    }
    if (flags.open) {
        flags.open = false;
        ToggleParallelTransfer(parallel, flags);
        return;
    }
    flags.available = parallel.Open(kParallelPortName) == 0;
    parallel.Close();
}

int ReopenLink(CSerial& serial, bool usbReenumerating) {
    const std::string name = serial.portName();
    serial.Close();
    if (!usbReenumerating) {
        if (serial.Open(name) != 0) return 1;
        return serial.Configure(CSerial::kLinkBaud);
    }
    serial.clock().sleep(kUsbSettle);
    for (int attempt = 0; attempt < kUsbOpenTries; ++attempt) {
        if (serial.Open(name) == 0) return serial.Configure(CSerial::kLinkBaud);
        serial.clock().sleep(kUsbRetryPause);
    }
    return 1;
}

bool NeedsUsbReopen(int32_t hardwareModel, bool portIsUsb) {
    const ModelInfo* model = findModel(hardwareModel);
    return portIsUsb && model && model->usbReenumerates;
}

ConnectionWatch::Failure ConnectionWatch::Handshake(bool portIsUsb, std::string& answer) {
    CSerial& serial = monitor_.serial();
    serial.DrainInput();
    if (serial.SendLine(std::string(kHandshakeCommand)) != 0) return Failure::LineLost;
    if (serial.ReceiveText(answer, kWatchAnswerCapacity, kWatchAnswerCapacity, answerTimeout()) !=
        0)
        return Failure::ReadError;
    if (isHandshakeAnswer(answer)) return Failure::None;
    // A USB adapter that brings no answer may have lost its device: start the line afresh.
    return portIsUsb ? Failure::LineLost : Failure::NoAnswer;
}

void ConnectionWatch::RunOneTimeQueries(int32_t& baudRate, WatchReport& report) {
    ProbeParallelPort(monitor_, parallel_, parallelFlags_);

    // CollectAnswer keeps one character of its buffer free.
    constexpr size_t kBuffer = kWatchAnswerCapacity + 1;
    const std::optional<int32_t> version = parseVersionAnswer(
        monitor_.CollectAnswer(std::string(kVersionCommand), kBuffer, answerTimeout()));
    applyVersion(device_, version);
    report.firmwareText = firmwareFieldText(version, LoadText(kFirmwareVersionTextId));

    report.extendedFirmwareSet = applyBaudCapabilities(device_, baudRate);

    std::optional<std::array<int32_t, kDriveCount>> sizes;
    if (device_.firmwareVersion >= kFirstVersionWithDrives)
        sizes = parseDrivesAnswer(
            monitor_.CollectAnswer(std::string(kDrivesCommand), kBuffer, answerTimeout()));
    report.firstDrive = applyDrives(device_, sizes);
    report.queriesRan = true;
}

WatchReport ConnectionWatch::Tick(bool portIsUsb, int32_t& baudRate,
                                  std::string_view shownFlashText) {
    WatchReport report;
    CSerial& serial = monitor_.serial();
    std::string answer;
    const Failure failure = Handshake(portIsUsb, answer);

    if (failure == Failure::None) {
        report.answered = true;
        report.fields = identifyModel(answer, device_, shownFlashText);
        const ModelInfo* model = findModel(device_.hardwareModel);
        if (model && model->usbReenumerates) serial.usbAdapter = portIsUsb ? 1 : 0;
        if (!device_.deviceIdentified) {
            RunOneTimeQueries(baudRate, report);
            device_.deviceIdentified = true;
        }
    } else {
        device_.deviceIdentified = false;
    }

    if (failure == Failure::ReadError || failure == Failure::LineLost) {
        report.lineFailed = true;
        const bool usbRestart =
            failure == Failure::LineLost && NeedsUsbReopen(device_.hardwareModel, portIsUsb);
        report.reopened = ReopenLink(serial, usbRestart) == 0;
    }

    if (!device_.deviceIdentified) {
        device_.bankA = {};
        device_.bankB = {};
        device_.bankC = {};
    }
    ++tickCount_;
    return report;
}

}  // namespace tarmix
