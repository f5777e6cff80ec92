// Memory and configuration commands of the simulated monitor, the parallel input, and the
// state directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "flash/srec_writer.h"
#include "sim_bench.h"

namespace tarmix::sim {
namespace {

TEST(SimMemory, DumpPutsTagAndVersionGroupsWhereTheDownloadReadsThem) {
    Bench bench("vantix");
    std::vector<uint8_t> header(64, 0);
    const uint8_t tag[] = {0x32, 0x66, 0x6E, 0x49};  // "Inf2", lowest byte first
    std::copy(std::begin(tag), std::end(tag), header.begin() + 8);
    for (uint8_t i = 0; i < 4; ++i) {
        header[40 + i] = uint8_t(0xA0 + i);  // version, first form
        header[52 + i] = uint8_t(0xB0 + i);  // version, second form
    }
    bench.controller.memory().store(0x80000000, header);
    const std::string command = "dump 80000000 40";
    std::string answer;
    ASSERT_TRUE(bench.monitor.SendAndWaitPrompt(command, answer, 1999, Wait::Scaled(500ms)).ok());
    const size_t L = command.size();
    EXPECT_EQ(answer.substr(L + 37, 11), "32 66 6e 49");
    EXPECT_EQ(answer.substr(L + 193, 11), "a0 a1 a2 a3");
    EXPECT_EQ(answer.substr(L + 259, 11), "b0 b1 b2 b3");
    EXPECT_EQ(answer.substr(L, 20), "\r\n80000000:  00 00 0");
}

TEST(SimMemory, BootLoaderUpdateStepsLandTheImageInTheBootSectors) {
    Bench bench("core510");
    EXPECT_EQ(bench.exchange("fill 00c10000 10000 ff"), "fill 00c10000 10000 ff\r\nBoot> ");
    EXPECT_EQ(bench.collect("s3offset ffff0000").substr(0, 42),
              "s3offset ffff0000\r\n  Offset:    FFFF0000\r\n");
    // Records typed as lines, each piece after the first starting with the LF of the last.
    const auto image = Bench::pattern(64, 9);
    std::string line;
    FormatRecord(line, '3', 0x00C20000, std::span(image).first(32));
    bench.serial.SendLine(line);
    FormatRecord(line, '3', 0x00C20020, std::span(image).subspan(32));
    bench.serial.SendLine("\n" + line);
    bench.serial.SendLine("\nS3050000000000");  // a damaged record is not stored
    bench.serial.SendLine("\n");
    EXPECT_EQ(bench.controller.memory().read(0x00C10000, 64), image);
    EXPECT_EQ(bench.controller.memory().read(0x00C10040, 1)[0], 0xff);  // the fill

    bench.exchange("flash erase sector     8000");
    for (const char* sector : {"6000", "4000", "0"})
        bench.exchange(std::string("flash erase sector ") + sector);
    const std::string program = "flash program        0 00c10000 10000";
    EXPECT_EQ(bench.exchange(program).substr(0, program.size() + 2 + 61),
              program + "\r\nProgramming from 00c10000 to 00000000 Length    65536 ...done");
    EXPECT_EQ(bench.controller.memory().read(0, 64), image);
}

TEST(SimMemory, ReadAndTellApplDescribeWhatIsInTheFlash) {
    Bench bench("alder");
    const auto data = Bench::pattern(0x123);
    bench.controller.memory().program(0x110000, data);
    EXPECT_EQ(bench.exchange("tell appl"),
              "tell appl\r\nText: 00110000 00000123\r\nData: 00110123 00000000\r\nBoot> ");
    uint32_t sum = 0;
    for (size_t i = 0; i < 16; ++i) sum += data[i];
    EXPECT_EQ(bench.exchange("read 00110000 00000010"),
              "read 00110000 00000010\r\n" + Bench::text("00110000 00000010 %08X\r\n", sum) +
                  std::string(data.begin(), data.begin() + 16) + "\r\nBoot> ");
}

TEST(SimMemory, ParallelPortCarriesCommandsAndDataOnlyWhileSwitchedOn) {
    Bench bench("heron");
    bench.controller.receiveParallel("tell version\r");
    EXPECT_EQ(bench.collect(""), "\r\nBoot> ");  // the monitor was not listening
    bench.exchange("flash erase application 00110000 00112fff");
    ASSERT_EQ(bench.collect("parportCTRL on"), "parportCTRL on\r\nParPort aktiviert\r\nBoot> ");
    // The serial line is not read as commands now; only the switch-off is heard.
    EXPECT_EQ(bench.collect("tell version"), "");

    const auto data = Bench::pattern(9004);
    const std::string burn =
        Bench::text("burn 00110000 %08x %08x", unsigned(data.size()), Bench::checksum(data));
    bench.controller.receiveParallel(burn + "\r");
    std::string echo;
    bench.serial.ReceiveText(echo, 799, burn.size() + 2, 4000ms);
    EXPECT_EQ(echo, burn + "\r\n");
    bench.controller.receiveParallel(std::string(data.begin(), data.end()));
    EXPECT_EQ(bench.untilPrompt(), "o.k.\r\nBoot> ");
    EXPECT_EQ(bench.controller.memory().read(0x110000, uint32_t(data.size())), data);

    EXPECT_EQ(bench.collect("parportCTRL off"), "parportCTRL off\r\nParPort deaktiviert\r\nBoot> ");
    Bench without("birch");
    EXPECT_EQ(without.collect("parportCTRL on").find("ParPort"), std::string::npos);
}

TEST(SimMemory, CapabilityRecordIsReadAndReplacedWhole) {
    Bench bench("alder");
    EXPECT_EQ(bench.exchange("tell caps"), "tell caps\r\n1 0000 2000 0 0\r\nBoot> ");
    EXPECT_EQ(bench.exchange("init caps 1 0000 7f00 1 2 7"),
              "init caps 1 0000 7f00 1 2 7\r\nBoot> ");
    EXPECT_EQ(bench.exchange("tell caps"), "tell caps\r\n1 0000 7f00 1 2 7\r\nBoot> ");
    // Four values, a value that is no number, or hexadecimal values not in "%04x" leave the
    // record as it was.
    for (const char* wrong : {"init caps 1 0000 0000 0", "init caps 1 0000 xyzw 0 0",
                              "init caps 1 0 7f00 0 0", "init caps 1 0000 7F00 0 0"})
        EXPECT_NE(bench.exchange(wrong).find("Syntax error"), std::string::npos) << wrong;
    EXPECT_EQ(bench.controller.caps(), (std::vector<int>{1, 0, 0x7f00, 1, 2, 7}));
}

TEST(SimState, FlashAndCapsSurviveTheStateDirectory) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarmix_sim_state_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    const auto low = Bench::pattern(100, 3), high = Bench::pattern(40, 5);
    {
        Bench bench("birch");
        bench.controller.memory().program(0x18000010, high);
        bench.controller.memory().program(0x14000000, low);
        bench.controller.memory().store(0x0C000000, low);  // RAM is not kept
        bench.exchange("init caps 2 0010 8000 1 0");
        std::string error;
        ASSERT_TRUE(bench.controller.saveState(dir, error)) << error;
    }
    // Ascending S3 records between an S0 and an S7; erased flash is left out.
    std::ifstream in(dir / "memory.srec");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u + 4u + 2u);  // 100 bytes: 4 records of 32; 40 bytes: 2
    EXPECT_EQ(lines.front().substr(0, 2), "S0");
    EXPECT_EQ(lines[1].substr(0, 12), "S32514000000");
    EXPECT_EQ(lines[5].substr(0, 12), "S32518000000");
    EXPECT_EQ(lines.back(), "S70500000000FA\r");

    Bench restored("birch");
    std::string error;
    ASSERT_TRUE(restored.controller.loadState(dir, error)) << error;
    EXPECT_EQ(restored.controller.memory().read(0x14000000, 100), low);
    EXPECT_EQ(restored.controller.memory().read(0x18000010, 40), high);
    EXPECT_EQ(restored.controller.memory().read(0x0C000000, 1)[0], 0);
    EXPECT_EQ(restored.controller.caps(), (std::vector<int>{2, 0x10, 0x8000, 1, 0}));

    // A state of another model does not fit this one's flash.
    Bench other("alder");
    EXPECT_FALSE(other.controller.loadState(dir, error));
    EXPECT_NE(error.find("memory.srec"), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tarmix::sim
