// Reader for the translation catalogues in lang/, which are gettext PO files. Each entry is
// keyed by its numeric text id in msgctxt; msgid holds the English text and msgstr the
// translation:
//
//   # comment
//   msgctxt "60120"
//   msgid "Connection aborted"
//   msgstr "Verbindung abgebrochen"
//
// Strings may continue over several quoted lines and use the escapes \n \t \r \" \\.
// The header entry (empty msgid, no msgctxt) is skipped. An entry flagged "#, fuzzy" is
// kept with an empty translation, as gettext does, so the text falls back to German.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarmix {

struct PoEntry {
    std::string english;      // msgid
    std::string translation;  // msgstr; empty when not translated
};

struct PoCatalogue {
    std::map<int, PoEntry> entries;  // by text id
    // One line per problem found ("line 12: ..."). The entries that could be read are
    // kept; a duplicate id keeps its first entry.
    std::vector<std::string> errors;
};

// Parses the text of one PO file (UTF-8). Never fails as a whole: every problem is listed
// in errors and the rest of the file is still read.
PoCatalogue parsePo(std::string_view text);

}  // namespace tarmix
