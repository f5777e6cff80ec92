#include "batch/application_read.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "flash/srec_writer.h"
#include "lang/text_names.h"
#include "models/models.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace {

using namespace std::chrono_literals;

constexpr size_t kAnswerCapacity = 30000;
// Each read waits one cycle; the answer ends with the prompt after an empty read.
// While nothing but the echo has arrived the monitor may think for a while; once it talks,
// a short silence is enough to give up.
constexpr Wait kReadCycle = Wait::Scaled(100ms);
constexpr int kPatientReads = 300;
constexpr int kApplInfoImpatientReads = 10;
constexpr size_t kApplInfoReadings = 4;  // at most, while looking for two that agree
constexpr int kBlockImpatientReads = 100;
// When the echo shows that another line reached the monitor (a byte changed on the way),
// no answer to the command will come: a short silence ends the wait.
constexpr int kOtherLineReads = 5;
constexpr size_t kBlockHeaderLength = 28;
constexpr int kAttemptsPerBlock = 10;
constexpr uint32_t kRecordsInS5 = 0xFFFF;

enum class Collected { Complete, SendFailed, TimedOut };

// Sends the command and collects the answer until the prompt, by the empty-read rule.
// `expected` > 0: the answer is complete as soon as that many bytes ending with the prompt
// are there (binary data may hold the prompt's bytes anywhere else).
Collected CollectUntilPrompt(MonitorExchange& monitor, const std::string& command,
                             int impatientReads, size_t expected, std::string& answer) {
    answer.clear();
    if (!monitor.SendCommand(command)) return Collected::SendFailed;
    const std::string echo = command + "\r\n";
    std::string part;
    int emptyReads = 0;
    for (;;) {
        const size_t room = kAnswerCapacity - answer.size();
        if (monitor.Receive(part, room, room, kReadCycle).heard == Heard::ReadFailed)
            return Collected::TimedOut;
        if (!part.empty()) {
            answer += part;
            emptyReads = 0;
            if (expected && answer.size() >= expected && EndsWithPrompt(answer))
                return Collected::Complete;
            continue;
        }
        const size_t echoed = std::min(answer.size(), echo.size());
        const bool otherLine = answer.compare(0, echoed, echo, 0, echoed) != 0;
        // A prompt after another line's answer ends it too: the caller's checks refuse it.
        if (EndsWithPrompt(answer) && (answer.size() >= expected || otherLine))
            return Collected::Complete;
        const bool onlyEcho = answer.size() <= echo.size();
        const int limit = otherLine ? kOtherLineReads : onlyEcho ? kPatientReads : impatientReads;
        if (++emptyReads > limit) return Collected::TimedOut;
    }
}

// Two hexadecimal numbers after `tag`; 0 when found and read, else the failure text.
int ReadTaggedPair(const std::string& answer, const char* tag, uint32_t& first, uint32_t& second) {
    const size_t at = answer.find(tag);
    if (at == std::string::npos) return text::kNotAvailable;
    unsigned a = 0, b = 0;
    if (std::sscanf(answer.c_str() + at + std::strlen(tag), "%X %X", &a, &b) != 2)
        return text::kReadError;
    first = a;
    second = b;
    return 0;
}

// The block's data when the answer checks out: the header names the address and count
// asked for, and the bytes add up to its sum.
bool CheckedBlock(const std::string& answer, size_t echoLength, uint32_t address, uint32_t count,
                  std::string_view& data) {
    if (answer.size() < echoLength + kBlockHeaderLength + count) return false;
    const std::string header = answer.substr(echoLength, kBlockHeaderLength);
    unsigned gotAddress = 0, gotCount = 0, sum = 0;
    if (std::sscanf(header.c_str(), "%x %x %x", &gotAddress, &gotCount, &sum) != 3) return false;
    if (gotAddress != address || gotCount != count) return false;
    data = std::string_view(answer).substr(echoLength + kBlockHeaderLength, count);
    uint32_t total = 0;
    for (char c : data) total += static_cast<unsigned char>(c);
    return total == sum;
}

// The block's data as S3 records, one per line.
bool WriteRecords(ReplacingFile& file, uint32_t address, std::string_view data, uint32_t& records) {
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(data.data()),
                                         data.size());
    std::string text, line;
    for (size_t offset = 0; offset < bytes.size();) {
        FormatDataRecord(line, bytes, offset, address,
                         std::min(kBackupRecordBytes, bytes.size() - offset));
        text += line + "\r\n";
        ++records;
    }
    return file.Write(text);
}

}  // namespace

