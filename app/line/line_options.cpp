#include "app/line/line_options.h"

#include "app/cli/help_layout.h"
#include "lang/catalog.h"
#include "lang/format_text.h"

namespace tarmix {

namespace {

constexpr int kTextBaudChoices = 65052;  // "--baud takes 57600, 115200 or 230400, not \"%s\""
constexpr int kTextNeedsRecord = 65107;  // "%s needs a file or a postgresql:// address"
// --help: the heading of the line's options, and what each does.
constexpr int kTextHelpLine = 65094;
constexpr int kTextHelpGang = 65095;
constexpr int kTextHelpRepeat = 65096;
constexpr int kTextHelpBaud = 65097;
constexpr int kTextHelpRecord = 65098;
constexpr int kTextHelpRecordDatabase = 65099;
constexpr int kTextHelpRecordSummary = 65100;

// "--name VALUE" or "--name=VALUE"; false when the word is not this option.
bool optionValue(const std::vector<std::string>& arguments, size_t& i, const std::string& name,
                 std::optional<std::string>& value) {
    const std::string& word = arguments[i];
    if (word.rfind(name + "=", 0) == 0) {
        value = word.substr(name.size() + 1);
    } else if (word == name) {
        if (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0)
            value = arguments[++i];
        else
            value = std::string();
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool TakeLineOption(const std::vector<std::string>& arguments, size_t& i, LineOptions& options,
                    std::string& error) {
    const std::string& word = arguments[i];
    if (word == "--gang") return options.gang = true;
    if (word == "--repeat") return options.repeat = true;
    std::optional<std::string> value;
    if (optionValue(arguments, i, "--baud", value)) {
        if (*value == "57600" || *value == "115200" || *value == "230400")
            options.baud = std::stoi(*value);
        else
            error = FormatText(kTextBaudChoices, *value);
        return true;
    }
    for (auto [name, into] : {std::pair{"--record", &options.record},
                              std::pair{"--record-summary", &options.recordSummary}}) {
        if (!optionValue(arguments, i, name, value)) continue;
        if (value->empty()) error = FormatText(kTextNeedsRecord, name);
        *into = *value;
        return true;
    }
    return false;
}

std::string LineUsageText() {
    const HelpEntry options[] = {
        {"--gang", LoadText(kTextHelpGang)},
        {"--repeat", LoadText(kTextHelpRepeat)},
        {"--baud RATE", LoadText(kTextHelpBaud)},
        {"--record FILE", LoadText(kTextHelpRecord)},
        {"--record postgresql://USER@HOST/DB", LoadText(kTextHelpRecordDatabase)},
        {"--record-summary FILE", LoadText(kTextHelpRecordSummary)},
    };
    return HelpParagraph(LoadText(kTextHelpLine)) + HelpColumns(options);
}

}  // namespace tarmix
