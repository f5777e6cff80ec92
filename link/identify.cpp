#include "link/identify.h"

#include <limits>

#include "models/models.h"

namespace tarmix {
namespace {

constexpr std::string_view kHandshakeAnswer = "please answer me\r\nhere I am : ";
constexpr std::string_view kParallelTestAnswer = "parportCTRL test\r\no.k.\r\n";
constexpr std::string_view kVersionAnswer = "tell version\r\nVersion: ";
constexpr std::string_view kDrivesAnswer = "tell drives\r\nDrives:";
constexpr std::string_view kUnknownText = "???";

// The BIRCH panel may run at 115200 baud only with one of these clocks.
constexpr int32_t kBirchFastClocks[] = {7372800, 9216000};

constexpr int32_t kLastFlaggedVersion = 100000;

bool textAt(std::string_view answer, size_t position, std::string_view expected) {
    return position <= answer.size() && answer.substr(position).starts_with(expected);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A decimal number as the monitor prints it: leading white space skipped, an optional sign,
// then digits. Moves `position` behind the number. Empty when there is no number or it does
// not fit 32 bits.
std::optional<int32_t> readDecimal(std::string_view text, size_t& position) {
    size_t at = position;
    while (at < text.size() && isBlank(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    const size_t digitsStart = at;
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + (text[at] - '0');
        if (value > kLimit) return std::nullopt;
        ++at;
    }
    if (at == digitsStart) return std::nullopt;
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    position = at;
    return static_cast<int32_t>(value);
}

std::optional<int32_t> readDecimalAt(std::string_view text, size_t position) {
    if (position > text.size()) return std::nullopt;
    return readDecimal(text, position);
}

const ModelInfo* findModelByText(std::string_view answer) {
    for (const ModelInfo* model : identificationOrder()) {
        if (textAt(answer, kModelTextPosition, model->identification.modelText)) return model;
    }
    return nullptr;
}

// BIRCH: both banks from the size field, and the clock behind the forms that end in a blank.
std::string identifyBirchBanks(std::string_view answer, size_t sizeAt, DeviceDescription& device) {
    for (const BankLayout& layout : birchBankLayouts()) {
        if (!textAt(answer, sizeAt, layout.field)) continue;
        device.bankA = layout.bankA;
        device.bankB = layout.bankB;
        device.clockFrequency =
            layout.clockFollows ? readDecimalAt(answer, sizeAt + layout.field.size()).value_or(0)
                                : 0;
        return std::string(layout.flashText);
    }
    device.bankA = {};
    device.bankB = {};
    device.clockFrequency = 0;
    return std::string(kUnknownText);
}

// The application [s, e] lies in an area when both ends do and it starts below the top.
bool liesIn(AddressRange application, AddressRange area) {
    return application.low >= area.low && application.low < area.high &&
           application.high >= area.low && application.high <= area.high;
}

double fraction(double part, AddressRange area) {
    const uint32_t size = area.size();
    return size == 0 ? 0.0 : part / size;
}

// A chosen rate the model cannot run (a saved 230400, say) would make every bulk operation
// ask the monitor for a rate it does not have: take the fastest one it allows instead.
void keepRateAllowed(const DeviceDescription& device, int32_t& baudRate) {
    const bool allowed = (baudRate == 57600 && device.allowBaud57600) ||
                         (baudRate == 115200 && device.allowBaud115200) ||
                         (baudRate == 230400 && device.allowBaud230400);
    if (allowed) return;
    baudRate = device.allowBaud230400 ? 230400 : device.allowBaud115200 ? 115200 : 57600;
}

}  // namespace

bool isHandshakeAnswer(std::string_view answer) { return answer.starts_with(kHandshakeAnswer); }

ModelFieldTexts identifyModel(std::string_view answer, DeviceDescription& device,
                              std::string_view shownFlashText) {
    const ModelInfo* model = findModelByText(answer);
    if (model == nullptr) {
        device.hardwareModel = 0;
        device.bankA = {};
        device.bankB = {};
        return {std::string(findModel(0)->panelText), std::string(kUnknownText)};
    }

    const IdentificationRow& row = model->identification;
    device.hardwareModel = model->code;
    device.bankC = row.bankC;
    ModelFieldTexts texts{std::string(model->panelText), {}};
    if (row.sizeRule == SizeRule::BirchBankTable) {
        texts.flash = identifyBirchBanks(answer, row.sizeAt, device);
        return texts;
    }

    device.bankB = {};
    for (const FlashSize& size : row.sizes) {
        if (textAt(answer, row.sizeAt, size.field)) {
            device.bankA = size.bankA;
            texts.flash = size.flashText;
            return texts;
        }
    }
    if (row.sizeRule == SizeRule::ListedOrKeep) {
        texts.flash = shownFlashText;
    } else {
        device.bankA = {};
        texts.flash = kUnknownText;
    }
    return texts;
}

bool isParallelTestAnswer(std::string_view answer) {
    return answer.starts_with(kParallelTestAnswer);
}

std::optional<int32_t> parseVersionAnswer(std::string_view answer) {
    if (!answer.starts_with(kVersionAnswer)) return std::nullopt;
    return readDecimalAt(answer, kVersionAnswer.size());
}

void applyVersion(DeviceDescription& device, std::optional<int32_t> version) {
    device.firmwareVersion = version.value_or(0);
    device.versionFlag = !version || *version <= kLastFlaggedVersion;
}

std::string firmwareFieldText(std::optional<int32_t> version, std::string_view label) {
    if (!version) return std::string(kUnknownFirmwareText);
    std::string text(label);
    text += ": ";
    text += std::to_string(*version);
    return text;
}

std::optional<std::array<int32_t, kDriveCount>> parseDrivesAnswer(std::string_view answer) {
    if (!answer.starts_with(kDrivesAnswer)) return std::nullopt;
    std::array<int32_t, kDriveCount> sizes{};
    size_t position = kDrivesAnswer.size();
    for (int32_t& size : sizes) {
        const std::optional<int32_t> value = readDecimal(answer, position);
        // A negative size would move the download limit of bank A above the bank.
        if (!value || *value < 0) return std::nullopt;
        size = *value;
    }
    return sizes;
}

int applyDrives(DeviceDescription& device,
                const std::optional<std::array<int32_t, kDriveCount>>& sizes) {
    if (sizes) {
        for (int drive = 0; drive < kDriveCount; ++drive) {
            if ((*sizes)[static_cast<size_t>(drive)] != 0) {
                device.driveSizes = *sizes;
                device.drivesPresent = true;
                return drive;
            }
        }
    }
    device.driveSizes = {};
    device.drivesPresent = false;
    return -1;
}

bool applyBaudCapabilities(DeviceDescription& device, int32_t& baudRate) {
    const ModelInfo* model = findModel(device.hardwareModel);
    const bool fastOnAnyMonitor = model && model->baud && model->baud->fastOnAnyMonitor;
    if (device.firmwareVersion <= kLastSlowMonitorVersion && !fastOnAnyMonitor) {
        baudRate = 57600;
        device.allowBaud57600 = true;
        device.allowBaud115200 = false;
        device.allowBaud230400 = false;
        return false;
    }
    if (model == nullptr || !model->baud) return false;

    const BaudCapabilities& caps = *model->baud;
    device.allowBaud57600 = true;
    device.allowBaud230400 = false;
    switch (caps.allow115200) {
        case Allow115200::No:
            device.allowBaud115200 = false;
            break;
        case Allow115200::Yes:
            device.allowBaud115200 = true;
            break;
        case Allow115200::WithFastClock:
            device.allowBaud115200 = device.clockFrequency == kBirchFastClocks[0] ||
                                     device.clockFrequency == kBirchFastClocks[1];
            break;
    }
    switch (caps.change) {
        case BaudChoiceChange::None:
            break;
        case BaudChoiceChange::Cap230400To115200:
            if (baudRate == 230400) baudRate = 115200;
            break;
        case BaudChoiceChange::Force57600:
            baudRate = 57600;
            break;
        case BaudChoiceChange::Force115200:
            if (baudRate == 230400) baudRate = 57600;
            if (baudRate == 57600) baudRate = 115200;
            break;
    }
    keepRateAllowed(device, baudRate);
    if (caps.extended == ExtendedFlag::Unchanged) return false;
    device.extendedFirmware = caps.extended == ExtendedFlag::Set;
    return true;
}

UsageFractions usageFractions(const DeviceDescription& device, bool applicationLoaded,
                              AddressRange applicationRange, double lastRomUsage) {
    const double fileSystem = double(device.driveSizes[2]) * 1024.0;
    const double applicationSize = double(applicationRange.high) - applicationRange.low + 1.0;
    const double ramUsage = fraction(fileSystem, device.bankA);
    if (!applicationLoaded) return {lastRomUsage, ramUsage};
    if (liesIn(applicationRange, device.bankA)) {
        return {fraction(applicationSize, device.bankA), ramUsage};
    }
    if (liesIn(applicationRange, device.bankB)) return {fraction(applicationSize, device.bankB), 0};
    if (liesIn(applicationRange, device.bankC)) return {fraction(applicationSize, device.bankC), 0};
    return {0.0, ramUsage};
}

Millis connectionWatchPeriod(int32_t timeFactor) {
    constexpr Millis kBasePeriod{500};
    return kBasePeriod * (timeFactor / 5 + 1);
}

}  // namespace tarmix
