#include "link/connection_watch.h"

#include <algorithm>
#include <vector>

#include "lang/catalog.h"
#include "lang/text_names.h"
#include "link/agreeing_readings.h"
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
    std::string answer;
    const Reply reply = monitor.CollectUntilPrompt(std::string(kParallelTestCommand), answer,
                                                   kWatchAnswerCapacity, kWatchAnswerWait);
    if (reply.heard == Heard::SendFailed) return;
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
    const Reply reply = monitor_.CollectUntilPrompt(std::string(kHandshakeCommand), answer,
                                                    kWatchAnswerCapacity, kWatchAnswerWait);
    if (reply.heard == Heard::SendFailed) return Failure::LineLost;
    if (reply.heard == Heard::ReadFailed) return Failure::ReadError;
    if (isHandshakeAnswer(answer)) return Failure::None;
    // A USB adapter that brings no answer may have lost its device: start the line afresh.
    return portIsUsb ? Failure::LineLost : Failure::NoAnswer;
}

std::string ConnectionWatch::Collect(std::string_view command) {
    std::string answer;
    monitor_.CollectUntilPrompt(std::string(command), answer, kWatchAnswerCapacity,
                                kWatchAnswerWait);
    return answer;
}

bool ConnectionWatch::RunOneTimeQueries(int32_t& baudRate, WatchReport& report) {
    const bool firstAsk = versionFailures_ == 0 && drivesFailures_ == 0;
    if (firstAsk) ProbeParallelPort(monitor_, parallel_, parallelFlags_);
    // Once the version is read, later ticks ask only for what is still missing.
    if (drivesFailures_ == 0 && !AskVersion(baudRate, report)) return false;
    return AskDrives(report);
}

std::optional<int32_t> ConnectionWatch::ReadAgreedVersion() {
    // The answer has no checksum, and a digit lost on the line would change the version
    // that decides the commands and rates: it counts once two readings agree.
    return FirstAgreeingReading(kVersionReadings,
                                [this] { return parseVersionAnswer(Collect(kVersionCommand)); });
}

bool ConnectionWatch::AskVersion(int32_t& baudRate, WatchReport& report) {
    const std::optional<int32_t> version = ReadAgreedVersion();
    if (!version && ++versionFailures_ < kVersionAsks) return false;
    versionFailures_ = 0;
    applyVersion(device_, version);
    report.firmwareText = firmwareFieldText(version, LoadText(text::kFirmwareVersion));
    report.extendedFirmwareSet = applyBaudCapabilities(device_, baudRate);
    report.queriesRan = true;
    return true;
}

bool ConnectionWatch::AskDrives(WatchReport& report) {
    std::optional<std::array<int32_t, kDriveCount>> sizes;
    if (device_.firmwareVersion >= kFirstVersionWithDrives) {
        sizes = parseDrivesAnswer(Collect(kDrivesCommand));
        // A lost or garbled answer must not pass for "no file system": bank A would then
        // reach into drive C:.
        if (!sizes && ++drivesFailures_ < kDrivesAsks) return false;
    }
    device_.driveSizesUnread = device_.firmwareVersion >= kFirstVersionWithDrives && !sizes;
    drivesFailures_ = 0;
    report.firstDrive = applyDrives(device_, sizes);
    return true;
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
        if (!device_.deviceIdentified)
            device_.deviceIdentified = RunOneTimeQueries(baudRate, report);
    } else {
        device_.deviceIdentified = false;
        drivesFailures_ = 0;
        versionFailures_ = 0;
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
