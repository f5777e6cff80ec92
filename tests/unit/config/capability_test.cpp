#include "config/capability.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "lang/catalog.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/changing_line.h"
#include "support/sent_lines.h"
#include "unit/link/scripted_port.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;

TEST(Capability, ParsesDecimalHexHexThenDecimals) {
    auto values = ParseCapabilities("tell caps\r\n1 7F00 8000 0 2\r\nBoot> ");
    ASSERT_TRUE(values);
    EXPECT_EQ(*values, (std::vector<int>{1, 0x7f00, 0x8000, 0, 2}));
}

TEST(Capability, ReadsAtMostTenAndNeedsFive) {
    auto twelve = ParseCapabilities("tell caps\r\n1 2 3 4 5 6 7 8 9 10 11 12\r\nBoot> ");
    ASSERT_TRUE(twelve);
    EXPECT_EQ(twelve->size(), 10u);
    EXPECT_FALSE(ParseCapabilities("tell caps\r\n1 7f00 8000 0\r\nBoot> "));
    EXPECT_FALSE(ParseCapabilities("tell caps"));
    EXPECT_FALSE(ParseCapabilities(""));
}

TEST(Capability, WritesLowerCaseHexWithAtLeastFourDigits) {
    EXPECT_EQ(FormatInitCaps({1, 0, 0x8000, 0, 2}), "init caps 1 0000 8000 0 2");
    EXPECT_EQ(FormatInitCaps({1, 0x7F00, 0x12345, 0, 2, 6}), "init caps 1 7f00 12345 0 2 6");
}

