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

// Every text id the program's user interface and messages are built from.
const std::set<int> kExpectedIds = {
    101,   102,   103,   104,   106,   107,   108,   109,   154,   155,   60000, 60001, 60002,
    60010, 60020, 60030, 60031, 60033, 60040, 60050, 60060, 60070, 60080, 60091, 60100, 60110,
    60120, 60121, 60122, 60123, 60130, 60131, 60140, 60141, 60142, 60143, 60144, 60145, 60146,
    60147, 60148, 60149, 60160, 60170, 60171, 60172, 60173, 60174, 60180, 60200, 60201, 60202,
    60203, 60205, 60206, 60208, 60211, 60212, 60213, 60214, 60215, 60219, 60220, 60221, 60224,
    60226, 60227, 60228, 60240, 60241, 60250, 60251, 60252, 60253, 60254, 60255, 60256, 60257,
    60260, 60261, 60262, 60263, 60270, 60280, 60281, 60290, 60300, 60310, 60320, 60330, 60331,
    60340, 60341, 60350, 60360, 60361, 60362, 60364, 60365, 60370, 60380, 60390, 60410, 60411,
    60420, 60430, 60440, 60441, 60450, 60451, 60460, 60470, 60480, 60490, 60500, 60510, 60600,
    60601, 60602, 60603, 60604, 60605, 60606, 60607, 60608, 60609, 60612, 60613, 60616, 60617,
    60618, 60619, 60620, 60621, 60622, 60623, 60624, 60650, 60651, 60652, 60653, 60654, 60655,
    60656, 61000, 61001, 61002, 61003, 61004, 61100, 61101, 61102, 61103, 63721, 63726, 63727,
    63728, 63729, 63730, 63732, 63733, 63734, 63736, 63737, 64100, 64101, 64102,
};

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
        for (int id : kExpectedIds) {
            const auto entry = catalogue.entries.find(id);
            if (entry == catalogue.entries.end() || entry->second.translation.empty()) {
                ADD_FAILURE() << language->code << ".po lacks " << id;
            } else if (english.entries.count(id) != 0) {
                EXPECT_EQ(entry->second.english, english.entries.at(id).english)
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
