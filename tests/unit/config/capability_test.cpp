#include "config/capability.h"

#include <gtest/gtest.h>

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

// The record is written back only when it arrived whole, however the line cut it up.
TEST(Capability, RewriteWaitsForTheWholeRecordAndItsPrompt) {
    struct Piece {
        std::string bytes;
        Millis at;
    };
    struct Case {
        const char* what;
        std::vector<Piece> answer;
        const char* writtenBack;  // nullptr: nothing
    };
    const Case cases[] = {
        {"in one piece",
         {{"tell caps\r\n1 7f00 8000 0 12\r\nBoot> ", 0ms}},
         "init caps 1 0000 8000 0 12"},
        {"last value 60 ms later",
         {{"tell caps\r\n1 7f00 8000 0 1", 2ms}, {"2\r\nBoot> ", 62ms}},
         "init caps 1 0000 8000 0 12"},
        {"ten values in three pieces",
         {{"tell caps\r\n1 7f00 80", 1ms}, {"00 0 5 6 7 8 ", 40ms}, {"9 10\r\nBoot> ", 90ms}},
         "init caps 1 0000 8000 0 5 6 7 8 9 10"},
        {"prompt never comes", {{"tell caps\r\n1 7f00 8000 0 12", 0ms}}, nullptr},
        {"prompt too late", {{"tell caps\r\n1 7f00 8000 0 12", 0ms}, {"\r\nBoot> ", 3s}}, nullptr},
        {"wrong echo", {{"tell cops\r\n1 7f00 8000 0 12\r\nBoot> ", 0ms}}, nullptr},
        {"four values", {{"tell caps\r\n1 7f00 8000 0\r\nBoot> ", 0ms}}, nullptr},
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
        EXPECT_EQ(RewriteCapability(monitor, 999, 2, 0), c.writtenBack != nullptr);
        const std::string expected =
            std::string("tell caps\r") + (c.writtenBack ? c.writtenBack + std::string("\r") : "");
        EXPECT_EQ(port->written, expected);
    }
}

}  // namespace
}  // namespace tarmix
