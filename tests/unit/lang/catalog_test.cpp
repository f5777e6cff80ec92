#include "lang/catalog.h"

#include <gtest/gtest.h>

#include <vector>

#include "lang/text_ids.h"
#include "lang/text_names.h"
#include "text_fixture.h"

namespace tarmix {
namespace {

// German has 1 and 2, English only 1 (and an empty, untranslated 2), French only 3.
TextCatalogues smallSet() {
    TextCatalogues set;
    set.add("de", catalogue({{1, {"One", "Eins"}}, {2, {"Two", "Zwei"}}}));
    set.add("en", catalogue({{1, {"One", "One"}}, {2, {"Two", ""}}}));
    set.add("fr", catalogue({{3, {"Three", "Trois"}}}));
    return set;
}

TEST_F(LanguageTest, LookupFallsBackToGermanEntryByEntry) {
    const TextCatalogues set = smallSet();
    EXPECT_EQ(set.lookup(kEnglishLanguage, 1), "One");
    EXPECT_EQ(set.lookup(kEnglishLanguage, 2), "Zwei");  // untranslated
    EXPECT_EQ(set.lookup(2, 1), "Eins");                 // French lacks it
    EXPECT_EQ(set.lookup(2, 3), "Trois");
    EXPECT_EQ(set.lookup(kGermanLanguage, 3), std::nullopt);
}

TEST_F(LanguageTest, IndexWithoutACatalogueOrOutOfRangeShowsGerman) {
    const TextCatalogues set = smallSet();
    for (int index : {3 /* Italian */, -1, 12, 1000})
        EXPECT_EQ(set.lookup(index, 1), "Eins") << index;
}

TEST_F(LanguageTest, LongTextIsCutAt999CharactersWithoutSplittingOne) {
    std::string longText;
    for (int i = 0; i < 600; ++i)
        longText +=
            "\xC3\xA4"
            "b";  // "äb", 1200 characters
    TextCatalogues set;
    set.add("de", catalogue({{1, {"x", longText}}}));
    const std::string text = *set.lookup(kGermanLanguage, 1);
    EXPECT_EQ(text.size(), 999u / 2 * 3 + 2);  // 499 "äb" pairs and one more "ä"
    EXPECT_EQ(text.substr(text.size() - 2), "\xC3\xA4");
}

TEST_F(LanguageTest, LoadTextUsesTheCurrentLanguage) {
    setLanguageIndex(kEnglishLanguage);
    EXPECT_EQ(LoadText(text::kConnectionAborted), "Connection aborted");
    setLanguageIndex(kGermanLanguage);
    EXPECT_EQ(LoadText(text::kConnectionAborted), "Verbindung getrennt");
    setLanguageIndex(3);  // Italian, read from a settings file
    EXPECT_EQ(LoadText(text::kConnectionAborted), "Verbindung getrennt");
    EXPECT_TRUE(reports.empty());
}

TEST_F(LanguageTest, MissingTextIsReportedAndGivesItsPlaceholder) {
    setLanguageIndex(kEnglishLanguage);
    EXPECT_EQ(LoadText(59999), "String_59999");
    EXPECT_EQ(reports, std::vector<std::string>{"Error Loading String: 59999"});
}

TEST_F(LanguageTest, LanguageTableMatchesTheIndexAndCaptionIds) {
    const auto all = languages();
    ASSERT_EQ(all.size(), 12u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(all[i].index, i);
    EXPECT_STREQ(all[kGermanLanguage].code, "de");
    EXPECT_STREQ(all[3].code, "it");
    EXPECT_FALSE(all[3].hasCatalogue);
    EXPECT_STREQ(all[7].code, "ru");
    EXPECT_EQ(all[7].captionId, text::kLanguageRussian);
    EXPECT_EQ(all[kLastLanguage].captionId, text::kLanguageLithuanian);
    for (const Language& language : all) {
        EXPECT_EQ(builtInCatalogues().find(language.code) != nullptr, language.hasCatalogue)
            << language.code;
        setLanguageIndex(kEnglishLanguage);
        EXPECT_NE(LoadText(language.captionId).rfind("String_", 0), 0u) << language.code;
    }
}

// The first of LC_ALL, LC_MESSAGES, LANG that is set and not empty decides; only the
// eleven catalogues count, anything else is German.
TEST_F(LanguageTest, LocaleChoosesTheLanguageByItsFirstSetVariable) {
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        int expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, "en_GB.UTF-8", kEnglishLanguage},
        {nullptr, nullptr, "el_GR.UTF-8", 10},
        {nullptr, nullptr, "lt_LT", 11},
        {nullptr, nullptr, "cs_CZ.UTF-8@euro", 9},
        {nullptr, nullptr, "fr", 2},
        {nullptr, "da_DK.UTF-8", "en_US.UTF-8", 8},
        {"pl_PL.UTF-8", "da_DK.UTF-8", "en_US.UTF-8", 6},
        {"", "", "ru_RU.UTF-8", 7},  // empty counts as unset
        {nullptr, nullptr, "C.UTF-8", kGermanLanguage},
        {nullptr, nullptr, "POSIX", kGermanLanguage},
        {"ja_JP.UTF-8", nullptr, "en_US.UTF-8", kGermanLanguage},  // set, but none of ours
        {nullptr, nullptr, "it_IT.UTF-8", kGermanLanguage},        // no Italian catalogue
        {nullptr, nullptr, "english", kGermanLanguage},
        {nullptr, nullptr, nullptr, kGermanLanguage},
    };
    for (const Case& c : cases) {
        const auto environment = [&](const char* name) {
            const std::string variable(name);
            return variable == "LC_ALL" ? c.all : variable == "LC_MESSAGES" ? c.messages : c.lang;
        };
        EXPECT_EQ(languageOfLocale(environment), c.expected)
            << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

// The console names each line it shows by the text it came from, formats included.
TEST_F(LanguageTest, TextIdsNameEachLineByItsText) {
    TextCatalogues set;
    set.add("de", catalogue({{1, {"Connection established", "Verbindung hergestellt"}},
                             {2, {"Flash erase error at %d", "Flash-Fehler bei %d"}},
                             {3, {"%s free %llu kB (%.1f %%)", "%s frei %llu kB (%.1f %%)"}}}));
    set.add("en", catalogue({{1, {"Connection established", "Connection established"}},
                             {2, {"Flash erase error at %d", "Flash erase error at %d"}},
                             {3, {"%s free %llu kB (%.1f %%)", "%s free %llu kB (%.1f %%)"}}}));
    const struct {
        const char* shown;
        std::vector<int> ids;
    } cases[] = {
        {"Connection established", {1}},
        {"Flash erase error at 3", {2}},
        {"A:\\ free 10 kB (15.6 %)", {3}},
        {"Connection established\n  Flash erase error at 3  ", {1, 2}},
        {"Alder-Panel", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextIdsOf(set, kEnglishLanguage, c.shown), c.ids) << c.shown;
}

}  // namespace
}  // namespace tarmix
