// The monitor's memory commands: block intake with "burn" and "verify", "dump", "read",
// "fill", S-record intake at the "s3offset" offset, and "tell appl".
#include <algorithm>

#include "sim/controller.h"
#include "sim/monitor_text.h"
#include "sim/srec.h"

namespace tarmix::sim {

namespace {

constexpr uint32_t kDumpBytesPerLine = 16;
// "fill" covers at most this much; the largest RAM fill the program sends is 1 MiB.
constexpr uint32_t kMaxFill = 0x2000000;

}  // namespace

void Controller::startBlock(bool verify, const Args& args) {
    uint32_t address = 0, count = 0, checksum = 0;
    if (!parseHexFields(args, {&address, &count, &checksum}, kHex08)) return refuse(kSyntaxError);
    // Nothing of a refused block is taken: its data that follow are read as command text.
    const uint32_t limit = source_ == kParallel ? kParallelBlockLimit : model_.serialBlockLimit;
    if (count > limit || count % 2) return refuse(kBlockSizeError);
    if (address % 4) return refuse(kAddressError);
    block_ = Block{source_, verify, translated(address), count, checksum, {}, clock_.now()};
    // The line ends and the data follow; the answer comes once they are all in.
    emit("\r\n");
    if (count == 0) finishBlock();
}

void Controller::takeBlockData(std::string_view& bytes) {
    const size_t wanted = block_->count - block_->data.size();
    const size_t taken = std::min(wanted, bytes.size());
    block_->data.append(bytes.substr(0, taken));
    block_->lastByte = clock_.now();
    bytes.remove_prefix(taken);
    if (block_->data.size() == block_->count) finishBlock();
}

bool Controller::blockFits(const Block& block) const {
    if (model_.ram.containsRange(block.address, block.count)) return true;
    const MemoryArea* bank = memory_.flashBank(block.address, block.count);
    if (!bank) return false;
    // The boot loader can be compared, but only "flash program" writes over it.
    const bool bootArea =
        bank == &model_.flashBanks.front() && block.address - bank->start < model_.bootSize;
    return block.verify || !bootArea;
}

void Controller::finishBlock() {
    const Block block = std::move(*block_);
    block_.reset();
    if (block.eeprom) return finishEepromBlock(block);
    const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(block.data.data()),
                                        block.data.size());
    uint32_t sum = 0;
    for (uint8_t b : data) sum += b;
    // The answers follow the CR LF sent when the command line ended.
    if (~sum != block.checksum) {
        emit(kChecksumError);
        return prompt();
    }
    if (!blockFits(block)) {
        emit(kAddressError);
        return prompt();
    }
    Millis busy{0};
    if (block.verify) {
        const std::vector<uint8_t> held = memory_.read(block.address, block.count);
        const auto differ = std::mismatch(held.begin(), held.end(), data.begin());
        if (differ.first != held.end()) {
            emit(format("Verify error at %08x",
                        block.address + unsigned(differ.first - held.begin())));
            return prompt();
        }
    } else if (model_.burnErases || !memory_.flashBank(block.address)) {
        memory_.store(block.address, data);
    } else {
        memory_.program(block.address, data);
        busy = flashTime(block.count);
    }
    emit("o.k.", busy);
    prompt();
}

void Controller::dump(const Args& args) {
    uint32_t address = 0, count = 0;
    if (args.size() != 2 || !parseHexField(args[0], kHex08, address) || !parseHex(args[1], count) ||
        count > kMaxBlock)
        return refuse(kSyntaxError);
    const std::vector<uint8_t> bytes = memory_.read(address, count);
    // "%08x:  ", sixteen "%02x " groups, a blank and the bytes as text: 76 characters, so
    // with its CR LF each line takes 78 and the byte at offset k of the block stands
    // 11 + 3 * (k % 16) + 78 * (k / 16) characters after the first line's start.
    for (uint32_t offset = 0; offset < count; offset += kDumpBytesPerLine) {
        std::string hex = format("%08x:  ", address + offset);
        std::string text;
        for (uint32_t i = offset; i < offset + kDumpBytesPerLine; ++i) {
            if (i >= count) {
                hex += "   ";
                continue;
            }
            hex += format("%02x ", bytes[i]);
            text += bytes[i] >= 0x20 && bytes[i] < 0x7f ? char(bytes[i]) : '.';
        }
        answerLine(hex + " " + text);
    }
    prompt();
}

void Controller::readMemory(const Args& args) {
    uint32_t address = 0, count = 0;
    if (!parseHexFields(args, {&address, &count}, kHex08Upper) || count > kMaxBlock)
        return refuse(kSyntaxError);
    const std::vector<uint8_t> bytes = memory_.read(address, count);
    uint32_t sum = 0;
    for (uint8_t b : bytes) sum += b;
    // A 28-character header (address, count and the plain sum of the bytes), then the raw
    // bytes.
    emit("\r\n" + format("%08X %08X %08X\r\n", address, count, sum) +
         std::string(bytes.begin(), bytes.end()));
    prompt();
}

void Controller::fill(const Args& args) {
    // The monitor fills RAM only for the boot loader update, in its model's window.
    if (!updateLineKnown(runningLine_)) return refuse(kSyntaxError);
    uint32_t address = 0, count = 0, value = 0;
    if (!parseHexArgs(args, {&address, &count, &value}) || value > 0xff || count > kMaxFill ||
        uint64_t{address} + count > uint64_t{1} << 32)
        return refuse(kSyntaxError);
    if (memory_.touchesFlash(address, count)) return refuse(kAddressError);
    memory_.store(address, std::vector<uint8_t>(count, uint8_t(value)));
    prompt();
}

void Controller::setS3Offset(const Args& args) {
    uint32_t offset = 0;
    if (!updateLineKnown(runningLine_) || !parseHexArgs(args, {&offset}))
        return refuse(kSyntaxError);
    s3Offset_ = offset;
    answerLine(format("  Offset:    %08X", offset));
    prompt();
}

void Controller::takeSrecord(const std::string& line) {
    const std::optional<Srecord> record = DecodeSrecord(line);
    if (!record) return answerLine("S-record error");
    emit("\r\n");
    if (!record->carriesData()) return;  // header, count and end records carry nothing to store
    const uint32_t address = record->address + s3Offset_;
    noteFlashWrite(address, uint32_t(record->data.size()));
    memory_.program(address, record->data);
}

void Controller::tellApplication() {
    // The application reaches from the start of its flash area to the last byte written.
    const MemoryArea area = applicationFlash();
    uint32_t last = 0;
    const uint32_t length = memory_.lastWritten(area, last) ? last - area.start + 1 : 0;
    answerLine(format("Text: %08X %08X", area.start, length));
    answerLine(format("Data: %08X %08X", area.start + length, applicationData_));
    prompt();
}

}  // namespace tarmix::sim
