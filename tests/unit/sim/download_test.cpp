// The monitor's side of the application download: erase, "burn", "verify" and, on the
// staged models, "flash program" from RAM.
#include <gtest/gtest.h>

#include "sim_bench.h"

namespace tarmix::sim {
namespace {

constexpr char kOk[] = "o.k.\r\nBoot> ";

uint32_t mapped(uint32_t address) { return (address & 0x1FFFFFFF) | 0xA0000000; }

// The erase command the download sends for the model, for [first, last].
std::string eraseCommand(const ModelSpec& model, uint32_t first, uint32_t last) {
    switch (model.eraseForm) {
        case EraseForm::kMappedWithWidth:
            return Bench::text("flash 32 erase application %08x %08x", mapped(first), mapped(last));
        case EraseForm::kMapped:
            return Bench::text("flash erase application %08x %08x", mapped(first), mapped(last));
        default:
            return Bench::text("flash erase application %08x %08x", first, last);
    }
}

TEST(SimDownload, EveryModelTakesAnImageBlockIntoItsFlash) {
    for (const ModelSpec& model : allModels()) {
        SCOPED_TRACE(model.keyword);
        Bench bench(model.keyword);
        const auto data = Bench::pattern(model.code == 16 ? 256 : 4000);
        const uint32_t size = uint32_t(data.size());
        uint32_t flashAt = model.applicationStart;
        if (model.stagedFlash) {
            // Into RAM, then erase and copy with the answers the staged download reads.
            ASSERT_EQ(bench.block("burn", model.applicationStart, data), kOk);
            flashAt = 0x100000;
            const std::string erase = eraseCommand(model, flashAt, flashAt + size - 1);
            EXPECT_EQ(bench.exchange(erase), erase + "\r\nSectors(   1):.erase done\r\nBoot> ");
            const std::string program =
                Bench::text("flash program %08x %08x %08x", flashAt, model.applicationStart, size);
            EXPECT_EQ(bench.exchange(program),
                      program + "\r\n" +
                          Bench::text("Programming from %08x to %08x Length %8u ...done",
                                      model.applicationStart, flashAt, size) +
                          "\r\nBoot> ");
        } else {
            if (!model.burnErases) {
                const std::string erase = eraseCommand(model, flashAt, flashAt + size - 1);
                EXPECT_EQ(bench.exchange(erase),
                          erase + "\r\nSectors(  1):.\r\nerase done\r\nBoot> ");
            }
            ASSERT_EQ(bench.block("burn", flashAt, data), kOk);
            EXPECT_EQ(bench.block("verify", flashAt, data), kOk);
        }
        EXPECT_EQ(bench.controller.memory().read(flashAt, size), data);
    }
}

TEST(SimDownload, BurnOverUnerasedFlashLeavesTheAndOfOldAndNew) {
    Bench bench("core510");
    const uint32_t at = 0x10000;
    bench.exchange(eraseCommand(bench.model(), at, at + 15));
    ASSERT_EQ(bench.block("burn", at, std::vector<uint8_t>(16, 0xF0)), kOk);
    ASSERT_EQ(bench.block("burn", at, std::vector<uint8_t>(16, 0x3C)), kOk);
    EXPECT_EQ(bench.block("verify", at, std::vector<uint8_t>(16, 0x3C)),
              "Verify error at 00010000\r\nBoot> ");
    EXPECT_EQ(bench.controller.memory().read(at, 16), std::vector<uint8_t>(16, 0x30));
}

TEST(SimDownload, WrongChecksumAndForbiddenPlacesAreRefusedWithoutWriting) {
    Bench bench("alder");
    const auto data = Bench::pattern(64);
    EXPECT_EQ(bench.block("burn", 0x110000, data, 1), "Checksum error\r\nBoot> ");
    EXPECT_EQ(bench.controller.memory().read(0x110000, 64), std::vector<uint8_t>(64, 0xff));
    EXPECT_EQ(bench.block("burn", 0x100000, data), "Address error\r\nBoot> ");  // boot loader
    EXPECT_EQ(bench.block("burn", 0x2FFFF0, data), "Address error\r\nBoot> ");  // past the end
    EXPECT_EQ(bench.block("burn", 0x40000000, data), "Address error\r\nBoot> ");
    // Model 1 erases with the bank width and uncached addresses, never below the application.
    EXPECT_NE(bench.exchange("flash erase application 00110000 0011ffff").find("Syntax error"),
              std::string::npos);
    EXPECT_NE(bench.exchange("flash 32 erase application 00110000 0011ffff").find("Address error"),
              std::string::npos);
    EXPECT_NE(bench.exchange("flash 32 erase application a0100000 a011ffff").find("Address error"),
              std::string::npos);
}

TEST(SimDownload, OldModel1MonitorsAddressTheFlashFromZero) {
    Bench bench("alder");
    bench.controller.setFirmware(8);
    bench.exchange("flash 32 erase application a0110000 a011ffff");
    const auto data = Bench::pattern(100);
    ASSERT_EQ(bench.block("burn", 0x10000, data), kOk);
    EXPECT_EQ(bench.controller.memory().read(0x110000, 100), data);
}

TEST(SimDownload, SectorsArePacedAndASlowOneOutlastsTheProgramsWait) {
    Bench bench("heron");
    bench.controller.setSectorTime(200ms);
    const std::string erase = "flash erase application 00110000 0012ffff";
    bench.serial.SendLine(erase);
    std::string got;
    bench.serial.ReceiveText(got, 999, erase.size() + 2 + 13, 500ms);
    EXPECT_EQ(got, erase + "\r\nSectors(  2):");
    const Millis start = bench.clock.now();
    bench.serial.ReceiveText(got, 1, 1, 5000ms);
    EXPECT_EQ(got, ".");
    EXPECT_GE(bench.clock.now() - start, 150ms);
    EXPECT_TRUE(EndsWithPrompt(bench.untilPrompt()));

    bench.controller.setSectorTime(6000ms);
    bench.serial.SendLine(erase);
    bench.serial.ReceiveText(got, 999, erase.size() + 2 + 13, 500ms);
    bench.serial.ReceiveText(got, 1, 1, 5000ms);
    EXPECT_EQ(got, "");
}

TEST(SimDownload, OldMonitorsEraseTheWholeApplicationArea) {
    Bench bench("core510");
    bench.controller.setFirmware(8);
    Memory& memory = bench.controller.memory();
    memory.store(0x1B0000, std::vector<uint8_t>{1});
    memory.store(0x8000, std::vector<uint8_t>{2});    // boot loader
    memory.store(0x1F0000, std::vector<uint8_t>{3});  // drive C: at the top of the bank
    // The whole area takes a while; the program waits for it up to 20 s.
    bench.serial.SendLine("flash erase application");
    std::string answer;
    bench.serial.ReceiveText(answer, 999, 37, 20000ms);
    EXPECT_EQ(answer.rfind("flash erase application\r\nerase done\r\n", 0), 0u);
    EXPECT_EQ(memory.read(0x1B0000, 1)[0], 0xff);
    EXPECT_EQ(memory.read(0x8000, 1)[0], 2);
    EXPECT_EQ(memory.read(0x1F0000, 1)[0], 3);
}

TEST(SimDownload, BootSectorCommandsNameTheSectorTheyErased) {
    struct Case {
        const char* model;
        const char* command;
        const char* sector;
    };
    for (const Case& c : {Case{"core510", "flash erase sector     8000", " Sector #3"},
                          Case{"core510", "flash erase sector 0", " Sector #0"},
                          Case{"alder", "flash erase sector   108000", " Sector #3"},
                          Case{"alder177", "flash erase sector a0008000", " Sector #3"},
                          Case{"alder ext", "flash erase sector 00110000", " Sector #4"}}) {
        SCOPED_TRACE(c.command);
        Bench bench(c.model);
        EXPECT_EQ(bench.exchange(c.command),
                  std::string(c.command) + "\r\n" + c.sector + "\r\nBoot> ");
    }
    Bench vantix("vantix");
    vantix.controller.memory().store(0x20000, std::vector<uint8_t>{0});
    EXPECT_EQ(
        vantix.exchange("flash erase bootloader"),
        "flash erase bootloader\r\nSectors(  16):" + std::string(16, '.') + "erase done\r\nBoot> ");
    EXPECT_EQ(vantix.controller.memory().read(0x20000, 1)[0], 0xff);
}

TEST(SimDownload, BlockDataThatStopsComingIsGivenUp) {
    Bench bench("core510");
    bench.serial.SendLine("burn 00010000 00000010 ffffffff");
    bench.serial.WriteBytes(Bench::pattern(5).data(), 5);
    bench.clock.advance(Controller::kBlockTimeout + 1ms);
    const std::string answer = bench.collect("tell version");
    EXPECT_NE(answer.find("Timeout\r\nBoot> tell version\r\nVersion: 30"), std::string::npos);
}

}  // namespace
}  // namespace tarmix::sim
