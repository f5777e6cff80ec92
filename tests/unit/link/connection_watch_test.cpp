// The connection watch on its own: identification of every simulated model, the one-time
// queries, the parallel probe, and how the line is reopened after a failure.
#include "link/connection_watch.h"

#include <gtest/gtest.h>

#include "lang/catalog.h"
#include "models/models.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "unit/app/window/window_bench.h"
#include "unit/link/scripted_port.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;

// The watch with its link, over any port.
struct Watched {
    Watched(VirtualClock& clock, PortFactory factory, std::string lpt = "/nonexistent/lpt1")
        : serial(std::move(factory), clock),
          monitor(serial),
          parallel(lptMap(std::move(lpt))),
          watch(monitor, parallel, device, flags) {
        setLanguageIndex(kEnglishLanguage);
        serial.setObserver(&sent);
    }
    static PortMap lptMap(std::string lpt) {
        PortMap map;
        map.setLpt(std::move(lpt));
        return map;
    }

    testing::SentLines sent;
    CSerial serial;
    MonitorExchange monitor;
    CParallel parallel;
    DeviceDescription device;
    ParallelFlags flags;
    ConnectionWatch watch;
};

// The watch on a simulated controller, connected.
struct WatchBench {
    explicit WatchBench(const std::string& keyword, std::string lpt = "/nonexistent/lpt1")
        : controller(*sim::findModel(keyword), clock),
          link(
              clock, [this] { return std::make_unique<sim::InProcessPort>(controller, clock); },
              std::move(lpt)) {
        link.serial.Open("COM1");
        link.serial.Configure(CSerial::kLinkBaud);
    }
    WatchReport tick() { return link.watch.Tick(false, baudRate, "2MB"); }

    VirtualClock clock;
    sim::Controller controller;
    Watched link;
    int32_t baudRate = 115200;
};

TEST(ConnectionWatch, IdentifiesEverySimulatedModelAsTheModelTableKnowsIt) {
    for (const sim::ModelSpec& model : sim::allModels()) {
        SCOPED_TRACE(model.keyword);
        WatchBench bench(model.keyword);
        const WatchReport report = bench.tick();
        ASSERT_TRUE(report.answered);
        EXPECT_TRUE(report.queriesRan);
        EXPECT_TRUE(bench.link.device.deviceIdentified);
        EXPECT_EQ(bench.link.device.hardwareModel, model.code);
        EXPECT_EQ(report.fields.panel, findModel(model.code)->panelText);
        EXPECT_NE(report.fields.flash, "???");
        EXPECT_NE(bench.link.device.bankA.size(), 1u);  // a real area, not 0..0
        EXPECT_EQ(report.firmwareText, "Firmware version: " + std::to_string(model.firmware));
        EXPECT_FALSE(bench.link.device.allowBaud230400);

        const WatchReport again = bench.tick();
        EXPECT_TRUE(again.answered);
        EXPECT_FALSE(again.queriesRan);
        EXPECT_EQ(bench.link.sent.count("tell version"), 2u);  // two readings that agree
        EXPECT_EQ(bench.link.watch.tickCount(), 2u);
    }
}

TEST(ConnectionWatch, OldMonitorGetsNoDrivesQueryAndOnly57600) {
    WatchBench bench("alder");
    bench.controller.setFirmware(11);
    const WatchReport report = bench.tick();
    EXPECT_EQ(report.firmwareText, "Firmware version: 11");
    EXPECT_EQ(bench.link.sent.count("tell drives"), 0u);
    EXPECT_EQ(report.firstDrive, -1);
    EXPECT_FALSE(bench.link.device.drivesPresent);
    EXPECT_FALSE(bench.link.device.allowBaud115200);
    EXPECT_EQ(bench.baudRate, 57600);
}

TEST(ConnectionWatch, ParallelPortIsOfferedOnlyWhenTheMonitorConfirmsAndLpt1Opens) {
    const auto lpt = std::filesystem::temp_directory_path() / testing::uniqueFolderName("lpt1");
    std::ofstream{lpt};

    WatchBench alder("alder", lpt.string());
    alder.tick();
    EXPECT_TRUE(alder.link.flags.available);
    EXPECT_FALSE(alder.link.flags.open);
    EXPECT_FALSE(alder.link.parallel.IsOpen());  // only probed

    // Switched on at the last connection: switched on again.
    WatchBench reconnected("alder", lpt.string());
    reconnected.link.flags = {true, true};
    reconnected.tick();
    EXPECT_TRUE(reconnected.link.flags.open);
    EXPECT_TRUE(reconnected.link.parallel.IsOpen());

    WatchBench birch("birch", lpt.string());
    birch.link.flags = {true, true};
    birch.tick();
    EXPECT_FALSE(birch.link.flags.available);
    EXPECT_FALSE(birch.link.flags.open);

    WatchBench noDevice("alder", "/nonexistent/lpt1");
    noDevice.tick();
    EXPECT_FALSE(noDevice.link.flags.available);
    std::filesystem::remove(lpt);
}

// A line that never answers. Its port opens the first time, then refuses `refusals` times.
struct SilentLine {
    explicit SilentLine(int refusals, bool failReads = false)
        : refusalsLeft(refusals), link(clock, [this, failReads] {
              auto port = std::make_unique<testing::ScriptedPort>(clock);
              port->failReads = failReads;
              port->acceptOpen = [this](const std::string&) {
                  return ++opens == 1 || refusalsLeft-- <= 0;
              };
              return port;
          }) {}

    VirtualClock clock;
    int refusalsLeft;
    int opens = 0;
    Watched link;
};

TEST(ConnectionWatch, OnlyAFailedLineIsReopenedAndARestartingUsbModelPatiently) {
    struct Case {
        const char* what;
        int32_t model;
        bool usb;
        bool failReads;
        int refusals;  // reopen tries that fail
        bool lineFailed;
        bool reopened;
        int opens;  // the first open included
        Millis took;
    };
    const Case cases[] = {
        {"no answer on a plain port", 1, false, false, 0, false, false, 1, 100ms},
        {"no answer on a USB adapter", 1, true, false, 0, true, true, 2, 100ms},
        {"read error", 11, true, true, 0, true, true, 2, 0ms},
        {"USB model, second try", 11, true, false, 1, true, true, 3, 100ms + 1500ms + 1000ms},
        {"USB model gone", 18, true, false, 99, true, false, 1 + kUsbOpenTries,
         100ms + 1500ms + 4 * 1000ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SilentLine line(c.refusals, c.failReads);
        ASSERT_EQ(line.link.serial.Open("COM2"), 0);
        line.link.device.hardwareModel = c.model;
        line.link.device.deviceIdentified = true;
        int32_t baud = 57600;
        const Millis start = line.clock.now();
        const WatchReport report = line.link.watch.Tick(c.usb, baud, "");
        EXPECT_FALSE(report.answered);
        EXPECT_FALSE(line.link.device.deviceIdentified);
        EXPECT_EQ(report.lineFailed, c.lineFailed);
        EXPECT_EQ(report.reopened, c.reopened);
        EXPECT_EQ(line.opens, c.opens);
        EXPECT_EQ(line.clock.now() - start, c.took);
        EXPECT_EQ(line.link.serial.IsOpen(), !c.lineFailed || c.reopened);
        EXPECT_EQ(line.link.serial.portName(), "COM2");
    }
}

}  // namespace
}  // namespace tarmix
