#include "link/baud_switch.h"

#include <gtest/gtest.h>

#include "scripted_port.h"
#include "support/recording_view.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;
using testing::RecordingView;
using testing::ScriptedPort;

class BaudSwitchTest : public ::testing::Test {
  protected:
    BaudSwitchTest()
        : serial(
              [this] {
                  auto port = std::make_unique<ScriptedPort>(clock);
                  port->onWrite = [this, p = port.get()](const std::string& bytes) {
                      sent += bytes;
                      if (reply) p->arrive(reply(bytes));
                  };
                  ++opens;
                  return port;
              },
              clock),
          monitor(serial) {
        serial.Open("COM1");
    }
    VirtualClock clock;
    std::function<std::string(const std::string&)> reply;
    std::string sent;
    int opens = 0;
    CSerial serial;
    MonitorExchange monitor;
    RecordingView view;
};

TEST_F(BaudSwitchTest, At57600NothingIsSent) {
    BaudSwitch baud(monitor, view, 57600);
    baud.RaiseBaudRate();
    baud.RestoreBaudRate();
    EXPECT_EQ(sent, "");
}

TEST_F(BaudSwitchTest, ConfirmedChangeReopensThePortAndSendsAnEmptyLine) {
    reply = [](const std::string& line) {
        return line == "\r" ? std::string("\r\nBoot> ") : line + "\nBaudrate now 115200 baud";
    };
    BaudSwitch baud(monitor, view, 115200);
    baud.RaiseBaudRate();
    EXPECT_EQ(sent, "setbaudrate 115200\r\r");
    EXPECT_EQ(opens, 2);
    baud.RestoreBaudRate();
    EXPECT_EQ(sent, "setbaudrate 115200\r\rsetbaudrate 57600\r");
    EXPECT_EQ(opens, 3);
    EXPECT_TRUE(view.messages.empty());
}

// A refusal, or an answer that shows the command's CR changed on the line: the rate stays,
// and one empty line ends whatever line the monitor still holds before the next command.
TEST_F(BaudSwitchTest, RefusedChangeSaysSoOnceAndStaysPut) {
    const std::function<std::string(const std::string&)> replies[] = {
        [](const std::string& line) {
            return line == "\r" ? std::string("\r\nBoot> ")
                                : line + "\nUnknown command: setbaudrate\r\nBoot> ";
        },
        [](const std::string& line) {
            return line == "\r" ? std::string("\r\nUnknown command: setbaudrate\r\nBoot> ")
                                : line.substr(0, line.size() - 1) + "\x05";
        },
    };
    for (const auto& answer : replies) {
        sent.clear();
        view.messages.clear();
        reply = answer;
        BaudSwitch baud(monitor, view, 115200);
        baud.RaiseBaudRate();
        EXPECT_EQ(sent, "setbaudrate 115200\r\r");
        EXPECT_EQ(opens, 1);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].icon, MessageIcon::Error);
    }
}

}  // namespace
}  // namespace tarmix
