#include "flash/boot_image.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

#include "flash/srec_writer.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isDataRecord(std::string_view line) {
    return line.size() >= 2 && line[1] >= '1' && line[1] <= '3';
}

// Takes a checked record's address and data into the image: data into its runs, an "S0"
// title's version into `version`.
void takeRecord(std::string_view line, BootImage& image) {
    std::string bytes;
    for (size_t i = 2; i + 1 < line.size(); i += 2)
        bytes += char(hexDigit(line[i]) * 16 + hexDigit(line[i + 1]));
    const size_t addressBytes = SrecAddressBytes(line[1]);
    uint32_t address = 0;
    for (size_t i = 1; i <= addressBytes; ++i)
        address = address << 8 | static_cast<unsigned char>(bytes[i]);
    const std::string data = bytes.substr(1 + addressBytes, bytes.size() - 2 - addressBytes);
    if (line[1] == '0') {
        image.version = BootImageTitleVersion(data);
        return;
    }
    if (!isDataRecord(line) || data.empty()) return;
    image.dataBytes += data.size();
    std::vector<BootImageRun>& runs = image.runs;
    if (runs.empty() || runs.back().address + uint32_t(runs.back().bytes.size()) != address)
        runs.push_back({address, {}});
    runs.back().bytes += data;
}

}  // namespace

std::string CheckBootImageLine(std::string_view line) {
    if (line.size() < 2 || line[0] != 'S' || SrecAddressBytes(line[1]) == 0)
        return LoadText(text::kNotSrec);
    const std::string_view digits = line.substr(2);
    if (digits.size() % 2 != 0) return LoadText(text::kSrecOddDigits);
    unsigned sum = 0;
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int high = hexDigit(digits[i]), low = hexDigit(digits[i + 1]);
        if (high < 0 || low < 0) return LoadText(text::kSrecNotHex);
        sum += unsigned(high * 16 + low);
    }
    const size_t bytes = digits.size() / 2;
    const size_t count = size_t(hexDigit(digits[0]) * 16 + hexDigit(digits[1]));
    if (bytes < 2 || count != bytes - 1) return LoadText(text::kSrecByteCount);
    if (count < SrecAddressBytes(line[1]) + 1) return LoadText(text::kSrecTooShort);
    if ((sum & 0xFF) != 0xFF) return LoadText(text::kSrecChecksum);
    return {};
}

std::string ImageLinePlace(const std::string& name, size_t line, const std::string& fault) {
    return FormatText(text::kFileLineProblem, name, line, fault);
}

int BootImageTitleVersion(std::string_view title) {
    constexpr std::string_view kWord = "version";
    for (size_t at = 0; at + kWord.size() <= title.size(); ++at) {
        bool word = true;
        for (size_t i = 0; i < kWord.size() && word; ++i)
            word = std::tolower(static_cast<unsigned char>(title[at + i])) == kWord[i];
        if (!word) continue;
        size_t digit = at + kWord.size();
        while (digit < title.size() && title[digit] == ' ') ++digit;
        int version = 0;
        const auto [end, error] =
            std::from_chars(title.data() + digit, title.data() + title.size(), version);
        if (error == std::errc() && version > 0) return version;
    }
    return 0;
}

bool LoadBootImage(const std::filesystem::path& path, BootImage& image, std::string& problem) {
    image = BootImage{};
    image.name = path.filename().string();
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(path, error);
    const std::uintmax_t size = regular ? std::filesystem::file_size(path, error) : 0;
    std::ifstream in(path, std::ios::binary);
    if (!regular || error || !in) {
        problem = FormatText(text::kBootImageCannotOpen, image.name);
        return false;
    }
    if (size > kMaxBootImageFileSize) {
        problem = FormatText(text::kBootImageTooLarge, image.name);
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        problem = FormatText(text::kBootImageCannotRead, image.name);
        return false;
    }

    size_t lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t feed = text.find('\n', start);
        const bool ended = feed != std::string::npos;
        std::string_view line(text.data() + start, (ended ? feed : text.size()) - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        ++lineNumber;
        std::string piece = lineNumber == 1 ? std::string() : std::string("\n");
        piece += line;
        if (piece.size() > kMaxBootPieceLength) {
            problem = ImageLinePlace(image.name, lineNumber,
                                     FormatText(text::kBootImageLongLine, kMaxBootPieceLength - 1));
            return false;
        }
        if (!line.empty()) {
            const std::string fault = CheckBootImageLine(line);
            if (!fault.empty()) {
                problem = ImageLinePlace(image.name, lineNumber, fault);
                return false;
            }
            takeRecord(line, image);
        }
        image.pieces.push_back(std::move(piece));
        if (!ended) break;
        ++image.lineFeeds;
        start = feed + 1;
    }
    // The line feed of the last line end goes out as a piece of its own.
    if (!text.empty() && text.back() == '\n') image.pieces.emplace_back("\n");
    if (image.dataBytes == 0) {
        problem = FormatText(text::kBootImageNoDataRecords, image.name);
        return false;
    }
    return true;
}

}  // namespace tarmix
