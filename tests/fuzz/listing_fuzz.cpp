// The drive answers: "tree", "dir" and "finfo" as the monitor sends them.
#include "ffs/device_path.h"
#include "ffs/fs_commands.h"
#include "ffs/listing_parse.h"
#include "fuzz_input.h"

using namespace tarmix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view answer = fuzz::asText(data, size);
    ReportsFileSystemError(answer);
    const std::string_view body = AnswerBody(answer, size % 16);
    fuzz::check(body.size() <= answer.size(), "the body lies inside the answer");

    const TreeParse tree = ParseTree(body, "A:\\");
    fuzz::check(!tree.folders.empty() && tree.folders[0].path == "A:\\", "the root comes first");
    for (size_t i = 1; i < tree.folders.size(); ++i) {
        const FolderEntry& folder = tree.folders[i];
        fuzz::check(IsSafeDeviceName(folder.name), "a folder name is safe in a path");
        fuzz::check(folder.parent >= 0 && size_t(folder.parent) < i, "a parent comes before");
        fuzz::check(folder.path == SubFolderPath(tree.folders[folder.parent].path, folder.name),
                    "a folder's path is its parent's and its name");
    }

    const DirParse dir = ParseDir(body, "A:\\DATA\\");
    for (const FileRow& row : dir.rows)
        fuzz::check(IsSafeDeviceName(row.name), "a file name is safe in a path");

    if (const auto figures = ParseDriveFigures(std::string(answer))) UsageOf(*figures);
    return 0;
}
