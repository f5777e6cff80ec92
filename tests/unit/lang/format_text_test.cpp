#include "lang/format_text.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "lang/text_names.h"
#include "text_fixture.h"

namespace tarmix {
namespace {

std::optional<std::string> fill(std::string_view format, std::vector<FormatArg> args) {
    return fillFormat(format, args);
}

TEST(FormatConversions, ListsEachConversionAsWrittenButNotPercentSigns) {
    using List = std::vector<std::string>;
    EXPECT_EQ(formatConversions("COM%d\n\n%s"), (List{"%d", "%s"}));
    EXPECT_EQ(formatConversions("%s 0x%08X 100%% %-5.2f %lu"),
              (List{"%s", "%08X", "%-5.2f", "%lu"}));
    EXPECT_EQ(formatConversions("%d.%m.%Y %H:%M?"), (List{"%d", "%m", "%Y", "%H", "%M"}));
    EXPECT_EQ(formatConversions("broken %5"), (List{"%5"}));
    EXPECT_TRUE(formatConversions("no conversions, 50%% off").empty());
}

TEST(FillFormat, FillsTheConversionsOfTheMonitorAndMessageTexts) {
    EXPECT_EQ(fill("call %08x", {std::uint32_t{0x80010000}}), "call 80010000");
    EXPECT_EQ(fill("%s\n%s 0x%08X\n", {"RAM", "needed", 0x1F00u}), "RAM\nneeded 0x00001F00\n");
    EXPECT_EQ(fill("Drive_%c\\", {'a'}), "Drive_a\\");
    EXPECT_EQ(fill("COM%d: %s", {3, std::string("frei")}), "COM3: frei");
    EXPECT_EQ(fill("%d%%", {-12}), "-12%");
    EXPECT_EQ(fill("Programming from %08x to %08x Length %8u ...done", {0x83d00000u, 0u, 4096}),
              "Programming from 83d00000 to 00000000 Length     4096 ...done");
    EXPECT_EQ(fill("%.1f", {12.25}), "12.2");
    EXPECT_EQ(fill("%d", {'A'}), "65");
    EXPECT_EQ(fill("plain", {}), "plain");
}

TEST(FillFormat, RefusesArgumentsThatDoNotFitInsteadOfReadingGarbage) {
    EXPECT_EQ(fill("%s", {42}), std::nullopt);
    EXPECT_EQ(fill("%d", {"text"}), std::nullopt);
    EXPECT_EQ(fill("%c", {1.5}), std::nullopt);
    EXPECT_EQ(fill("%d %d", {1}), std::nullopt);
    EXPECT_EQ(fill("%d", {1, 2}), std::nullopt);
    EXPECT_EQ(fill("%n", {1}), std::nullopt);
    EXPECT_EQ(fill("%p", {1}), std::nullopt);
    EXPECT_EQ(fill("%*d", {5}), std::nullopt);
    EXPECT_EQ(fill("%1000000000d", {5}), std::nullopt);
    EXPECT_EQ(fill("trailing %", {1}), std::nullopt);
    EXPECT_EQ(fill("%d.%m.%Y", {1, 2, 3}), std::nullopt);
}

class FillTextTest : public LanguageTest {
  protected:
    FillTextTest() {
        set.add("de", catalogue({{1, {"Port COM%d", "Schnittstelle COM%d"}}}));
        set.add("en", catalogue({{1, {"Port COM%d", "Port COM%d"}}}));
        set.add("fr", catalogue({{1, {"Port COM%d", "Port %s"}}}));  // a faulty translation
        set.add("nl", catalogue({{1, {"Port COM%d", "Poort COM%d"}}}));
    }
    TextCatalogues set;
};

TEST_F(FillTextTest, FillsTheTextOfTheLanguage) {
    const FormatArg args[] = {2};
    EXPECT_EQ(fillText(set, 5, 1, args), "Poort COM2");
    EXPECT_EQ(fillText(set, kGermanLanguage, 1, args), "Schnittstelle COM2");
    EXPECT_TRUE(reports.empty());
}

TEST_F(FillTextTest, FaultyTranslationFallsBackToEnglish) {
    const FormatArg args[] = {2};
    EXPECT_EQ(fillText(set, 2, 1, args), "Port COM2");
    EXPECT_TRUE(reports.empty());
}

TEST_F(FillTextTest, ArgumentsThatFitNoTextAreReportedAndTheTextShownUnfilled) {
    const FormatArg args[] = {"two"};
    EXPECT_EQ(fillText(set, 5, 1, args), "Poort COM%d");
    EXPECT_EQ(reports, std::vector<std::string>{"Error Formatting String: 1"});
}

TEST_F(FillTextTest, MissingTextGivesThePlaceholder) {
    EXPECT_EQ(fillText(set, 5, 2, {}), "String_2");
    EXPECT_EQ(reports, std::vector<std::string>{"Error Loading String: 2"});
}

TEST_F(LanguageTest, FormatTextFillsTheBuiltInCatalogueText) {
    setLanguageIndex(kEnglishLanguage);
    EXPECT_EQ(FormatText(text::kConnectionAborted), "Connection aborted");
    EXPECT_EQ(FormatText(text::kConnectionAborted, 1),
              "Connection aborted");  // extra argument: unfilled
    EXPECT_EQ(reports, std::vector<std::string>{"Error Formatting String: " +
                                                std::to_string(text::kConnectionAborted)});
}

}  // namespace
}  // namespace tarmix
