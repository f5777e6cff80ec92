#include "lang/catalog.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <iostream>

#include "lang/embedded_catalogues.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

constexpr Language kLanguages[] = {
    {0, "de", "German", text::kLanguageGerman, true},
    {1, "en", "English", text::kLanguageEnglish, true},
    {2, "fr", "French", text::kLanguageFrench, true},
    {3, "it", "Italian", text::kLanguageItalian, false},
    {4, "es", "Spanish", text::kLanguageSpanish, true},
    {5, "nl", "Dutch", text::kLanguageDutch, true},
    {6, "pl", "Polish", text::kLanguagePolish, true},
    {7, "ru", "Russian", text::kLanguageRussian, true},
    {8, "da", "Danish", text::kLanguageDanish, true},
    {9, "cs", "Czech", text::kLanguageCzech, true},
    {10, "el", "Greek", text::kLanguageGreek, true},
    {11, "lt", "Lithuanian", text::kLanguageLithuanian, true},
};

// Longer texts are cut: the message buffers of the program hold 1000 characters.
constexpr size_t kMaxTextCharacters = 999;

std::atomic<int> currentLanguage{kGermanLanguage};

// Each thread of device work has its own window and so its own reporter (the stations of a
// production line run side by side); the window's thread sets it and reports on it.
thread_local TextProblemReporter reporter;

// The first kMaxTextCharacters characters; a multi-byte character is never split.
std::string limitLength(const std::string& text) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (startsCharacter && ++characters > kMaxTextCharacters) return text.substr(0, i);
    }
    return text;
}

const std::string* translation(const PoCatalogue* catalogue, int id) {
    if (catalogue == nullptr) return nullptr;
    const auto entry = catalogue->entries.find(id);
    if (entry == catalogue->entries.end() || entry->second.translation.empty()) return nullptr;
    return &entry->second.translation;
}

}  // namespace

std::span<const Language> languages() { return kLanguages; }

int languageIndex() { return currentLanguage.load(); }

void setLanguageIndex(int index) { currentLanguage.store(index); }

std::optional<int> languageOfCode(std::string_view code) {
    for (const Language& language : kLanguages)
        if (language.hasCatalogue && code == language.code) return language.index;
    return std::nullopt;
}

int languageOfLocale(const std::function<const char*(const char*)>& environment) {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = environment(variable);
        if (value == nullptr || *value == '\0') continue;
        const std::string_view locale(value);
        // language[_territory][.codeset][@modifier]
        const std::string_view code = locale.substr(0, locale.find_first_of("_.@"));
        return languageOfCode(code).value_or(kGermanLanguage);
    }
    return kGermanLanguage;
}

void TextCatalogues::add(std::string code, PoCatalogue catalogue) {
    catalogues_.insert_or_assign(std::move(code), std::move(catalogue));
}

const PoCatalogue* TextCatalogues::find(std::string_view code) const {
    const auto found = catalogues_.find(code);
    return found == catalogues_.end() ? nullptr : &found->second;
}

std::optional<std::string> TextCatalogues::lookup(int languageIndex, int id) const {
    const bool listed = languageIndex >= kEnglishLanguage && languageIndex <= kLastLanguage;
    const std::string* text =
        translation(find(kLanguages[listed ? languageIndex : kGermanLanguage].code), id);
    if (text == nullptr) text = translation(find(kLanguages[kGermanLanguage].code), id);
    if (text == nullptr) return std::nullopt;
    return limitLength(*text);
}

const TextCatalogues& builtInCatalogues() {
    static const TextCatalogues all = [] {
        TextCatalogues read;
        for (size_t i = 0; i < kEmbeddedCatalogueCount; ++i) {
            const EmbeddedCatalogue& file = kEmbeddedCatalogues[i];
            read.add(file.code, parsePo({reinterpret_cast<const char*>(file.text), file.size}));
        }
        return read;
    }();
    return all;
}

std::string LoadText(int id) {
    if (auto text = builtInCatalogues().lookup(languageIndex(), id)) return *std::move(text);
    return reportMissingText(id);
}

std::string reportMissingText(int id) {
    reportTextProblem("Error Loading String: " + std::to_string(id));
    return "String_" + std::to_string(id);
}

void setTextProblemReporter(TextProblemReporter newReporter) { reporter = std::move(newReporter); }

void reportTextProblem(const std::string& message) {
    // A copy: a reporter may well load texts itself, or set another reporter.
    const TextProblemReporter current = reporter;
    if (current) {
        current(message);
    } else {
        std::cerr << message << '\n';
    }
}

}  // namespace tarmix
