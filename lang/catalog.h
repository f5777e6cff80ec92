// The user-interface language and the texts of the program in that language.
//
// Every user-visible text is a catalogue entry with a numeric id (101-155, 60000-61103,
// 63721-63737, and from 64100 the texts this build added). Code names an entry by the name
// en.po gives it, `LoadText(text::kConnectionAborted)`, from the header lang/text_names.h
// that the build makes of those names. The catalogues are lang/<code>.po, built into the
// program; German is the default language and the fallback for every missing text.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "lang/po_parser.h"

namespace tarmix {

struct Language {
    int index;          // its value of the language index
    const char* code;   // ISO 639-1 code; the catalogue is lang/<code>.po
    const char* name;   // English name
    int captionId;      // text id of its radio-button caption
    bool hasCatalogue;  // Italian has none and shows the German texts
};

// The twelve selectable languages, in the order of the language index (0 German,
// 1 English, 2 French, 3 Italian, 4 Spanish, 5 Dutch, 6 Polish, 7 Russian, 8 Danish,
// 9 Czech, 10 Greek, 11 Lithuanian).
std::span<const Language> languages();

inline constexpr int kGermanLanguage = 0;
inline constexpr int kEnglishLanguage = 1;
inline constexpr int kLastLanguage = 11;

// The process-wide language index; 0 (German) until set. Any value is accepted; one
// outside 1..11 shows German.
int languageIndex();
void setLanguageIndex(int index);

// The language of one of the eleven catalogues' codes ("de", "en", "el", ...); none for
// another code (Italian has no catalogue of its own).
std::optional<int> languageOfCode(std::string_view code);

// The language the locale asks for: the first of LC_ALL, LC_MESSAGES and LANG that is set
// and not empty decides, by its language part ("el_GR.UTF-8" is Greek). German, the
// program's default, when that is none of the eleven ("C", "POSIX", "ja_JP") or when
// none is set. `environment` reads a variable (std::getenv; nullptr when unset).
int languageOfLocale(const std::function<const char*(const char*)>& environment);

// A set of catalogues by language code, and the rule that picks a text from them.
class TextCatalogues {
  public:
    void add(std::string code, PoCatalogue catalogue);

    // The catalogue of a language code ("de", "en", ...), as read; nullptr if none.
    const PoCatalogue* find(std::string_view code) const;

    // The text of entry `id` for a language index: the language's own text if it has one
    // (an index outside 1..11 means German), else the German text; at most 999
    // characters of it. Empty when German lacks it too. An empty translation counts as
    // missing.
    std::optional<std::string> lookup(int languageIndex, int id) const;

  private:
    std::map<std::string, PoCatalogue, std::less<>> catalogues_;
};

// The catalogues built into the program (lang/<code>.po), read on first use.
const TextCatalogues& builtInCatalogues();

// The text of entry `id` in the current language, by the rule of lookup() on the built-in
// catalogues. When German lacks it too, the text-problem reporter is told
// "Error Loading String: <id>" and the result is "String_<id>".
std::string LoadText(int id);

// Called with the message about a text that no catalogue holds (and about a catalogue
// format that does not fit its arguments, see format_text.h). The window sets one that
// shows a message box; an empty function restores the default, which writes to stderr.
using TextProblemReporter = std::function<void(const std::string& message)>;
void setTextProblemReporter(TextProblemReporter reporter);
void reportTextProblem(const std::string& message);

// For a text no catalogue holds: reports "Error Loading String: <id>" and returns the
// placeholder "String_<id>".
std::string reportMissingText(int id);

}  // namespace tarmix
