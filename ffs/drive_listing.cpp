#include "ffs/drive_listing.h"

#include "ffs/device_path.h"
#include "link/agreeing_readings.h"
#include "platform/latin1.h"

namespace tarmix {
namespace {

Collected collectListing(MonitorExchange& monitor, const std::string& command, std::string& answer,
                         ListingReadings readings) {
    if (readings == ListingReadings::One)
        return CollectToPrompt(monitor, command, answer, kListingLimits);
    // Only a changed command is worth asking again; a line that went silent or a device
    // that talked past the limit ends the search at once.
    Collected last = Collected::Complete;
    const auto agreed =
        FirstAgreeingReading(kListingReadingsLimit, [&]() -> std::optional<std::string> {
            if (last != Collected::Complete && last != Collected::NotEchoed) return std::nullopt;
            std::string reading;
            last = CollectToPrompt(monitor, command, reading, kListingLimits);
            if (last != Collected::Complete) return std::nullopt;
            return reading;
        });
    if (agreed) answer = *agreed;
    return agreed ? Collected::Complete : last == Collected::Complete ? Collected::Unsettled : last;
}

}  // namespace

TreeListing ReadTree(MonitorExchange& monitor, int drive, ListingReadings readings) {
    TreeListing listing;
    const std::string command = std::string("tree ") + DriveLetterLower(drive) + ":";
    std::string answer;
    listing.collected = collectListing(monitor, command, answer, readings);
    listing.damaged = ReportsFileSystemError(answer);
    const std::string root = DriveRootPath(drive);
    if (listing.collected == Collected::Complete && !listing.damaged)
        listing.parse = ParseTree(AnswerBody(answer, command.size()), root);
    else
        listing.parse.folders = {{"", root, 0, -1}};
    return listing;
}

FolderListing ReadFolder(MonitorExchange& monitor, const std::string& folderPath,
                         ListingReadings readings) {
    FolderListing listing;
    const std::string command = QuotedCommand("dir", folderPath);
    std::string answer;
    listing.collected = collectListing(monitor, command, answer, readings);
    listing.damaged = ReportsFileSystemError(answer);
    if (listing.collected != Collected::Complete) return listing;
    listing.parse = ParseDir(AnswerBody(answer, command.size()), folderPath);
    if (!listing.parse.headerMatches) listing.refusal = AnswerText(answer, command.size());
    return listing;
}

std::string AnswerText(const std::string& answer, size_t commandLength) {
    std::string text;
    for (char c : AnswerBody(answer, commandLength))
        if (c != '\r') text += static_cast<unsigned char>(c) < 0x20 && c != '\n' ? ' ' : c;
    return Latin1ToUtf8(text);
}

}  // namespace tarmix
