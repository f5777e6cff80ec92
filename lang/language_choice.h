// Which of the languages a run speaks, from a code on the command line or the locale.
#pragma once

#include <optional>
#include <string_view>

namespace tarmix {

// The language index of an ISO 639-1 code ("en", "de", "el"), any case; nullopt for
// none of the eleven with a catalogue.
std::optional<int> LanguageOfCode(std::string_view code);
// The language the user's locale asks for: the first of LC_ALL, LC_MESSAGES and LANG that
// is set ("el_GR.UTF-8"), by its language part; German where none names one of the eleven.
int LanguageOfLocale();

}  // namespace tarmix
