// The production line as it runs for real: one tarmix process programming several
// simulated controllers (tarmix-sim --count) on their own pseudo-terminals, some of them
// broken, and a station loop whose controllers are unplugged and plugged from outside.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "batch/sha256.h"
#include "sim/image_maker.h"
#include "sim/memory.h"
#include "support/line_rig.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::LineRig;
using testing::Outcome;

constexpr uint32_t kAlderBankA = 0x110000;
constexpr uint32_t kImageSize = 0x8000;

class ProductionLineTest : public LineRig {};

// Five stations: two good, one whose line drops in the middle of the download, one whose
// controller stops answering (a hang: every wait ends by the clock), one of another model.
// The good ones finish with their memory equal to the image; the table, the record and the
// exit code say which station did what.
TEST_F(ProductionLineTest, GangFinishesTheGoodStationsBesideBrokenOnes) {
    const std::string image = makeImage("app.rom", kImageSize);
    startSimulator(5, {"--model", "alder", "--unit", "3", "--faults", "gone@12000", "--unit", "5",
                       "--model", "core510"});
    const std::string record = (folder / "line.jsonl").string();
    std::vector<std::string> arguments{"--headless", "--gang", "--json", "--baud", "115200",
                                       "--record",   record,   "--wait", "20"};
    for (const std::string& port : devices) arguments.insert(arguments.end(), {"--port", port});
    arguments.insert(arguments.end(), {"/p", image});
    const pid_t tarmix = startTarmix(arguments);
    // Station 4's controller goes silent once its transfer has begun.
    ASSERT_TRUE(waitForOutput(R"("event":"transfer")", R"("station":4)", 60s));
    control("unplug 4");
    const Outcome outcome = finishTarmix(tarmix, 120s);

    EXPECT_EQ(outcome.exitCode, 7) << outcome.err;  // station 3 failed first
    const std::string last = outcome.err.substr(outcome.err.rfind("tarmix: exit code"));
    EXPECT_EQ(last,
              "tarmix: exit code 7 (/p: the download or the script failed); failed "
              "stations: 3 (" +
                  devices[2] + ") 4 (" + devices[3] + ") 5 (" + devices[4] + ")\n");
    const std::vector<nlohmann::json> stations = events(outcome.out, "station");
    ASSERT_EQ(stations.size(), 5u);
    const int expectedCodes[] = {0, 0, 7, 7, 7};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(stations[i]["exitCode"], expectedCodes[i]) << i;
    EXPECT_EQ(stations[4]["model"], "CORE-510");
    EXPECT_NE(outcome.err.find("do not match"), std::string::npos) << outcome.err;
    EXPECT_NE(
        outcome.err.find(devices[0] + std::string(20 - devices[0].size() + 1, ' ') + "Alder-Panel"),
        std::string::npos)
        << outcome.err;

    // One record line per controller, with the image's hash and each station's result.
    const std::vector<nlohmann::json> lines = recordLines(record);
    ASSERT_EQ(lines.size(), 5u);
    std::vector<int> codes(5);
    for (const auto& line : lines) {
        EXPECT_EQ(line["sha256"], Sha256OfFile(image).value());
        EXPECT_EQ(line["imageSize"], fs::file_size(image));
        codes[size_t(line["station"].get<int>() - 1)] = line["exitCode"];
        if (line["exitCode"] == 0) {
            EXPECT_EQ(line["bytes"], kImageSize);
            EXPECT_EQ(line["monitorAfter"], line["monitorBefore"]);
        }
    }
    EXPECT_EQ(codes, (std::vector<int>{0, 0, 7, 7, 7}));

    stopSimulator();
    const std::vector<uint8_t> expected = sim::MakeImageBytes(kAlderBankA, kImageSize, {});
    for (int unit : {1, 2}) EXPECT_EQ(flash(unit, "alder"), expected) << "controller " << unit;
    EXPECT_NE(flash(3, "alder"), expected);
}

// Two --port options naming one device, and a port that cannot be opened: those stations
// are refused with their reason and the others go on.
TEST_F(ProductionLineTest, AStationOnAnotherStationsPortOrNoPortIsRefused) {
    const std::string image = makeImage("app.rom", 0x1000);
    startSimulator(1, {"--model", "alder"});
    const fs::path link = folder / "same-device";
    fs::create_symlink(devices[0], link);
    const pid_t tarmix =
        startTarmix({"--headless", "--gang", "--port", devices[0], "--port", link.string(),
                     "--port", (folder / "none").string(), "/p", image});
    const Outcome outcome = finishTarmix(tarmix, 60s);
    EXPECT_EQ(outcome.exitCode, 15) << outcome.err;
    EXPECT_NE(outcome.err.find("refused: the same device as station 1's (" + devices[0] + ")"),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("failed stations: 2 (" + link.string() + ") 3 ("), std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("Downloaded 4096 bytes"), std::string::npos) << outcome.err;
}

