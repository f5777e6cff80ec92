#include "lang/po_parser.h"

#include <charconv>

namespace tarmix {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// True when text is well-formed UTF-8 (no overlong forms, no surrogates).
bool isUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

enum class Field { None, Context, Id, Translation };

// The entry being read: which of its parts have been seen so far.
struct PendingEntry {
    int line = 0;
    bool fuzzy = false;
    bool hasContext = false, hasId = false, hasTranslation = false;
    std::string context, id, translation;

    bool empty() const { return !hasContext && !hasId && !hasTranslation; }
};

class Parser {
  public:
    PoCatalogue run(std::string_view text) {
        if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
        while (!text.empty()) {
            const size_t end = text.find('\n');
            ++lineNumber_;
            readLine(trim(text.substr(0, end)));
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        }
        finishEntry();
        return std::move(result_);
    }

  private:
    void readLine(std::string_view line) {
        if (line.empty()) {
            if (entry_.hasTranslation) finishEntry();
        } else if (line.front() == '#') {
            if (entry_.hasTranslation) finishEntry();
            if (line.substr(0, 2) == "#," && line.find("fuzzy") != std::string_view::npos)
                nextFuzzy_ = true;
        } else if (line.front() == '"') {
            continueField(line);
        } else {
            const size_t space = line.find_first_of(" \t\"");
            readKeyword(line.substr(0, space),
                        space == std::string_view::npos ? "" : line.substr(space));
        }
    }

    void readKeyword(std::string_view keyword, std::string_view rest) {
        if (keyword == "msgctxt") {
            if (!entry_.empty()) endEntryBefore("msgctxt");
            begin(Field::Context, entry_.hasContext, entry_.context, rest);
        } else if (keyword == "msgid") {
            if (entry_.hasId) endEntryBefore("msgid");
            begin(Field::Id, entry_.hasId, entry_.id, rest);
        } else if (keyword == "msgstr") {
            if (!entry_.hasId || entry_.hasTranslation) {
                error("msgstr without its msgid");
                field_ = Field::None;
                return;
            }
            begin(Field::Translation, entry_.hasTranslation, entry_.translation, rest);
        } else {
            error("unsupported keyword '" + std::string(keyword) + "'");
            field_ = Field::None;
        }
    }

    // A keyword that starts a new entry arrived while one is open: a complete entry is
    // stored, an incomplete one is reported and dropped.
    void endEntryBefore(std::string_view keyword) {
        if (entry_.hasTranslation) {
            finishEntry();
        } else {
            error(std::string(keyword) + " inside an unfinished entry");
            entry_ = {};
        }
    }

    void begin(Field field, bool& seen, std::string& target, std::string_view rest) {
        if (entry_.empty()) {
            entry_.line = lineNumber_;
            entry_.fuzzy = nextFuzzy_;
            nextFuzzy_ = false;
        }
        seen = true;
        field_ = field;
        target.clear();
        appendQuoted(trim(rest), target);
    }

    void continueField(std::string_view line) {
        switch (field_) {
            case Field::Context:
                appendQuoted(line, entry_.context);
                break;
            case Field::Id:
                appendQuoted(line, entry_.id);
                break;
            case Field::Translation:
                appendQuoted(line, entry_.translation);
                break;
            case Field::None:
                error("string outside an entry");
                break;
        }
    }

    // Decodes one quoted string ("...") and appends it to target.
    void appendQuoted(std::string_view quoted, std::string& target) {
        if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
            error("expected a string in double quotes");
            return;
        }
        const std::string_view body = quoted.substr(1, quoted.size() - 2);
        for (size_t i = 0; i < body.size(); ++i) {
            char c = body[i];
            if (c == '"') {
                error("unescaped double quote");
            } else if (c == '\\') {
                if (++i == body.size()) {
                    error("string ends with a backslash");
                    break;
                }
                c = unescape(body[i]);
            }
            target += c;
        }
    }

    char unescape(char escaped) {
        switch (escaped) {
            case 'n':
                return '\n';
            case 't':
                return '\t';
            case 'r':
                return '\r';
            case '"':
                return '"';
            case '\\':
                return '\\';
            default:
                error(std::string("unknown escape \\") + escaped);
                return escaped;
        }
    }

    void finishEntry() {
        PendingEntry entry = std::move(entry_);
        entry_ = {};
        field_ = Field::None;
        if (entry.empty()) return;
        if (!entry.hasId || !entry.hasTranslation) {
            error(entry.line, "entry without msgid or msgstr");
            return;
        }
        if (!entry.hasContext) {
            if (!entry.id.empty()) error(entry.line, "entry without msgctxt (its text id)");
            return;  // otherwise the header entry
        }
        int id = 0;
        const char* first = entry.context.data();
        const char* last = first + entry.context.size();
        const auto [end, failure] = std::from_chars(first, last, id);
        if (entry.context.empty() || failure != std::errc() || end != last || id < 0) {
            error(entry.line, "msgctxt \"" + entry.context + "\" is not a text id");
            return;
        }
        if (!isUtf8(entry.id) || !isUtf8(entry.translation)) {
            error(entry.line, "text is not UTF-8");
            return;
        }
        if (entry.fuzzy) entry.translation.clear();
        const bool added =
            result_.entries.emplace(id, PoEntry{std::move(entry.id), std::move(entry.translation)})
                .second;
        if (!added) error(entry.line, "text id " + std::to_string(id) + " appears twice");
    }

    void error(const std::string& message) { error(lineNumber_, message); }
    void error(int line, const std::string& message) {
        result_.errors.push_back("line " + std::to_string(line) + ": " + message);
    }

    PoCatalogue result_;
    PendingEntry entry_;
    Field field_ = Field::None;
    bool nextFuzzy_ = false;
    int lineNumber_ = 0;
};

}  // namespace

PoCatalogue parsePo(std::string_view text) { return Parser().run(text); }

}  // namespace tarmix
