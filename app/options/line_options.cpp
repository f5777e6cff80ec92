#include "app/options/line_options.h"

#include "app/options/help_layout.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

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
            error = FormatText(text::kBaudChoices, *value);
        return true;
    }
    for (auto [name, into] : {std::pair{"--record", &options.record},
                              std::pair{"--record-summary", &options.recordSummary}}) {
        if (!optionValue(arguments, i, name, value)) continue;
        if (value->empty()) error = FormatText(text::kNeedsRecord, name);
        *into = *value;
        return true;
    }
    return false;
}

std::string LineUsageText() {
    const HelpEntry options[] = {
        {"--gang", LoadText(text::kHelpGang)},
        {"--repeat", LoadText(text::kHelpRepeat)},
        {"--baud RATE", LoadText(text::kHelpBaud)},
        {"--record FILE", LoadText(text::kHelpRecord)},
        {"--record postgresql://USER@HOST/DB", LoadText(text::kHelpRecordDatabase)},
        {"--record-summary FILE", LoadText(text::kHelpRecordSummary)},
    };
    return HelpParagraph(LoadText(text::kHelpLine)) + HelpColumns(options);
}

}  // namespace tarmix
