// Checks of the catalogues built into the program: every text the program uses exists,
// in every language, and no translation can break a format.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "lang/catalog.h"
#include "lang/format_text.h"

namespace tarmix {
namespace {

// The folders whose sources name catalogue texts.
const char* const kSourceFolders[] = {"lang",   "platform", "models", "link", "flash",
                                      "config", "ffs",      "batch",  "app",  "gui"};

std::vector<const Language*> languagesWithCatalogue() {
    std::vector<const Language*> found;
    for (const Language& language : languages())
        if (language.hasCatalogue) found.push_back(&language);
    return found;
}

const PoCatalogue& builtIn(const char* code) {
    const PoCatalogue* catalogue = builtInCatalogues().find(code);
    if (catalogue == nullptr) throw std::runtime_error(std::string("no catalogue ") + code);
    return *catalogue;
}

// The places where a source names a text by its bare id rather than by its name from
// lang/text_names.h: LoadText(60120), FormatText(60450, ...), or a constant of its own such
// as `constexpr int kTextConnectionAborted = 60120;`.
std::vector<std::string> bareTextIdsIn(const std::string& source) {
    static const std::regex bare(
        R"((?:\bLoadText|\bFormatText)\s*\(\s*\d+|\bconstexpr\s+int\s+k(?:Text|Msg)\w*\s*=\s*\d+)");
    std::vector<std::string> found;
    for (auto match = std::sregex_iterator(source.begin(), source.end(), bare);
         match != std::sregex_iterator(); ++match) {
        found.push_back(match->str());
    }
    return found;
}

TEST(CatalogueContents, ScannerFindsEveryBareTextId) {
    const std::string source =
        "status(LoadText(60120));\n"
        "box(FormatText( 60450, port + 1));\n"
        "constexpr int kTextDriveMissing =\n    60147;\n"
        "inline constexpr int kMsgFileReadError = 60214;\n"
        "LoadText(text::kConnectionAborted); int kTextual = 5; MyLoadText(1); LoadText(id);\n";
    EXPECT_EQ(bareTextIdsIn(source).size(), 4u) << ::testing::PrintToString(bareTextIdsIn(source));
}

TEST(CatalogueContents, EveryCatalogueReadsWithoutFaults) {
    for (const Language* language : languagesWithCatalogue()) {
        const PoCatalogue& catalogue = builtIn(language->code);
        EXPECT_TRUE(catalogue.errors.empty())
            << language->code << ".po: " << ::testing::PrintToString(catalogue.errors);
    }
}

TEST(CatalogueContents, EveryLanguageTranslatesEveryTextOfTheSameEnglish) {
    const PoCatalogue& english = builtIn("en");
    for (const auto& [id, entry] : english.entries)
        EXPECT_EQ(entry.translation, entry.english) << "en.po: " << id;
    for (const Language* language : languagesWithCatalogue()) {
        const PoCatalogue& catalogue = builtIn(language->code);
        for (const auto& [id, reference] : english.entries) {
            const auto entry = catalogue.entries.find(id);
            if (entry == catalogue.entries.end() || entry->second.translation.empty()) {
                ADD_FAILURE() << language->code << ".po lacks " << id;
            } else {
                EXPECT_EQ(entry->second.english, reference.english)
                    << language->code << ".po translates an outdated English text of " << id;
            }
        }
    }
}

TEST(CatalogueContents, TranslationsKeepTheConversionsOfTheEnglishText) {
    const PoCatalogue& english = builtIn("en");
    for (const Language* language : languagesWithCatalogue()) {
        for (const auto& [id, entry] : builtIn(language->code).entries) {
            const auto source = english.entries.find(id);
            const std::string& reference =
                source != english.entries.end() ? source->second.translation : entry.english;
            EXPECT_EQ(formatConversions(entry.translation), formatConversions(reference))
                << language->code << ".po, text " << id << ": \"" << entry.translation << '"';
        }
    }
}

// Named texts exist in en.po (their names come from it) and so in every language.
TEST(CatalogueContents, TheProgramNamesEveryTextByItsName) {
    const std::filesystem::path root = TARMIX_SOURCE_ROOT;
    ASSERT_TRUE(std::filesystem::is_directory(root / "lang")) << root;
    for (const char* folder : kSourceFolders) {
        if (!std::filesystem::is_directory(root / folder)) continue;
        for (const auto& file : std::filesystem::recursive_directory_iterator(root / folder)) {
            const auto extension = file.path().extension();
            if (extension != ".cpp" && extension != ".h") continue;
            std::ifstream in(file.path());
            std::stringstream source;
            source << in.rdbuf();
            for (const std::string& use : bareTextIdsIn(source.str()))
                ADD_FAILURE() << file.path() << ": \"" << use << "\": name the text (text::k…)";
        }
    }
}

}  // namespace
}  // namespace tarmix
