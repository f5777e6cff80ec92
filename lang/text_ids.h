// Which catalogue entries a shown message is made of, for machine-readable output: a
// script that reads the ids does not depend on the language the texts are in.
#pragma once

#include <string_view>
#include <vector>

namespace tarmix {

class TextCatalogues;

// The ids of the catalogue texts a message is made of, in order of their lines. A line
// (blank lines and the spaces around a line do not count) names an entry when it is that
// entry's text in the language, that text filled in (a format's conversions stand for any
// text), or begins with that text (at least six characters of it, "Terminal over COM2").
// When several entries fit a line, the lowest id. A line that is no catalogue text (a
// path, the device's own words) adds none.
std::vector<int> TextIdsOf(const TextCatalogues& catalogues, int languageIndex,
                           std::string_view message);

// TextIdsOf on the built-in catalogues in the current language.
std::vector<int> TextIdsOf(std::string_view message);

}  // namespace tarmix
