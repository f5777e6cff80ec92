#include "ffs/drive_listing.h"

#include "ffs/device_path.h"
#include "platform/latin1.h"

namespace tarmix {

TreeListing ReadTree(MonitorExchange& monitor, int drive) {
    TreeListing listing;
    const std::string command = std::string("tree ") + DriveLetterLower(drive) + ":";
    std::string answer;
    listing.collected = CollectToPrompt(monitor, command, answer, kListingLimits);
    listing.damaged = ReportsFileSystemError(answer);
    const std::string root = DriveRootPath(drive);
    if (listing.collected == Collected::Complete && !listing.damaged)
        listing.parse = ParseTree(AnswerBody(answer, command.size()), root);
    else
        listing.parse.folders = {{"", root, 0, -1}};
    return listing;
}

FolderListing ReadFolder(MonitorExchange& monitor, const std::string& folderPath) {
    FolderListing listing;
    const std::string command = QuotedCommand("dir", folderPath);
    std::string answer;
    listing.collected = CollectToPrompt(monitor, command, answer, kListingLimits);
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