// A wrong cable joins two adapters to one controller: it is programmed through the first
// station only, and the other controllers go on.
TEST_F(ProductionLineTest, AControllerAnsweringOnTwoPortsIsProgrammedOnce) {
    const std::string image = makeImage("app.rom", 0x1000);
    startSimulator(2, {"--model", "alder", "--unit", "1", "--twin"}, 1);
    const pid_t tarmix = startTarmix({"--headless", "--gang", "--json", "--port", devices[0],
                                      "--port", devices[2], "--port", devices[1], "/p", image});
    const Outcome outcome = finishTarmix(tarmix, 60s);
    EXPECT_EQ(outcome.exitCode, 15) << outcome.err;
    EXPECT_NE(
        outcome.err.find("its controller answers on station 1's port (" + devices[0] + ") too"),
        std::string::npos)
        << outcome.err;
    const std::vector<nlohmann::json> programmed = events(outcome.out, "controller");
    ASSERT_EQ(programmed.size(), 2u);
    for (const auto& controller : programmed) {
        EXPECT_NE(controller["station"], 2);
        EXPECT_EQ(controller["exitCode"], 0);
    }
}

// A record that cannot be written stops the run before any controller is touched.
TEST_F(ProductionLineTest, AnUnwritableRecordIsReportedBeforeAnyControllerIsTouched) {
    const std::string image = makeImage("app.rom", 0x1000);
    startSimulator(1, {"--model", "alder"});
    const pid_t tarmix = startTarmix(
        {"--headless", "--gang", "--record", "/dev/full", "--port", devices[0], "/p", image});
    const Outcome outcome = finishTarmix(tarmix, 30s);
    EXPECT_EQ(outcome.exitCode, 16) << outcome.err;
    EXPECT_NE(outcome.err.find("no controller was touched"), std::string::npos) << outcome.err;
    stopSimulator();
    EXPECT_NE(flash(1, "alder", 0x1000), sim::MakeImageBytes(kAlderBankA, 0x1000, {}));
}

// The station loop over three unplug/plug cycles programs exactly three controllers: a
// controller that stays on the line is not programmed again.
TEST_F(ProductionLineTest, StationLoopProgramsEachPluggedControllerOnce) {
    const std::string image = makeImage("app.rom", 0x2000);
    startSimulator(1, {"--model", "alder"});
    control("unplug 1");
    ASSERT_TRUE(waitForSimulator({"unplugged 1"}));
    const std::string record = (folder / "loop.jsonl").string();
    const pid_t tarmix = startTarmix({"--headless", "--repeat", "--json", "--record", record,
                                      "--port", devices[0], "/p", image});
    const std::vector<uint8_t> expected = sim::MakeImageBytes(kAlderBankA, 0x2000, {});
    for (size_t cycle = 1; cycle <= 3; ++cycle) {
        control("plug 1");
        ASSERT_TRUE(waitForSimulator({"plugged 1"}));
        ASSERT_TRUE(waitFor([&] { return recordLines(record).size() >= cycle; }, 60s)) << cycle;
        // Still on the line: it stays done.
        std::this_thread::sleep_for(1500ms);
        EXPECT_EQ(recordLines(record).size(), cycle);
        control("unplug 1");
        ASSERT_TRUE(waitForSimulator({"unplugged 1"}));
        EXPECT_EQ(flash(1, "alder", 0x2000), expected) << "controller " << cycle;
        // The next one goes on once the station has seen this one go.
        ASSERT_TRUE(waitFor(
            [&] { return events(testing::readFile(folder / "out"), "removed").size() >= cycle; },
            30s));
    }
    kill(tarmix, SIGINT);
    const Outcome outcome = finishTarmix(tarmix, 30s);
    EXPECT_EQ(outcome.exitCode, 130) << outcome.err;
    const std::vector<nlohmann::json> stations = events(outcome.out, "station");
    ASSERT_EQ(stations.size(), 1u);
    EXPECT_EQ(stations[0]["good"], 3);
    EXPECT_EQ(stations[0]["failed"], 0);
    for (const auto& line : recordLines(record)) EXPECT_EQ(line["exitCode"], 0);
}

}  // namespace
}  // namespace tarmix