// A reading counts only when it arrived whole, however the line cut it up, and when a
// second whole reading is the same.
TEST(Capability, ReadingWaitsForTwoWholeAnswersThatAgree) {
    struct Piece {
        std::string bytes;
        Millis at;
    };
    struct Case {
        const char* what;
        std::vector<Piece> answer;
        CapabilityStatus status;
        std::vector<int> values;
        size_t readings;
    };
    const std::vector<int> five{1, 0x7f00, 0x8000, 0, 12};
    const Case cases[] = {
        {"in one piece",
         {{"tell caps\r\n1 7f00 8000 0 12\r\nBoot> ", 0ms}},
         CapabilityStatus::Read,
         five,
         2},
        {"last value 60 ms later",
         {{"tell caps\r\n1 7f00 8000 0 1", 2ms}, {"2\r\nBoot> ", 62ms}},
         CapabilityStatus::Read,
         five,
         2},
        {"ten values in three pieces",
         {{"tell caps\r\n1 7f00 80", 1ms}, {"00 0 5 6 7 8 ", 40ms}, {"9 10\r\nBoot> ", 90ms}},
         CapabilityStatus::Read,
         {1, 0x7f00, 0x8000, 0, 5, 6, 7, 8, 9, 10},
         2},
        {"prompt never comes",
         {{"tell caps\r\n1 7f00 8000 0 12", 0ms}},
         CapabilityStatus::Unreadable,
         {},
         kReadingsLimit},
        {"prompt too late",
         {{"tell caps\r\n1 7f00 8000 0 12", 0ms}, {"\r\nBoot> ", 3s}},
         CapabilityStatus::Unreadable,
         {},
         kReadingsLimit},
        {"wrong echo",
         {{"tell cops\r\n1 7f00 8000 0 12\r\nBoot> ", 0ms}},
         CapabilityStatus::Unreadable,
         {},
         kReadingsLimit},
        {"four values",
         {{"tell caps\r\n1 7f00 8000 0\r\nBoot> ", 0ms}},
         CapabilityStatus::NoRecord,
         {},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VirtualClock clock;
        testing::ScriptedPort* port = nullptr;
        CSerial serial(
            [&] {
                auto made = std::make_unique<testing::ScriptedPort>(clock);
                port = made.get();
                return made;
            },
            clock);
        serial.Open("COM1");
        port->onWrite = [&](const std::string& line) {
            if (line != "tell caps\r") return;
            for (const Piece& piece : c.answer) port->arrive(piece.bytes, piece.at);
        };
        MonitorExchange monitor(serial);
        const CapabilityRecord record = ReadCapabilities(monitor, 999);
        EXPECT_EQ(record.status, c.status);
        EXPECT_EQ(record.values, c.values);
        std::string expected;
        for (size_t i = 0; i < c.readings; ++i) expected += "tell caps\r";
        EXPECT_EQ(port->written, expected);
    }
}

// Setting a value against a controller on a line that changes one byte of chosen
// exchanges: the record is sent back only from three readings that agree, only when the
// value changes, and it must read back as sent.
TEST(Capability, SetOnlyFromAgreeingReadingsAndReadBack) {
    setLanguageIndex(kEnglishLanguage);
    struct Case {
        const char* what;
        const char* record;  // before, as "init caps" takes it
        testing::LineChange change;
        CapabilityChange result;
        std::vector<int> after;    // the controller's record afterwards
        size_t initCaps;           // "init caps" lines sent
        std::string failureNames;  // a text the failure holds
    };
    const std::vector<int> cleared{1, 0, 0x2000, 0, 0};
    const std::vector<int> untouched{1, 0x400, 0x2000, 0, 0};
    const testing::LineChange clean;
    auto readings = [](std::set<int> times) {
        return testing::LineChange{"tell caps", std::move(times), "0400 "};
    };
    const Case cases[] = {
        {"clean line", "1 0400 2000 0 0", clean, CapabilityChange::Written, cleared, 1, ""},
        {"value as wanted already", "1 0000 2000 0 0", clean, CapabilityChange::Unchanged, cleared,
         0, ""},
        {"first reading changed", "1 0400 2000 0 0", readings({1}), CapabilityChange::Written,
         cleared, 1, ""},
        {"second reading changed", "1 0400 2000 0 0", readings({2}), CapabilityChange::Written,
         cleared, 1, ""},
        {"first two readings changed alike", "1 0400 2000 0 0",
         testing::LineChange{"tell caps", {1, 2}, "0400 ", false, 1}, CapabilityChange::Written,
         cleared, 1, ""},
        {"every reading changed", "1 0400 2000 0 0", readings({1, 2, 3, 4, 5}),
         CapabilityChange::Unreadable, untouched, 0, "capability record"},
        {"init caps changed on its way: written again", "1 0400 2000 0 0",
         testing::LineChange{"init caps", {1}, "0000 ", true}, CapabilityChange::Written, cleared,
         2, ""},
        {"init caps changed every time",
         "1 0400 2000 0 0",
         testing::LineChange{"init caps", {1, 2, 3}, "0000 ", true},
         CapabilityChange::NotTaken,
         {1, 0, 0x5000, 0, 0},
         3,
         "sent 1 0000 2000 0 0, read back 1 0000 5000 0 0"},
        {"reading back never agrees", "1 0400 2000 0 0",
         testing::LineChange{"tell caps", {4, 5, 6, 7}, "0000 "}, CapabilityChange::NotTaken,
         cleared, 1, "written as 1 0000 2000 0 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VirtualClock clock;
        sim::Controller controller(*sim::findModel("alder"), clock);
        testing::LineChange change;
        CSerial serial(
            [&]() -> std::unique_ptr<PortBackend> {
                return std::make_unique<testing::ChangingLine>(
                    std::make_unique<sim::InProcessPort>(controller, clock), change);
            },
            clock);
        serial.Open("COM1");
        testing::SentLines sent;
        serial.setObserver(&sent);
        MonitorExchange monitor(serial);
        std::string answer;
        monitor.SendAndWaitPrompt(std::string("init caps ") + c.record, answer, 1999,
                                  Wait::Scaled(500ms));
        sent.lines.clear();
        change = c.change;

        const CapabilityResult result = SetCapability(monitor, 999, 2, 0);
        EXPECT_EQ(result.change, c.result);
        EXPECT_EQ(controller.caps(), c.after);
        EXPECT_EQ(size_t(std::count_if(
                      sent.lines.begin(), sent.lines.end(),
                      [](const std::string& line) { return line.rfind("init caps", 0) == 0; })),
                  c.initCaps);
        if (c.initCaps) {
            EXPECT_TRUE(sent.any("init caps 1 0000 2000 0 0"));
        }
        EXPECT_EQ(result.ok(), c.failureNames.empty());
        EXPECT_NE(result.failure.find(c.failureNames), std::string::npos) << result.failure;
    }
}

}  // namespace
}  // namespace tarmix
