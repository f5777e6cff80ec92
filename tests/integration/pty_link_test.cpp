// The real path: tarmix-sim serves a pseudo-terminal, CSerial talks to it through termios.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>

#include "app/cli/simulator_launcher.h"
#include "link/monitor_exchange.h"
#include "link/serial.h"
#include "platform/termios_port.h"
#include "support/ask.h"

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

    const std::string hello = testing::Ask(monitor, "please answer me");
    EXPECT_EQ(hello.substr(0, 38), "please answer me\r\nhere I am : ALDER   ");

    // Answers come in pieces: each one is read up to its prompt before the next command, or
    // its tail would be taken for the start of the next answer.
    std::string answer;
    EXPECT_TRUE(monitor.CollectUntilPrompt("tell version", answer, 999, Wait::Fixed(500ms)).ok());
    EXPECT_EQ(answer, "tell version\r\nVersion: 30\r\nBoot> ");
    EXPECT_TRUE(monitor.SendAndWaitPrompt("tell drives", answer, 1999, Wait::Scaled(500ms)).ok());
    EXPECT_EQ(answer, "tell drives\r\nDrives: 1024 64 256\r\nBoot> ");

    // Closing and reopening by the kept name reaches the same device.
    serial.Close();
    ASSERT_EQ(serial.Open(serial.portName()), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    EXPECT_TRUE(monitor.SendAndWaitPrompt("tell version", answer, 1999, Wait::Scaled(500ms)).ok());
}

TEST_F(PtyLinkTest, BaudChangeOverThePseudoTerminal) {
    CSerial serial(termiosPortFactory(map), systemClock());
    ASSERT_EQ(serial.Open("COM1"), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    MonitorExchange monitor(serial);
    std::string answer;
    // The model has no 230400; 115200 it takes.
    EXPECT_TRUE(
        monitor.CollectUntilPrompt("setbaudrate 230400", answer, 999, Wait::Fixed(500ms)).ok());
    EXPECT_EQ(answer, "setbaudrate 230400\r\nBaudrate not supported\r\nBoot> ");
    ASSERT_TRUE(monitor.SendCommand("setbaudrate 115200"));
    const std::string confirmed = "setbaudrate 115200\r\nBaudrate now";
    ASSERT_TRUE(
        monitor.ReceiveStartingWith(answer, confirmed, 1999, confirmed.size(), Wait::Scaled(1000ms))
            .ok());
    EXPECT_FALSE(monitor.SendAndWaitPrompt("tell version", answer, 1999, Wait::Scaled(300ms)).ok());
    systemClock().sleep(200ms);
    serial.Close();
    ASSERT_EQ(serial.Open(serial.portName()), 0);
    ASSERT_EQ(serial.Configure(115200), 0);
    EXPECT_TRUE(monitor.SendAndWaitPrompt("", answer, 1999, Wait::Scaled(500ms))
                    .ok());  // clears the garbage
    EXPECT_TRUE(monitor.SendAndWaitPrompt("tell version", answer, 1999, Wait::Scaled(500ms)).ok());
    EXPECT_EQ(answer, "tell version\r\nVersion: 30\r\nBoot> ");
}

// The monitor's UART runs 8 data bits, no parity, one stop bit, no flow control: a port set
// any other way hears garbage, also at the right rate. (A pseudo-terminal always keeps 8
// data bits and no parity whatever is asked, so only the other settings can differ here.)
TEST_F(PtyLinkTest, ALineInAnotherFormatThan8N1HearsNothingSensible) {
    struct Format {
        const char* what;
        tcflag_t setControl;
        tcflag_t setInput;
        bool answers;
    };
    for (const Format& f : {Format{"8N1", 0, 0, true}, Format{"two stop bits", CSTOPB, 0, false},
                            Format{"hardware flow control", CRTSCTS, 0, false},
                            Format{"XON/XOFF", 0, IXON | IXOFF, false}}) {
        SCOPED_TRACE(f.what);
        const int fd = ::open(simulator.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        termios settings{};
        tcgetattr(fd, &settings);
        cfmakeraw(&settings);
        cfsetspeed(&settings, B57600);
        settings.c_cflag |= f.setControl;
        settings.c_iflag |= f.setInput;
        tcsetattr(fd, TCSANOW, &settings);
        tcflush(fd, TCIOFLUSH);
        ASSERT_EQ(::write(fd, "tell version\r", 13), 13);
        std::string heard;
        for (int i = 0; i < 30 && heard.find("Boot> ") == std::string::npos; ++i) {
            systemClock().sleep(10ms);
            char buffer[256];
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0) heard.append(buffer, size_t(got));
        }
        ::close(fd);
        EXPECT_EQ(heard.find("Version: 30") != std::string::npos, f.answers) << heard;
    }
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
    EXPECT_FALSE(monitor.SendAndWaitPrompt("tell version", got, 1999, Wait::Scaled(500ms)).ok());
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
