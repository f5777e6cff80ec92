#include "app/cli/settings_command.h"

#include "app/options/command_line.h"
#include "app/settings.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/port_map.h"

namespace tarmix {

namespace {

// What a number stands for, where it is not the value itself.
std::string meaningOf(std::string_view name, int value) {
    if (name == "LANGUAGE") {
        for (const Language& language : languages())
            if (language.index == value) return language.name;
    }
    if (name == "COMPORT" && value >= 0) return portName(value);
    return {};
}

}  // namespace

int ShowSettings(const std::filesystem::path& folder, std::ostream& out) {
    Settings settings;
    const bool found = ReadSettings(folder, settings) == 0;
    out << FormatText(text::kSettingsFile, (folder / kSettingsFileName).string()) << "\n";
    if (!found) out << LoadText(text::kNoSettingsFile) << "\n";
    for (const SettingLine& line : SettingLines(settings)) {
        out << line.name << "=" << line.value;
        if (const std::string meaning = meaningOf(line.name, line.value); !meaning.empty())
            out << "  (" << meaning << ")";
        out << "\n";
    }
    return kResultOk;
}

int ChangeSettingsFile(const std::filesystem::path& folder, const std::string& assignment,
                       std::ostream& out, std::ostream& err) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        err << "tarmix: " << LoadText(text::kSettingsNeedAssignment) << "\n";
        return kResultUsage;
    }
    const std::string typed = assignment.substr(0, equals);
    const std::string value = assignment.substr(equals + 1);
    const std::string name = FindSettingName(typed);
    if (name.empty()) {
        err << "tarmix: " << FormatText(text::kUnknownSetting, typed, SettingNames()) << "\n";
        return kResultUsage;
    }
    Settings settings;
    ReadSettings(folder, settings);
    if (!ChangeSetting(settings, name, value)) {
        err << "tarmix: " << FormatText(text::kBadSetting, name, value, AllowedSettingValues(name))
            << "\n";
        return kResultUsage;
    }
    std::error_code ignored;  // a folder that cannot be made shows up as a failed write
    std::filesystem::create_directories(folder, ignored);
    std::string reason;
    if (WriteSettings(folder, settings, &reason) != 0) {
        err << "tarmix: " << kSettingsWriteFailedText << " " << reason << "\n";
        return kResultSettingsFailed;
    }
    return ShowSettings(folder, out);
}

}  // namespace tarmix
