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

// Drive letters, paths and EEPROM ranges only as the program writes them, only on the models
// and monitor versions that have the command, only inside the model's EEPROM data area.
TEST(StrictMonitor, DriveLettersPathsAndEepromRangesInTheirWrittenFormOnly) {
    expectAnswers({
        {"alder", 40, "tree a:", "A:"},
        {"alder", 40, "tree A:", "Syntax error"},  // case
        {"alder", 40, "tree a", "Syntax error"},   // the colon
        {"alder", 40, "finfo a", "Drive A:"},
        {"alder", 40, "finfo a:", "Syntax error"},
        {"alder", 40, "format C:", "Syntax error"},
        {"alder", 40, "dir \"A:\\\"", "Directory of A:\\"},
        {"alder", 40, "dir A:\\", "Path error"},  // without its quotes
        {"alder", 40, "mkdir A:\\NEW", "Path error"},
        {"alder", 40, "file dump A:\\X.TXT", "Path error"},
        {"alder", 40, "file load A:\\X.TXT 1", "Path error"},
        {"alder", 40, "rmdir \"A:\\NEW\\\"", "Path error"},
        {"alder", 40, "geteepromdata 00000100 00000010", "Addr 00000100"},
        {"alder", 40, "geteepromdata 00001c00 00000010", "Addr 00001c00"},
        {"alder", 40, "geteepromdata 00001C00 00000010", "Syntax error"},  // case
        {"alder", 40, "geteepromdata 1c00 10", "Syntax error"},            // width
        {"alder", 40, "geteepromdata 000000ff 00000010", "Syntax error"},  // below the area
        {"vantix", 40, "seteepromdata 00000100 00000010", "Syntax error"},
        {"alder", 32, "geteepromdata 00000100 00000010", "Unknown command"},    // monitor
        {"core510", 40, "seteepromdata 00000100 00000010", "Unknown command"},  // model
    });
}

// "seteepromdata" block by block: the monitor writes each block after its "O.K." and hears
// the next one only after a pause.
TEST(StrictMonitor, AnEepromBlockSentWithoutThePauseIsLost) {
    for (const Millis pause : {Millis{0}, Millis{100}, Millis{200}}) {
        SCOPED_TRACE(pause.count());
        Bench bench("alder");
        bench.controller.setFirmware(40);
        const auto sendBlock = [&](uint32_t address, uint8_t value) {
            const std::string command = Bench::text("seteepromdata %08x 00000004", address);
            bench.serial.SendLine(command);
            std::string echo;
            bench.serial.ReceiveText(echo, 99, command.size() + 2, 2000ms);
            if (echo != command + "\r\n") return "no echo: " + echo;
            const uint8_t data[] = {value, value, value, value, uint8_t(~(4 * value)), 0xff};
            bench.serial.WriteBytes(data, sizeof data);
            return bench.untilPrompt();
        };
        ASSERT_EQ(sendBlock(0x100, 1), "O.K.\r\nBoot> ");
        bench.clock.sleep(pause);
        const bool heard = pause >= Millis{200};
        EXPECT_EQ(sendBlock(0x104, 2) == "O.K.\r\nBoot> ", heard);
        EXPECT_EQ(bench.controller.eeprom()[0x104], heard ? 2 : 0xff);
    }
}

// "New program" sends "Application.exe" without quotes; its first frame is the application
// header, and the data frames must bring exactly what the header promised.
TEST(StrictMonitor, NewProgramFramesKeepTheHeadersPromise) {
    const auto frame = [](std::vector<uint8_t> data) {
        uint8_t sum = 0;
        for (uint8_t b : data) sum = uint8_t(sum + b);
        data.insert(data.begin(), {uint8_t(data.size() >> 8), uint8_t(data.size())});
        data.push_back(uint8_t(~sum));
        return data;
    };
    const auto header = [](uint32_t total, uint32_t sum) {
        std::vector<uint8_t> h{0x00, 0x01, 0x00, 0x00};
        for (uint32_t word : {total, sum})
            for (int shift = 24; shift >= 0; shift -= 8) h.push_back(uint8_t(word >> shift));
        return h;
    };
    const std::vector<uint8_t> image = Bench::pattern(600);
    uint32_t sum = 0;
    for (uint8_t b : image) sum += b;
    const std::vector<uint8_t> first(image.begin(), image.begin() + 512);
    const std::vector<uint8_t> rest(image.begin() + 512, image.end());
    std::vector<uint8_t> shortHeader = header(600, sum);
    shortHeader.pop_back();
    struct Case {
        const char* name;
        std::string command;
        std::vector<std::vector<uint8_t>> frames;
        std::string answers;  // one per frame sent
    };
    for (const Case& c : {
             Case{
                 "kept", "file load A:\\Application.exe 3", {header(600, sum), first, rest}, "..."},
             Case{"total beyond the blocks",
                  "file load A:\\Application.exe 3",
                  {header(1100, sum)},
                  "c"},
             Case{"sum",
                  "file load A:\\Application.exe 3",
                  {header(600, sum + 1), first, rest},
                  "..c"},
             Case{"short header", "file load A:\\Application.exe 3", {shortHeader}, "c"},
             Case{"empty frame", "file load A:\\Application.exe 3", {header(600, sum), {}}, ".c"},
             Case{"empty frame of a file", "file load \"A:\\X.BIN\" 1", {{}}, "c"},
             // In quotes it is a file like any other: no header.
             Case{"quoted", "file load \"A:\\Application.exe\" 2", {first, rest}, ".."},
         }) {
        SCOPED_TRACE(c.name);
        Bench bench("alder");
        bench.serial.SendLine(c.command);
        std::string echo;
        bench.serial.ReceiveText(echo, 999, c.command.size() + 2, 2000ms);
        ASSERT_EQ(echo, c.command + "\r\n");
        std::string answers;
        for (const auto& data : c.frames) {
            const std::vector<uint8_t> bytes = frame(data);
            bench.serial.WriteBytes(bytes.data(), bytes.size());
            std::string answer;
            bench.serial.ReceiveText(answer, 1, 1, 2000ms);
            answers += answer;
        }
        EXPECT_EQ(answers, c.answers);
    }
}

}  // namespace
}  // namespace tarmix::sim
