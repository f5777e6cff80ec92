#include "app/line/line_options.h"

#include "lang/format_text.h"

namespace tarmix {

namespace {

constexpr int kTextBaudChoices = 65052;  // "--baud takes 57600, 115200 or 230400, not \"%s\""

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
        if (value->empty()) error = std::string(name) + " needs a file or a postgresql:// address";
        *into = *value;
        return true;
    }
    return false;
}

const char* LineUsageText() {
    return "Production line (PORT is a device path; one station per --port):\n"
           "  --gang                   program one controller on every --port at once:\n"
           "                           tarmix --headless --gang --port A --port B /p FILE\n"
           "  --repeat                 keep each station going: when its controller is done\n"
           "                           and taken away, program the next one (Ctrl-C ends)\n"
           "  --baud RATE              the rate of the transfers instead of the settings'\n"
           "  --record FILE            append one JSON line per controller to FILE (locked,\n"
           "                           flushed as each result is known)\n"
           "  --record postgresql://USER@HOST/DB   the same into a database table; lines\n"
           "                           wait in a spool file while the server is away\n"
           "  --record-summary FILE    per day and image: how many programmed, failed, why\n";
}

}  // namespace tarmix
