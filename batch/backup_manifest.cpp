#include "batch/backup_manifest.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

#include "batch/sha256.h"
#include "lang/format_text.h"
#include "lang/text_names.h"

namespace tarmix {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string IsoTime(const LocalTime& time) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    return text;
}

// Every file below the folder but the manifest, by relative path.
std::vector<std::string> FilesBelow(const fs::path& folder) {
    std::vector<std::string> files;
    std::error_code failure;
    for (auto it = fs::recursive_directory_iterator(folder, failure);
         !failure && it != fs::recursive_directory_iterator(); it.increment(failure)) {
        if (!it->is_regular_file()) continue;
        const std::string relative = fs::relative(it->path(), folder).generic_string();
        if (relative != kManifestFileName) files.push_back(relative);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A listed path that stays inside the folder: relative, without "..".
bool InsideFolder(const std::string& relative) {
    const fs::path path(relative);
    if (relative.empty() || path.is_absolute() || path.has_root_name()) return false;
    return std::none_of(path.begin(), path.end(),
                        [](const fs::path& part) { return part == ".." || part == "."; });
}

}  // namespace

bool IsBackupEntry(const std::string& name) {
    return std::find(kBackupEntries.begin(), kBackupEntries.end(), name) != kBackupEntries.end();
}

bool MakeManifest(const fs::path& folder, const BackupFacts& facts,
                  const std::vector<PendingBackupFile>& pending, std::string& text,
                  std::string& error) {
    json files = json::array();
    for (const std::string& relative : FilesBelow(folder)) {
        const bool replaced = std::any_of(pending.begin(), pending.end(), [&](const auto& file) {
            return file.relativePath == relative;
        });
        if (replaced) continue;
        const fs::path path = folder / relative;
        const auto digest = Sha256OfFile(path);
        std::error_code failure;
        const uintmax_t size = fs::file_size(path, failure);
        if (!digest || failure) {
            error = FormatText(text::kCannotBeRead, path.string());
            return false;
        }
        files.push_back({{"path", relative}, {"size", size}, {"sha256", *digest}});
    }
    for (const PendingBackupFile& file : pending) {
        const auto bytes =
            std::span(reinterpret_cast<const uint8_t*>(file.contents.data()), file.contents.size());
        files.push_back({{"path", file.relativePath},
                         {"size", file.contents.size()},
                         {"sha256", Sha256Hex(bytes)}});
    }
    json skipped = json::array();
    for (const SkippedName& entry : facts.skipped)
        skipped.push_back({{"path", entry.path}, {"reason", entry.reason}});
    json manifest = {
        {"model", {{"code", facts.hardwareModel}, {"name", facts.modelName}}},
        {"firmware", facts.firmwareVersion},
        {"flash", {{"start", facts.flash.low}, {"end", facts.flash.high}}},
        {"drives_kb", facts.driveSizesKb},
        {"time", IsoTime(facts.time)},
        {"application", facts.application},
        {"files", files},
        {"skipped", skipped},
    };
    if (facts.eeprom)
        manifest["eeprom"] = {{"start", facts.eeprom->start},
                              {"end", facts.eeprom->end},
                              {"length", facts.eeprom->size()}};
    text = manifest.dump(2) + "\n";
    return true;
}

namespace {

struct Listed {
    uintmax_t size;
    std::string sha256;
};

// The manifest's files by path; false with the reason in `error`.
bool ReadManifestFiles(const fs::path& folder, std::map<std::string, Listed>& listed,
                       std::string& error) {
    const fs::path manifestPath = folder / kManifestFileName;
    std::error_code notFile;
    // A folder opens like a file but fails at the first read.
    std::ifstream in;
    if (fs::is_regular_file(manifestPath, notFile)) in.open(manifestPath, std::ios::binary);
    if (!in.is_open()) {
        error = FormatText(text::kCannotBeRead, manifestPath.string());
        return false;
    }
    try {
        const json manifest = json::parse(in);
        for (const json& file : manifest.at("files"))
            listed[file.at("path").get<std::string>()] = {file.value("size", uintmax_t(0)),
                                                          file.value("sha256", std::string())};
    } catch (const json::exception& failure) {
        error = FormatText(text::kNotAManifest, manifestPath.string(), failure.what());
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::set<std::string>> ListedFiles(const fs::path& folder, std::string& error) {
    std::map<std::string, Listed> listed;
    if (!ReadManifestFiles(folder, listed, error)) return std::nullopt;
    std::set<std::string> paths;
    for (const auto& entry : listed) paths.insert(entry.first);
    return paths;
}

BackupCheck VerifyBackup(const fs::path& folder) {
    BackupCheck check;
    std::map<std::string, Listed> listed;
    if (!ReadManifestFiles(folder, listed, check.error)) return check;
    check.listed = listed.size();
    for (const auto& [relative, entry] : listed) {
        const fs::path path = folder / relative;
        std::error_code failure;
        if (!InsideFolder(relative) || !fs::is_regular_file(path, failure)) {
            check.missing.push_back(relative);
            continue;
        }
        const uintmax_t size = fs::file_size(path, failure);
        const auto digest = Sha256OfFile(path);
        const bool same = !failure && entry.size == size && digest && entry.sha256 == *digest;
        if (!same) check.changed.push_back(relative);
    }
    // The user's own files beside the backup are not part of it.
    for (const std::string& relative : FilesBelow(folder))
        if (!listed.count(relative) && IsBackupEntry(fs::path(relative).begin()->string()))
            check.extra.push_back(relative);
    return check;
}

std::string DescribeBackupCheck(const BackupCheck& check) {
    if (!check.error.empty()) return check.error + "\n";
    std::string text;
    for (const auto& [files, textId] : {std::pair{&check.missing, text::kManifestMissing},
                                        std::pair{&check.changed, text::kManifestChanged},
                                        std::pair{&check.extra, text::kManifestNotListed}})
        for (const std::string& file : *files) text += FormatText(textId, file) + "\n";
    if (text.empty()) text = FormatText(text::kManifestAllMatch, check.listed) + "\n";
    return text;
}

}  // namespace tarmix
