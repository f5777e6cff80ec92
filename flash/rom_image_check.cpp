#include "flash/rom_image_check.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "flash/boot_image.h"
#include "flash/srec_line.h"
#include "flash/srec_writer.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/input_file.h"

namespace tarmix {

namespace {

// The longest record: type, count and 255 bytes in hexadecimal.
constexpr size_t kLongestRecord = 4 + 2 * 255;
constexpr std::string_view kRamOnlyMarker = "S0RAM-VERSION";

struct Record {
    uint64_t address;
    size_t count;
    size_t data;  // where its bytes start in the kept bytes
    int line;
};

uint64_t Hex(std::string_view digits) {
    uint64_t value = 0;
    for (char c : digits) value = value * 16 + uint64_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    return value;
}

class ImageChecker {
  public:
    explicit ImageChecker(std::string name) : name_(std::move(name)) {}

    // false with the problem as soon as a line is refused.
    bool line(std::string_view text, int number, std::string& problem) {
        if (text.ends_with('\r')) text.remove_suffix(1);
        if (text.empty() || text.starts_with(kRamOnlyMarker)) return true;
        std::string fault = text.size() > kLongestRecord ? LoadText(text::kSrecLineTooLong)
                                                         : CheckBootImageLine(text);
        if (fault.empty()) fault = record(text, number);
        if (fault.empty()) return true;
        problem = ImageLinePlace(name_, size_t(number), fault);
        return false;
    }

    // The image as a whole, once every line has passed.
    bool whole(std::string& problem) {
        std::string fault;
        if (records_.empty())
            fault = LoadText(text::kHoldsNoDataRecords);
        else if (!ended_)
            fault = LoadText(text::kNoEndRecord);
        else
            return overlaps(problem);
        problem = "\"" + name_ + "\": " + fault;
        return false;
    }

  private:
    std::string record(std::string_view text, int number) {
        const char type = text[1];
        const size_t addressDigits = 2 * SrecAddressBytes(type);
        const uint64_t address = Hex(text.substr(4, addressDigits));
        const std::string_view digits =
            text.substr(4 + addressDigits, text.size() - 6 - addressDigits);
        switch (type) {
            case '1':
                return LoadText(text::kSixteenBit);
            case '2':
            case '3': {
                if (ended_) return LoadText(text::kDataAfterEnd);
                const size_t count = digits.size() / 2;
                if (address + count > (uint64_t{1} << 32)) return LoadText(text::kPastAddressSpace);
                records_.push_back({address, count, bytes_.size(), number});
                bytes_.resize(bytes_.size() + count);
                DecodeBytes(digits, bytes_.data() + records_.back().data);
                return {};
            }
            case '5':
            case '6': {
                const uint64_t mask = type == '5' ? 0xFFFF : 0xFFFFFF;
                if (address != (records_.size() & mask))
                    return FormatText(text::kCountDiffers, int(address),
                                      int(records_.size() & mask));
                return {};
            }
            case '7':
            case '8':
            case '9':
                ended_ = true;
                return {};
            default:
                return {};
        }
    }

    // Two records for the same address must agree on every byte they share.
    bool overlaps(std::string& problem) {
        std::vector<const Record*> sorted;
        for (const Record& record : records_) sorted.push_back(&record);
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Record* a, const Record* b) { return a->address < b->address; });
        std::vector<const Record*> open;  // records that reach the current address
        for (const Record* record : sorted) {
            std::erase_if(open, [&](const Record* earlier) {
                return earlier->address + earlier->count <= record->address;
            });
            for (const Record* earlier : open) {
                const uint64_t from = record->address;
                const uint64_t to =
                    std::min(earlier->address + earlier->count, record->address + record->count);
                const uint8_t* mine = bytes_.data() + record->data;
                const uint8_t* theirs = bytes_.data() + earlier->data + (from - earlier->address);
                if (!std::equal(mine, mine + (to - from), theirs)) {
                    const Record* later = std::max(
                        record, earlier, [](auto* a, auto* b) { return a->line < b->line; });
                    const Record* first = later == record ? earlier : record;
                    problem = ImageLinePlace(name_, size_t(later->line),
                                             FormatText(text::kOverlaps, first->line));
                    return false;
                }
            }
            open.push_back(record);
        }
        return true;
    }

    std::string name_;
    std::vector<Record> records_;
    std::vector<uint8_t> bytes_;
    bool ended_ = false;
};

}  // namespace

namespace {

bool CheckFile(const std::string& path, std::string& problem) {
    InputFile file;
    if (!file.open(path)) {
        problem = "\"" + path + "\": " + file.problem();
        return false;
    }
    ImageChecker checker(std::filesystem::path(path).filename().string());
    std::string text;
    int number = 0;
    for (int c = 0; c != EOF;) {
        text.clear();
        // A line longer than any record is kept only as far as shows that.
        while ((c = getc_unlocked(file.get())) != EOF && c != '\n')
            if (text.size() <= kLongestRecord + 1) text += char(c);
        if (c == EOF && text.empty()) break;
        if (!checker.line(text, ++number, problem)) return false;
    }
    if (std::ferror(file.get())) {
        problem = "\"" + path + "\": " + LoadText(text::kFileReadError);
        return false;
    }
    return checker.whole(problem);
}

}  // namespace

bool CheckRomImage(const std::string& path, std::string& problem) {
    if (CheckFile(path, problem)) return true;
    problem = LoadText(text::kImageRefused) + "\n" + problem;
    return false;
}

}  // namespace tarmix
