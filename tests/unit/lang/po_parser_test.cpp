#include "lang/po_parser.h"

#include <gtest/gtest.h>

namespace tarmix {
namespace {

TEST(PoParser, ReadsEntriesWithContinuedStringsEscapesAndComments) {
    const PoCatalogue catalogue = parsePo(
        "\xEF\xBB\xBF# translator comment\r\n"
        "msgid \"\"\r\n"
        "msgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\r\n"
        "\r\n"
        "#. used in the status line\n"
        "msgctxt \"60609\"\n"
        "msgid \"\"\n"
        "\"Keep\\n\"\n"
        "  \"receipts\"\n"
        "msgstr \"Belege\\nbehalten\"\n"
        "msgctxt \"60140\"\n"
        "msgid \"A:\\\\ (Flash-Card)\"\n"
        "msgstr \"A:\\\\ \\\"Karte\\\"\\t\"\n");
    EXPECT_TRUE(catalogue.errors.empty()) << catalogue.errors.front();
    ASSERT_EQ(catalogue.entries.size(), 2u);
    EXPECT_EQ(catalogue.entries.at(60609).english, "Keep\nreceipts");
    EXPECT_EQ(catalogue.entries.at(60609).translation, "Belege\nbehalten");
    EXPECT_EQ(catalogue.entries.at(60140).english, "A:\\ (Flash-Card)");
    EXPECT_EQ(catalogue.entries.at(60140).translation, "A:\\ \"Karte\"\t");
}

TEST(PoParser, FuzzyTranslationIsDroppedSoTheTextFallsBack) {
    const PoCatalogue catalogue = parsePo(
        "#, fuzzy\nmsgctxt \"1\"\nmsgid \"One\"\nmsgstr \"Eins?\"\n\n"
        "msgctxt \"2\"\nmsgid \"Two\"\nmsgstr \"Zwei\"\n");
    EXPECT_TRUE(catalogue.errors.empty());
    EXPECT_EQ(catalogue.entries.at(1).translation, "");
    EXPECT_EQ(catalogue.entries.at(2).translation, "Zwei");
}

TEST(PoParser, ReportsEachFaultWithItsLineAndKeepsTheRest) {
    const PoCatalogue catalogue = parsePo(
        "msgctxt \"7\"\nmsgid \"Seven\"\nmsgstr \"Sieben\"\n"      // 1-3 good
        "msgctxt \"7\"\nmsgid \"Seven\"\nmsgstr \"Nochmal\"\n"     // 4-6 duplicate id
        "msgctxt \"x8\"\nmsgid \"Eight\"\nmsgstr \"Acht\"\n"       // 7-9 id not a number
        "msgctxt \"9\"\nmsgid \"Nine\"\n"                          // 10-11 no msgstr
        "msgctxt \"10\"\nmsgid \"Ten\"\nmsgstr \"Zehn\\q\"\n"      // 12-14 unknown escape
        "msgctxt \"11\"\nmsgid \"Eleven\"\nmsgstr \"Elf\n"         // 15-17 unterminated
        "msgid_plural \"x\"\n"                                     // 18 unsupported
        "msgctxt \"12\"\nmsgid \"Twelve\"\nmsgstr \"\xC3\x28\"\n"  // 19-21 not UTF-8
        "msgid \"No id\"\nmsgstr \"Keine\"\n");                    // 22-23 no msgctxt
    EXPECT_EQ(catalogue.entries.at(7).translation, "Sieben");
    EXPECT_EQ(catalogue.entries.at(10).translation, "Zehnq");
    EXPECT_EQ(catalogue.entries.count(8), 0u);
    EXPECT_EQ(catalogue.entries.count(9), 0u);
    EXPECT_EQ(catalogue.entries.count(12), 0u);
    const std::vector<std::string> expected = {
        "line 4: text id 7 appears twice",
        "line 7: msgctxt \"x8\" is not a text id",
        "line 12: msgctxt inside an unfinished entry",
        "line 14: unknown escape \\q",
        "line 17: expected a string in double quotes",
        "line 18: unsupported keyword 'msgid_plural'",
        "line 19: text is not UTF-8",
        "line 22: entry without msgctxt (its text id)",
    };
    EXPECT_EQ(catalogue.errors, expected);
}

TEST(PoParser, StrayTextOutsideEntriesIsReportedNotFatal) {
    const PoCatalogue catalogue =
        parsePo("\"orphan\"\ngarbage\nmsgstr \"x\"\nmsgctxt \"5\"\nmsgid \"Five\"\nmsgstr \"F\"");
    EXPECT_EQ(catalogue.errors.size(), 3u);
    EXPECT_EQ(catalogue.entries.at(5).translation, "F");
}

}  // namespace
}  // namespace tarmix
