// Checks of the catalogues built into the program: every text the program uses exists,
// in every language, and no translation can break a format.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "lang/catalog.h"
#include "lang/format_text.h"

namespace tarmix {
namespace {

// The folders whose sources may name catalogue texts.
const char* const kSourceFolders[] = {"platform", "link",  "flash", "config",
                                      "ffs",      "batch", "app",   "gui"};

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

// The text ids a source names: LoadText(60120), FormatText(60450, ...) and constants
// such as `constexpr int kTextConnectionAborted = 60120;`.
std::set<int> textIdsUsedIn(const std::string& source) {
    static const std::regex use(
        R"((?:\bLoadText|\bFormatText)\s*\(\s*(\d+)|\bkText\w*\s*=\s*(\d+)\s*;)");
    std::set<int> ids;
    for (auto match = std::sregex_iterator(source.begin(), source.end(), use);
         match != std::sregex_iterator(); ++match) {
        ids.insert(std::stoi((*match)[1].matched ? (*match)[1].str() : (*match)[2].str()));
    }
    return ids;
}

TEST(CatalogueContents, ScannerFindsEveryFormOfTextUse) {
    const std::string source =
        "status(LoadText(60120));\n"
        "box(FormatText( 60450, port + 1));\n"
        "constexpr int kTextDriveMissing = 60147;\n"
        "int kTextual = foo;  MyLoadText(1); LoadText(id);\n";
    EXPECT_EQ(textIdsUsedIn(source), (std::set<int>{60120, 60450, 60147}));
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

TEST(CatalogueContents, EveryTextTheProgramUsesExistsInGermanAndEnglish) {
    const std::filesystem::path root = TARMIX_SOURCE_ROOT;
    ASSERT_TRUE(std::filesystem::is_directory(root / "lang")) << root;
    const PoCatalogue& german = builtIn("de");
    const PoCatalogue& english = builtIn("en");
    auto has = [](const PoCatalogue& catalogue, int id) {
        const auto entry = catalogue.entries.find(id);
        return entry != catalogue.entries.end() && !entry->second.translation.empty();
    };
    for (const char* folder : kSourceFolders) {
        if (!std::filesystem::is_directory(root / folder)) continue;
        for (const auto& file : std::filesystem::recursive_directory_iterator(root / folder)) {
            const auto extension = file.path().extension();
            if (extension != ".cpp" && extension != ".h") continue;
            std::ifstream in(file.path());
            std::stringstream source;
            source << in.rdbuf();
            for (int id : textIdsUsedIn(source.str())) {
                EXPECT_TRUE(has(german, id)) << file.path() << " uses " << id << ", not in de.po";
                EXPECT_TRUE(has(english, id)) << file.path() << " uses " << id << ", not in en.po";
            }
        }
    }
}

}  // namespace
}  // namespace tarmix
