// The real path: tarmix-sim serves a pseudo-terminal, CSerial talks to it through termios.
#include <gtest/gtest.h>

#include <fstream>

#include "app/simulator_launcher.h"
#include "link/monitor_exchange.h"
#include "link/serial.h"
#include "platform/termios_port.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;

class PtyLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        simulator.setExecutable(TARMIX_SIM_PATH);
        std::string error;
        ASSERT_TRUE(simulator.start("alder", {}, error)) << error;
        map.setCom(0, {simulator.devicePath(), false});
    }
    PortMap map;
    SimulatorLauncher simulator;
};

TEST_F(PtyLinkTest, ThreeExchangesOverARealPseudoTerminal) {
    CSerial serial(termiosPortFactory(map), systemClock());
    ASSERT_EQ(serial.Open("COM1"), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    MonitorExchange monitor(serial);

    const std::string hello = monitor.CollectAnswer("please answer me", 1000, 100ms);
    EXPECT_EQ(hello.substr(0, 38), "please answer me\r\nhere I am : ALDER   ");

    std::string answer;
    EXPECT_TRUE(
        monitor.SendAndExpect("tell version", "tell version\r\nVersion: ", answer, 1999, 500ms));
    EXPECT_TRUE(monitor.SendAndWaitPrompt("tell drives", answer, 2000, 500ms));
    EXPECT_EQ(answer, "tell drives\r\nDrives: 1024 64 256\r\nBoot> ");

    // Closing and reopening by the kept name reaches the same device.
    serial.Close();
    ASSERT_EQ(serial.Open(serial.portName()), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    EXPECT_TRUE(monitor.SendAndWaitPrompt("tell version", answer, 2000, 500ms));
}

TEST_F(PtyLinkTest, BaudChangeOverThePseudoTerminal) {
    CSerial serial(termiosPortFactory(map), systemClock());
    ASSERT_EQ(serial.Open("COM1"), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    MonitorExchange monitor(serial);
    std::string answer;
    ASSERT_TRUE(monitor.SendAndExpect("setbaudrate 230400", "setbaudrate 230400\r\nBaudrate now",
                                      answer, 1999, 1000ms));
    EXPECT_FALSE(monitor.SendAndWaitPrompt("tell version", answer, 2000, 300ms));
    systemClock().sleep(200ms);
    serial.Close();
    ASSERT_EQ(serial.Open(serial.portName()), 0);
    ASSERT_EQ(serial.Configure(230400), 0);
    EXPECT_TRUE(monitor.SendAndWaitPrompt("", answer, 2000, 500ms));  // clears the garbage
    EXPECT_TRUE(monitor.SendAndWaitPrompt("tell version", answer, 2000, 500ms));
    EXPECT_EQ(answer, "tell version\r\nVersion: 30\r\nBoot> ");
}

TEST_F(PtyLinkTest, SecondOpenOfTheSamePortIsRefused) {
    CSerial first(termiosPortFactory(map), systemClock());
    CSerial second(termiosPortFactory(map), systemClock());
    ASSERT_EQ(first.Open("COM1"), 0);
    EXPECT_EQ(second.Open("COM1"), 1);
}

TEST_F(PtyLinkTest, VanishingPeerEndsTheReadWithAFailureInsteadOfHanging) {
    CSerial serial(termiosPortFactory(map), systemClock());
    ASSERT_EQ(serial.Open("COM1"), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    simulator.stop();
    const Millis start = systemClock().now();
    std::string got;
    EXPECT_EQ(serial.ReceiveText(got, 999, 999, 2000ms), 1);
    EXPECT_LT(systemClock().now() - start, 2100ms);
    MonitorExchange monitor(serial);
    EXPECT_FALSE(monitor.SendAndWaitPrompt("tell version", got, 2000, 500ms));
}

TEST(PortOpen, PathsThatAreNoSerialDeviceAreRefused) {
    const std::string plainFile = ::testing::TempDir() + "/not-a-tty";
    std::ofstream(plainFile) << "x";
    PortMap map;
    map.setCom(0, {plainFile, false});
    map.setCom(1, {"/nonexistent/ttyX", false});
    CSerial serial(termiosPortFactory(map), systemClock());
    EXPECT_EQ(serial.Open("COM1"), 1);
    EXPECT_EQ(serial.Open("COM2"), 1);
    EXPECT_EQ(serial.Open("COM3"), 1);  // not listed at all
    EXPECT_EQ(serial.Open("/dev/null"), 1);
}

}  // namespace
}  // namespace tarmix