std::optional<ApplicationArea> ParseApplicationArea(const std::string& answer,
                                                    ApplicationAreaFailure& failure) {
    ApplicationArea area;
    if (int text = ReadTaggedPair(answer, "Text:", area.textStart, area.textLength)) {
        failure = {text::kTextSector, text};
        return std::nullopt;
    }
    if (int text = ReadTaggedPair(answer, "Data:", area.dataStart, area.dataLength)) {
        failure = {text::kDataSector, text};
        return std::nullopt;
    }
    return area;
}

std::optional<ApplicationArea> ReadApplicationArea(MonitorExchange& monitor, int32_t hardwareModel,
                                                   ApplicationAreaFailure& failure) {
    // The answer is text without a checksum: a digit the line changed would move or cut
    // the image. It is taken only when two readings agree.
    std::vector<std::string> readings;
    std::string answer;
    while (true) {
        switch (CollectUntilPrompt(monitor, "tell appl", kApplInfoImpatientReads, 0, answer)) {
            case Collected::SendFailed:
                failure = {0, text::kCommandSendError};
                return std::nullopt;
            case Collected::TimedOut:
                failure = {0, text::kApplicationInfoTimeout};
                return std::nullopt;
            case Collected::Complete:
                break;
        }
        if (std::find(readings.begin(), readings.end(), answer) != readings.end()) break;
        if (readings.size() + 1 == kApplInfoReadings) {
            failure = {0, text::kReadError};
            return std::nullopt;
        }
        readings.push_back(answer);
    }
    if (const uint32_t whole = modelRow(hardwareModel).wholeFlashBackup; whole != 0)
        return ApplicationArea{0, whole, 0, 0};
    return ParseApplicationArea(answer, failure);
}

ImageRead ReadApplicationImage(MonitorExchange& monitor, uint32_t start, uint32_t imageStart,
                               uint32_t size, uint32_t blockSize, bool readTwice,
                               ReplacingFile& file,
                               const std::function<void(int share, uint32_t bytesDone)>& progress) {
    const uint32_t wholeBlocks = std::max<uint32_t>(1, size / blockSize);
    uint32_t address = start, left = size, blocksDone = 0, records = 0;
    int failedAttempts = 0;
    std::string answer;
    std::string firstRead;  // the block as read before, when it must be read twice
    while (left > 0) {
        if (StopRequested())
            return ImageRead::DeviceFailed;  // between two blocks: the monitor prompts
        const uint32_t count = std::min(blockSize, left);
        char command[40];
        std::snprintf(command, sizeof command, "read %08X %08X", address, count);
        const size_t echoLength = std::strlen(command) + 2;
        const size_t expected = echoLength + kBlockHeaderLength + count + kMonitorPromptLength;
        std::string_view data;
        const bool good = CollectUntilPrompt(monitor, command, kBlockImpatientReads, expected,
                                             answer) == Collected::Complete &&
                          CheckedBlock(answer, echoLength, address, count, data);
        if (!good) {
            // A block is asked for again only while the monitor answers at all.
            if (++failedAttempts >= kAttemptsPerBlock || !monitor.Answers())
                return ImageRead::DeviceFailed;
            continue;
        }
        if (readTwice && data != firstRead) {
            // Taken only when two reads in a row agree: the sum misses changes that cancel.
            const bool disagreed = !firstRead.empty();
            firstRead.assign(data);
            if (disagreed && ++failedAttempts >= kAttemptsPerBlock) return ImageRead::DeviceFailed;
            continue;
        }
        firstRead.clear();
        if (!WriteRecords(file, imageStart + (address - start), data, records))
            return ImageRead::WriteFailed;
        address += count;
        left -= count;
        failedAttempts = 0;
        progress(int(std::min<uint64_t>(uint64_t(++blocksDone) * 1000 / wholeBlocks, 1000)),
                 size - left);
    }
    // The record count: S5 holds 16 bits, S6 24.
    std::string line;
    if (records <= kRecordsInS5)
        FormatCountRecord(line, records);
    else
        FormatRecord(line, '6', records, {});
    std::string tail = line + "\r\n";
    FormatEndRecord(line, imageStart);
    tail += line + "\r\n";
    return file.Write(tail) ? ImageRead::Complete : ImageRead::WriteFailed;
}

}  // namespace tarmix
