#include <gtest/gtest.h>

#include "link/monitor_exchange.h"
#include "scripted_port.h"

namespace tarmix {
namespace {

using testing::ScriptedPort;
using namespace std::chrono_literals;

class ExchangeTest : public ::testing::Test {
  protected:
    ExchangeTest()
        : serial([this] { return std::unique_ptr<PortBackend>(port = new ScriptedPort(clock)); },
                 clock),
          monitor(serial) {
        serial.Open("COM1");
    }
    // The device answers the next line with `answer` in slices.
    void answerWith(std::string answer, size_t slice = 4096, Millis period = 0ms) {
        port->onWrite = [=, this](const std::string&) { port->trickle(answer, slice, period); };
    }
    VirtualClock clock;
    ScriptedPort* port = nullptr;
    CSerial serial;
    MonitorExchange monitor;
    std::string answer;
};

TEST_F(ExchangeTest, PromptEndsTheAnswerAfterOneSilentCycle) {
    answerWith("tell drives\r\nDrives: 0 0 512\r\nBoot> ");
    EXPECT_TRUE(monitor.SendAndWaitPrompt("tell drives", answer, 2000, 500ms));
    EXPECT_EQ(answer, "tell drives\r\nDrives: 0 0 512\r\nBoot> ");
    EXPECT_EQ(port->written, "tell drives\r");
    EXPECT_EQ(clock.now(), 200ms);  // one cycle brings it, the next is silent
}

TEST_F(ExchangeTest, CollectUntilPromptEndsWhenThePromptArrivesAndNeverAfterItsLimit) {
    struct Case {
        std::string answer;
        size_t slice;
        Millis period;
        bool prompt;
        Millis ended;
    };
    const std::string full = "tell caps\r\n1 0000 0100 0 0 12\r\nBoot> ";
    const Case cases[] = {
        {full, 4096, 0ms, true, 0ms},
        {full, 3, 2ms, true, 24ms},                           // 13 pieces: the last at 24 ms
        {"tell caps\r\n1 0000", 4096, 0ms, false, 100ms},     // no prompt: the limit ends it
        {full, 1, 10ms, false, 100ms},                        // too slow for the limit
        {"tell caps\r\n\r\nBoot>", 4096, 0ms, false, 100ms},  // no blank: not a prompt
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer + " in pieces of " + std::to_string(c.slice));
        const Millis start = clock.now();
        answerWith(c.answer, c.slice, c.period);
        EXPECT_EQ(monitor.CollectUntilPrompt("tell caps", answer, 999, 100ms), c.prompt);
        EXPECT_EQ(clock.now() - start, c.ended);
        if (c.prompt) {
            EXPECT_EQ(answer, c.answer);
        }
        clock.advance(1s);  // what is still on its way goes before the next case
    }
}

TEST_F(ExchangeTest, CollectUntilPromptStopsAtItsCapacity) {
    answerWith(std::string(50, 'x') + "\r\nBoot> ");
    EXPECT_FALSE(monitor.CollectUntilPrompt("dump", answer, 20, 100ms));
    EXPECT_EQ(answer, std::string(20, 'x'));
}

TEST_F(ExchangeTest, AnswerInSlicesEndsOnlyWhenTheLineGoesQuiet) {
    // A prompt inside a longer reply must not end the exchange.
    const std::string text = "dir \"A:\\\"\r\nBoot> x\r\nmore\r\nBoot> ";
    answerWith(text, 5, 100ms);
    EXPECT_TRUE(monitor.SendAndWaitPrompt("dir", answer, 2000, 500ms));
    EXPECT_EQ(answer, text);
}

TEST_F(ExchangeTest, PromptWithoutItsSpaceIsNoPromptAndTheBudgetCountsSilenceOnly) {
    answerWith(std::string(30, 'x') + "\r\nBoot>", 1, 60ms);  // talks for about 2 s
    EXPECT_FALSE(monitor.SendAndWaitPrompt("x", answer, 2000, 500ms));
    EXPECT_EQ(answer.size(), 37u);
    // Five silent cycles after the talking stopped, however long that was.
    EXPECT_GE(clock.now(), 37 * 60ms + 500ms);
    EXPECT_LE(clock.now(), 37 * 60ms + 700ms);
}

TEST_F(ExchangeTest, ReplyLongerThanTheBufferFillsItAndStillFindsThePrompt) {
    answerWith(std::string(3000, 'y'));
    EXPECT_FALSE(monitor.SendAndWaitPrompt("read", answer, 1000, 500ms));
    EXPECT_EQ(answer.size(), 999u);
    answerWith(std::string(991, 'y') + "\r\nBoot> " + "overflow");
    EXPECT_TRUE(monitor.SendAndWaitPrompt("read", answer, 1000, 500ms));
    EXPECT_EQ(answer.size(), 999u);
}

TEST_F(ExchangeTest, FloodingPeerIsBoundedByTheBuffer) {
    answerWith(std::string(100000, 'f'), 1000, 10ms);
    const Millis start = clock.now();
    monitor.SendAndWaitPrompt("x", answer, 2000, 60000ms);
    EXPECT_LE(clock.now() - start, 1000ms);
}

TEST_F(ExchangeTest, OldLeftoversAreDrainedBeforeTheCommand) {
    port->arrive("stale\r\nBoot> ");
    answerWith("tell version\r\nVersion: 30\r\nBoot> ");
    EXPECT_TRUE(
        monitor.SendAndExpect("tell version", "tell version\r\nVersion: ", answer, 1999, 500ms));
}

TEST_F(ExchangeTest, ExpectComparesEchoAndReplyExactly) {
    answerWith("setbaudrate 115200\r\nbaudrate now");
    EXPECT_FALSE(monitor.SendAndExpect("setbaudrate 115200", "setbaudrate 115200\r\nBaudrate now",
                                       answer, 1999, 1000ms));
    answerWith("setbaudrate 115200\r\nBaudrate now 115200");
    EXPECT_TRUE(monitor.SendAndExpect("setbaudrate 115200", "setbaudrate 115200\r\nBaudrate now",
                                      answer, 1999, 1000ms));
}

TEST_F(ExchangeTest, ExpectLongerThanWhatArrivesFailsAfterTheTimeout) {
    answerWith("verify");
    const Millis start = clock.now();
    EXPECT_FALSE(
        monitor.SendAndExpect("verify 1 2 3", "verify 1 2 3\r\no.k.\r\n", answer, 1999, 4000ms));
    EXPECT_EQ(clock.now() - start, 4000ms);
}

TEST_F(ExchangeTest, FailedSendIsNoMatchAndReceivesNothing) {
    port->writeLimit = 0;
    answerWith("x\r\no.k.\r\n");
    EXPECT_FALSE(monitor.SendAndExpect("x", "x", answer, 1999, 500ms));
    EXPECT_EQ(clock.now(), 0ms);
}

TEST_F(ExchangeTest, CollectWaitsTheWholeTimeAndKeepsCapacityMinusOne) {
    answerWith(std::string(1500, 'c'));
    EXPECT_EQ(monitor.CollectAnswer("tree a:", 1000, 100ms).size(), 999u);
    monitor.setTimeFactor(3);
    answerWith("please answer me\r\nhere I am : ");
    const Millis start = clock.now();
    EXPECT_EQ(monitor.CollectAnswer("please answer me", 1000, monitor.scaled(100ms)).size(), 30u);
    EXPECT_EQ(clock.now() - start, 300ms);
}

}  // namespace
}  // namespace tarmix
