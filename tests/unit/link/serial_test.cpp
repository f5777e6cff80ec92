#include "link/serial.h"

#include <gtest/gtest.h>

#include "scripted_port.h"

namespace tarmix {
namespace {

using testing::ScriptedPort;
using namespace std::chrono_literals;

class SerialTest : public ::testing::Test {
  protected:
    SerialTest()
        : serial([this] { return std::unique_ptr<PortBackend>(port = new ScriptedPort(clock)); },
                 clock) {
        EXPECT_EQ(serial.Open("COM1"), 0);
    }
    VirtualClock clock;
    ScriptedPort* port = nullptr;
    CSerial serial;
};

TEST_F(SerialTest, SendLineCutsAt298CharactersAndEndsWithCarriageReturnOnly) {
    EXPECT_EQ(serial.SendLine(std::string(500, 'x')), 0);
    EXPECT_EQ(port->written, std::string(298, 'x') + "\r");
    port->written.clear();
    EXPECT_EQ(serial.SendLine(""), 0);
    EXPECT_EQ(port->written, "\r");
}

TEST_F(SerialTest, ShortWriteIsAFailure) {
    port->writeLimit = 3;
    EXPECT_EQ(serial.WriteText("please answer me"), 1);
}

TEST_F(SerialTest, ZeroTimeoutLooksOnceAndReturnsWhatThatLookSaw) {
    port->arrive("late", 20ms);
    std::string got;
    EXPECT_EQ(serial.ReceiveText(got, 100, 10, 0ms), 0);
    EXPECT_EQ(got, "");
    EXPECT_EQ(clock.now(), 50ms);
    EXPECT_EQ(serial.ReceiveText(got, 100, 0, 0ms), 0);
    EXPECT_EQ(got, "late");  // it stayed queued
}

TEST_F(SerialTest, ReturnsAsSoonAsTheMinimumIsThere) {
    port->arrive("please answer me\r\nhere I am : ", 130ms);
    std::string got;
    EXPECT_EQ(serial.ReceiveText(got, 999, 30, 1000ms), 0);
    EXPECT_EQ(got.size(), 30u);
    EXPECT_EQ(clock.now(), 130ms);
}

TEST_F(SerialTest, ShortAnswerAfterTheTimeoutIsNotAnError) {
    port->arrive(std::string(20, 'a'), 10ms);
    std::string got;
    EXPECT_EQ(serial.ReceiveText(got, 999, 43, 100ms), 0);
    EXPECT_EQ(got.size(), 20u);
    EXPECT_EQ(clock.now(), 100ms);
}

TEST_F(SerialTest, BytesOfTheLastPeriodWaitForTheNextCall) {
    // The driver is looked at every 50 ms; what comes after the last look stays queued.
    port->arrive("early", 30ms);
    port->arrive("late", 70ms);
    std::string got;
    serial.ReceiveText(got, 999, 999, 100ms);
    EXPECT_EQ(got, "early");
    serial.ReceiveText(got, 999, 0, 0ms);
    EXPECT_EQ(got, "late");
}

TEST_F(SerialTest, FullBufferLeavesTheRestQueuedWithoutTerminator) {
    port->arrive(std::string(2000, 'b'));
    uint8_t buffer[999];
    buffer[998] = 'z';
    size_t count = 0;
    EXPECT_EQ(serial.ReceiveBytes(buffer, 999, count, 999, 100ms), 0);
    EXPECT_EQ(count, 999u);
    EXPECT_EQ(port->bytesWaiting(), 1001);
}

TEST_F(SerialTest, DrainReadsAtMost5000Bytes) {
    port->arrive(std::string(7000, 'c'));
    serial.DrainInput();
    EXPECT_EQ(port->bytesWaiting(), 2000);
}

TEST_F(SerialTest, ReadFailureIsReported) {
    port->arrive("abc");
    port->failReads = true;
    std::string got;
    EXPECT_EQ(serial.ReceiveText(got, 100, 1, 100ms), 1);
    EXPECT_EQ(got, "");
}

TEST_F(SerialTest, ClosedPortFailsEverythingAndKeepsItsName) {
    serial.Close();
    std::string got;
    EXPECT_EQ(serial.portName(), "COM1");
    EXPECT_EQ(serial.Configure(57600), 1);
    EXPECT_EQ(serial.SendLine("tell version"), 1);
    EXPECT_EQ(serial.ReceiveText(got, 10, 1, 100ms), 1);
    EXPECT_EQ(serial.DrainInput(), 1);
    EXPECT_EQ(clock.now(), 0ms);
    EXPECT_EQ(serial.Open(serial.portName()), 0);
    EXPECT_TRUE(serial.IsOpen());
}

TEST(SerialOpen, FailedOpenKeepsThePreviousName) {
    VirtualClock clock;
    bool refuse = false;
    CSerial serial(
        [&] {
            auto port = std::make_unique<ScriptedPort>(clock);
            port->refuseOpen = refuse;
            return port;
        },
        clock);
    ASSERT_EQ(serial.Open("COM2"), 0);
    refuse = true;
    EXPECT_EQ(serial.Open("COM3"), 1);
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(serial.portName(), "COM2");
}

}  // namespace
}  // namespace tarmix
