#include "sim/controller.h"

#include <gtest/gtest.h>

#include "sim_bench.h"

namespace tarmix::sim {
namespace {

TEST(SimController, EveryModelPutsItsModelTextAndSizeFieldWhereTheProgramReadsThem) {
    for (const ModelSpec& model : allModels()) {
        SCOPED_TRACE(model.keyword);
        Bench bench(model.keyword);
        const std::string answer = bench.collect("please answer me");
        ASSERT_EQ(answer.substr(0, 30), "please answer me\r\nhere I am : ");
        EXPECT_EQ(answer.substr(30, model.modelText.size()), model.modelText);
        EXPECT_EQ(answer.substr(model.sizePosition, model.sizeField.size() + 2),
                  model.sizeField + "\r\n");
        EXPECT_TRUE(EndsWithPrompt(answer));
    }
}

TEST(SimController, AnswersVersionDrivesAndParallelTest) {
    Bench bench("alder");
    bench.controller.setFirmware(11);
    EXPECT_EQ(bench.collect("tell version"), "tell version\r\nVersion: 11\r\nBoot> ");
    EXPECT_EQ(bench.collect("tell drives"), "tell drives\r\nDrives: 1024 64 256\r\nBoot> ");
    EXPECT_EQ(bench.collect("parportCTRL test").substr(0, 24), "parportCTRL test\r\no.k.\r\n");
    EXPECT_EQ(bench.collect("parportCTRL on"), "parportCTRL on\r\nParPort aktiviert\r\nBoot> ");

    Bench withoutParallel("birch");
    EXPECT_NE(withoutParallel.collect("parportCTRL test").substr(0, 24),
              "parportCTRL test\r\no.k.\r\n");
}

TEST(SimController, UnknownCommandGetsAnErrorLineThenThePrompt) {
    Bench bench("heron");
    const std::string answer = bench.collect("frobnicate now");
    EXPECT_EQ(answer.rfind("frobnicate now\r\n", 0), 0u);
    EXPECT_NE(answer.find("frobnicate"), std::string::npos);
    EXPECT_TRUE(EndsWithPrompt(answer));
    EXPECT_EQ(bench.collect(""), "\r\nBoot> ");
}

TEST(SimController, BackspaceEditsTheLine) {
    Bench bench("alder");
    bench.serial.WriteText("tell versiox\bn\r");
    std::string answer;
    bench.serial.ReceiveText(answer, 999, 999, 100ms);
    EXPECT_NE(answer.find("Version: 30"), std::string::npos);
}

// What the confirmation of "setbaudrate RATE" brought.
Heard AskForRate(Bench& bench, const std::string& rate) {
    const std::string command = "setbaudrate " + rate;
    const std::string confirmed = command + "\r\nBaudrate now";
    std::string answer;
    if (!bench.monitor.SendCommand(command)) return Heard::SendFailed;
    return bench.monitor
        .ReceiveStartingWith(answer, confirmed, 1999, confirmed.size(), Wait::Scaled(1000ms))
        .heard;
}

TEST(SimController, BaudChangeAnswersAtTheOldRateThenGarblesUntilThePcFollows) {
    Bench bench("alder");
    ASSERT_EQ(AskForRate(bench, "115200"), Heard::Expected);
    EXPECT_EQ(bench.controller.uartBaud(), 115200u);
    // Still at 57600 on the PC: the monitor hears garbage and answers garbage.
    const std::string answer = bench.collect("tell version");
    EXPECT_EQ(answer.find("Version"), std::string::npos);
    EXPECT_EQ(answer.find('\r'), std::string::npos);
    // The PC follows; an empty line ends what the monitor made of the garbage and brings a
    // fresh prompt at the new rate.
    bench.serial.Configure(115200);
    EXPECT_TRUE(EndsWithPrompt(bench.collect("")));
    EXPECT_EQ(bench.collect("tell version"), "tell version\r\nVersion: 30\r\nBoot> ");
}

TEST(SimController, RefusesRatesItDoesNotKnow) {
    Bench bench("alder");
    EXPECT_EQ(AskForRate(bench, "9600"), Heard::Other);
    EXPECT_EQ(bench.controller.uartBaud(), 57600u);
}

}  // namespace
}  // namespace tarmix::sim
