// The monitor's EEPROM block commands.
//
//   geteepromdata AAAAAAAA LLLLLLLL   echo, CR LF, "Addr AAAAAAAA", the L bytes, the
//                                     checksum (two bytes, low first), the prompt
//   seteepromdata AAAAAAAA LLLLLLLL   echo, CR LF; then takes L bytes and the two checksum
//                                     bytes and answers "O.K." (or an error line) and the
//                                     prompt
//
// The checksum is the ones' complement of the 16-bit sum of the data bytes. A refused
// command answers its error line and the prompt at once and takes no data. Both numbers are
// eight lower-case digits; the range lies in the model's EEPROM data area. After "O.K." the
// monitor writes the block into the EEPROM and hears nothing for kEepromWriteTime.
#include "sim/controller.h"
#include "sim/monitor_text.h"

namespace tarmix::sim {

namespace {

uint16_t eepromChecksum(std::string_view bytes) {
    uint16_t sum = 0;
    for (char c : bytes) sum = uint16_t(sum + static_cast<unsigned char>(c));
    return uint16_t(~sum);
}

}  // namespace

bool Controller::eepromCommandKnown() {
    if (model_.eepromStart && firmware_ >= model_.eepromFirmware) return true;
    refuse(kUnknownCommand + runningLine_.substr(0, runningLine_.find(' ')));
    return false;
}

bool Controller::eepromRange(const Args& args, uint32_t& address, uint32_t& count) const {
    if (!parseHexFields(args, {&address, &count}, kHex08)) return false;
    return count <= kMaxEepromBlock && address >= *model_.eepromStart &&
           address <= eeprom_.size() && count <= eeprom_.size() - address;
}

void Controller::getEepromData(const Args& args) {
    if (!eepromCommandKnown()) return;
    uint32_t address = 0, count = 0;
    if (!eepromRange(args, address, count)) return refuse(kSyntaxError);
    const std::string data(eeprom_.begin() + address, eeprom_.begin() + address + count);
    const uint16_t checksum = eepromChecksum(data);
    answerLine(format("Addr %08x", address));
    emit(data + char(checksum & 0xff) + char(checksum >> 8));
    prompt();
}

void Controller::setEepromData(const Args& args) {
    if (!eepromCommandKnown()) return;
    uint32_t address = 0, count = 0;
    if (!eepromRange(args, address, count)) return refuse(kSyntaxError);
    Block block;
    block.source = source_;
    block.eeprom = true;
    block.address = address;
    block.count = count + 2;
    block.lastByte = clock_.now();
    block_ = std::move(block);
    emit("\r\n");
}

void Controller::finishEepromBlock(const Block& block) {
    const std::string_view data = std::string_view(block.data).substr(0, block.count - 2);
    const auto low = static_cast<unsigned char>(block.data[block.count - 2]);
    const auto high = static_cast<unsigned char>(block.data[block.count - 1]);
    if (eepromChecksum(data) != uint16_t(low | high << 8)) {
        emit(kChecksumError);
        return prompt();
    }
    std::copy(data.begin(), data.end(), eeprom_.begin() + block.address);
    emit("O.K.");
    prompt();
    eepromBusyUntil_ = std::max(outputCursor_, clock_.now()) + kEepromWriteTime;
}

}  // namespace tarmix::sim
