// The simulated monitor refuses what a device refuses: commands in another form than the
// one the program's formats print, blocks its model and link cannot take, erase forms its
// monitor version does not have, and rates its UART cannot run.
#include <gtest/gtest.h>

#include "sim_bench.h"

namespace tarmix::sim {
namespace {

struct Case {
    const char* model;
    int firmware;
    std::string command;
    const char* answerStart;  // what follows the echo and CR LF
};

void expectAnswers(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " v" + std::to_string(c.firmware) + ": " + c.command);
        Bench bench(c.model);
        bench.controller.setFirmware(c.firmware);
        bench.controller.setSectorTime(Millis{1});
        const std::string answer = bench.collect(c.command);
        const std::string start = c.command + "\r\n" + c.answerStart;
        EXPECT_EQ(answer.substr(0, start.size()), start);
    }
}

TEST(StrictMonitor, FieldsInExactlyTheirPrintedWidthAndWords) {
    expectAnswers({
        {"alder", 30, "dump 00110000 40", "00110000:  ff"},
        {"alder", 30, "dump 110000 40", "Syntax error"},
        {"alder", 30, "read 0011000A 00000010", "0011000A 00000010"},
        {"alder", 30, "read 0011000a 00000010", "Syntax error"},  // "%08X": upper case
        {"alder", 30, "flash 32 erase application a0110000 a011ffff", "Sectors(  1):"},
        {"alder", 30, "flash 32 erase application a0110000 A011FFFF", "Syntax error"},
        {"alder", 30, "flash 32 erase application a0110000 a011ffff 1", "Unknown command"},
        {"core510", 30, "flash erase application 10000 1ffff", "Syntax error"},
        {"alder", 30, "tell caps now", "Syntax error"},
        {"alder", 30, "please answer me twice", "Syntax error"},
        {"alder", 30, "parportCTRL test 1", "Syntax error"},
        {"alder", 30, "init caps 1 0000 0100 0 0", ""},
        {"alder", 30, "init caps 1 000 0100 0 0", "Syntax error"},
    });
}

TEST(StrictMonitor, EraseFormsBelongToMonitorVersions) {
    expectAnswers({
        {"core510", 8, "flash erase application", "erase done"},
        {"core510", 9, "flash erase application", "Syntax error"},
        {"core510", 8, "flash erase application 00010000 0001ffff", "Syntax error"},
        {"core510", 9, "flash erase application 00010000 0001ffff", "Sectors(  1):"},
        // The models with their own form take it from every monitor version.
        {"alder", 8, "flash 32 erase application a0110000 a011ffff", "Sectors(  1):"},
        {"birch", 30, "flash erase application", "Syntax error"},
        {"vantix", 5, "flash erase application 00100000 001fffff", "Sectors(  16):"},
    });
}

TEST(StrictMonitor, OnlyTheRatesTheUartRuns) {
    expectAnswers({
        {"alder", 30, "setbaudrate 115200", "Baudrate now"},
        {"alder", 30, "setbaudrate 230400", "Baudrate not supported"},
        {"alder", 14, "setbaudrate 115200", "Baudrate not supported"},
        {"alder", 14, "setbaudrate 57600", "Baudrate now"},
        {"vantix", 11, "setbaudrate 115200", "Baudrate now"},
        {"t_pq7xx", 30, "setbaudrate 115200", "Baudrate not supported"},
    });
}

TEST(StrictMonitor, BlocksItsModelAndLinkCannotTakeAreRefusedWithoutTakingTheData) {
    struct Block {
        const char* model;
        uint32_t address;
        size_t size;
        bool taken;
    };
    for (const Block& b :
         {Block{"alder", 0x110000, 4000, true}, Block{"alder", 0x110000, 4002, false},
          Block{"alder", 0x110000, 7, false}, Block{"alder", 0x110002, 16, false},
          Block{"t_pq7xx", 0x0, 256, true}, Block{"t_pq7xx", 0x0, 258, false}}) {
        SCOPED_TRACE(std::string(b.model) + " " + std::to_string(b.size) + " bytes at " +
                     std::to_string(b.address));
        Bench bench(b.model);
        bench.exchange(b.model == std::string("alder")
                           ? "flash 32 erase application a0110000 a011ffff"
                           : "tell version");
        const auto data = Bench::pattern(b.size);
        const std::string answer = bench.block("burn", b.address, data);
        if (b.taken) {
            EXPECT_EQ(answer, "o.k.\r\nBoot> ");
        } else {
            EXPECT_EQ(answer.find("o.k."), std::string::npos) << answer;
        }
        EXPECT_EQ(bench.controller.memory().read(b.address, uint32_t(b.size)) == data, b.taken);
    }
}

TEST(StrictMonitor, WhileTheParallelInputIsOnTheSerialLineHearsOnlyTheSwitchOff) {
    Bench bench("heron");
    ASSERT_EQ(bench.collect("parportCTRL on"), "parportCTRL on\r\nParPort aktiviert\r\nBoot> ");
    EXPECT_EQ(bench.collect("tell version"), "");
    EXPECT_EQ(bench.collect("burn 00110000 00000004 fffffffb"), "");
    EXPECT_EQ(bench.collect("parportCTRL off"), "parportCTRL off\r\nParPort deaktiviert\r\nBoot> ");
    EXPECT_EQ(bench.collect("tell version"), "tell version\r\nVersion: 30\r\nBoot> ");
}

TEST(StrictMonitor, TheCapabilityRecordCarriesTenValues) {
    Bench bench("alder");
    bench.exchange("init caps 1 0000 0100 0 5 6 7 8 9 10");
    EXPECT_EQ(bench.exchange("tell caps"), "tell caps\r\n1 0000 0100 0 5 6 7 8 9 10\r\nBoot> ");
    EXPECT_NE(bench.exchange("init caps 1 0000 0100 0 5 6 7 8 9 10 11").find("Syntax error"),
              std::string::npos);
}

}  // namespace
}  // namespace tarmix::sim
