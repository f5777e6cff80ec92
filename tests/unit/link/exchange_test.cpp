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

TEST(Wait, EachRuleAppliesTheTimeFactorItsWay) {
    struct Case {
        Wait wait;
        uint32_t factor;
        Millis expected;
    };
    const Case cases[] = {
        {Wait::Fixed(100ms), 1, 100ms},
        {Wait::Fixed(100ms), 5, 100ms},
        {Wait::Scaled(100ms), 1, 100ms},
        {Wait::Scaled(100ms), 5, 500ms},
        {Wait::Damped(2000ms), 1, 2000ms},
        {Wait::Damped(2000ms), 2, 2000ms},
        {Wait::Damped(2000ms), 3, 4000ms},
        {Wait::Damped(2000ms), 7, 6000ms},
        {Wait::DampedAndScaled(2000ms), 1, 2000ms},
        {Wait::DampedAndScaled(2000ms), 3, 12000ms},
        {Wait::Scaled(1000ms).Plus(9ms), 1, 1009ms},
        {Wait::Scaled(1000ms).Plus(9ms), 4, 4009ms},
    };
    for (const Case& c : cases) EXPECT_EQ(c.wait.Under(c.factor), c.expected) << c.factor;
}

TEST_F(ExchangeTest, PromptEndsTheAnswerAfterOneSilentCycle) {
    answerWith("tell drives\r\nDrives: 0 0 512\r\nBoot> ");
    const Reply reply = monitor.SendAndWaitPrompt("tell drives", answer, 1999, Wait::Scaled(500ms));
    EXPECT_EQ(reply.heard, Heard::Prompt);
    EXPECT_EQ(reply.received, answer.size());
    EXPECT_EQ(answer, "tell drives\r\nDrives: 0 0 512\r\nBoot> ");
    EXPECT_EQ(port->written, "tell drives\r");
    EXPECT_EQ(clock.now(), 200ms);  // one cycle brings it, the next is silent
}

TEST_F(ExchangeTest, CollectUntilPromptEndsWhenThePromptArrivesAndNeverAfterItsLimit) {
    struct Case {
        std::string answer;
        size_t slice;
        Millis period;
        Heard heard;
        Millis ended;
    };
    const std::string full = "tell caps\r\n1 0000 0100 0 0 12\r\nBoot> ";
    const Case cases[] = {
        {full, 4096, 0ms, Heard::Prompt, 0ms},
        {full, 3, 2ms, Heard::Prompt, 24ms},  // 13 pieces: the last at 24 ms
        {"tell caps\r\n1 0000", 4096, 0ms, Heard::TooLittle,
         100ms},                                   // no prompt: the limit ends it
        {full, 1, 10ms, Heard::TooLittle, 100ms},  // too slow for the limit
        {"tell caps\r\n\r\nBoot>", 4096, 0ms, Heard::TooLittle, 100ms},  // no blank: not a prompt
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer + " in pieces of " + std::to_string(c.slice));
        const Millis start = clock.now();
        answerWith(c.answer, c.slice, c.period);
        EXPECT_EQ(monitor.CollectUntilPrompt("tell caps", answer, 999, Wait::Scaled(100ms)).heard,
                  c.heard);
        EXPECT_EQ(clock.now() - start, c.ended);
        if (c.heard == Heard::Prompt) {
            EXPECT_EQ(answer, c.answer);
        }
        clock.advance(1s);  // what is still on its way goes before the next case
    }
}

TEST_F(ExchangeTest, CapacityIsTheBytesKeptInEveryForm) {
    const std::string flood = std::string(50, 'x') + "\r\nBoot> ";
    answerWith(flood);
    EXPECT_EQ(monitor.CollectUntilPrompt("dump", answer, 20, Wait::Scaled(100ms)).heard,
              Heard::Full);
    EXPECT_EQ(answer, std::string(20, 'x'));
    answerWith(flood);
    EXPECT_EQ(monitor.SendAndWaitPrompt("dump", answer, 20, Wait::Scaled(500ms)).heard,
              Heard::Full);
    EXPECT_EQ(answer.size(), 20u);
    answerWith(flood);
    EXPECT_EQ(monitor.CollectAnswer("dump", answer, 20, Wait::Scaled(100ms)).received, 20u);
    answerWith(flood);
    monitor.SendCommand("dump");
    answer.clear();
    EXPECT_EQ(monitor.ReceiveUntilSilent(answer, 20, Wait::Scaled(100ms)).received, 20u);
}

TEST_F(ExchangeTest, AnswerInSlicesEndsOnlyWhenTheLineGoesQuiet) {
    // A prompt inside a longer reply must not end the exchange.
    const std::string text = "dir \"A:\\\"\r\nBoot> x\r\nmore\r\nBoot> ";
    answerWith(text, 5, 100ms);
    EXPECT_TRUE(monitor.SendAndWaitPrompt("dir", answer, 1999, Wait::Scaled(500ms)).ok());
    EXPECT_EQ(answer, text);
}

TEST_F(ExchangeTest, PromptWithoutItsSpaceIsNoPromptAndTheBudgetCountsSilenceOnly) {
    answerWith(std::string(30, 'x') + "\r\nBoot>", 1, 60ms);  // talks for about 2 s
    EXPECT_EQ(monitor.SendAndWaitPrompt("x", answer, 1999, Wait::Scaled(500ms)).heard,
              Heard::TooLittle);
    EXPECT_EQ(answer.size(), 37u);
    // Five silent cycles after the talking stopped, however long that was.
    EXPECT_GE(clock.now(), 37 * 60ms + 500ms);
    EXPECT_LE(clock.now(), 37 * 60ms + 700ms);
}

TEST_F(ExchangeTest, TheSilenceBudgetAndItsCyclesGrowWithTheTimeFactor) {
    monitor.setTimeFactor(3);
    answerWith("x\r\n");
    EXPECT_FALSE(monitor.SendAndWaitPrompt("x", answer, 1999, Wait::Scaled(500ms)).ok());
    EXPECT_EQ(clock.now(), 6 * 300ms);  // the cycle that brought it, then five silent ones
}

TEST_F(ExchangeTest, ReplyLongerThanTheBufferFillsItAndStillFindsThePrompt) {
    answerWith(std::string(3000, 'y'));
    EXPECT_FALSE(monitor.SendAndWaitPrompt("read", answer, 999, Wait::Scaled(500ms)).ok());
    EXPECT_EQ(answer.size(), 999u);
    answerWith(std::string(991, 'y') + "\r\nBoot> " + "overflow");
    EXPECT_TRUE(monitor.SendAndWaitPrompt("read", answer, 999, Wait::Scaled(500ms)).ok());
    EXPECT_EQ(answer.size(), 999u);
}

TEST_F(ExchangeTest, FloodingPeerIsBoundedByTheBuffer) {
    answerWith(std::string(100000, 'f'), 1000, 10ms);
    const Millis start = clock.now();
    monitor.SendAndWaitPrompt("x", answer, 1999, Wait::Scaled(60000ms));
    EXPECT_LE(clock.now() - start, 1000ms);
}

TEST_F(ExchangeTest, OldLeftoversAreDrainedBeforeTheCommand) {
    port->arrive("stale\r\nBoot> ");
    answerWith("tell version\r\nVersion: 30\r\nBoot> ");
    ASSERT_TRUE(monitor.SendCommand("tell version"));
    const std::string expected = "tell version\r\nVersion: ";
    EXPECT_EQ(
        monitor.ReceiveStartingWith(answer, expected, 1999, expected.size(), Wait::Scaled(500ms))
            .heard,
        Heard::Expected);
}

TEST_F(ExchangeTest, StartingWithComparesEchoAndReplyExactlyAndWaitsNoLongerThanItsTime) {
    struct Case {
        std::string arrives;
        Heard heard;
        Millis took;
    };
    const std::string expected = "setbaudrate 115200\r\nBaudrate now";
    const Case cases[] = {
        {"setbaudrate 115200\r\nBaudrate now 115200", Heard::Expected, 0ms},
        {"setbaudrate 115200\r\nbaudrate now", Heard::Other, 0ms},
        {"setbaudrate", Heard::TooLittle, 1000ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arrives);
        const Millis start = clock.now();
        port->arrive(c.arrives);
        EXPECT_EQ(
            monitor
                .ReceiveStartingWith(answer, expected, 1999, expected.size(), Wait::Scaled(1000ms))
                .heard,
            c.heard);
        EXPECT_EQ(clock.now() - start, c.took);
    }
}

TEST_F(ExchangeTest, FailedSendReceivesNothingAndSaysSo) {
    port->writeLimit = 0;
    answerWith("x\r\no.k.\r\n");
    EXPECT_EQ(monitor.CollectUntilPrompt("x", answer, 1999, Wait::Scaled(500ms)).heard,
              Heard::SendFailed);
    EXPECT_EQ(clock.now(), 0ms);
}

TEST_F(ExchangeTest, CollectAnswerWaitsTheWholeScaledTime) {
    monitor.setTimeFactor(3);
    answerWith("please answer me\r\nhere I am : ");
    const Reply reply = monitor.CollectAnswer("please answer me", answer, 999, Wait::Scaled(100ms));
    EXPECT_EQ(reply.received, 30u);
    EXPECT_EQ(clock.now(), 300ms);
}

TEST_F(ExchangeTest, SilenceIsBorneAfterEveryPieceWhereALimitCoversTheWholeAnswer) {
    const std::string text = "read\r\n" + std::string(20, 'r') + "\r\nBoot> ";
    answerWith(text, 4, 80ms);
    monitor.SendCommand("read");
    answer.clear();
    EXPECT_EQ(monitor.ReceiveUntilSilent(answer, 999, Wait::Scaled(100ms)).heard, Heard::Prompt);
    EXPECT_EQ(answer, text);
    clock.advance(1s);
    answerWith(text, 4, 80ms);
    monitor.SendCommand("read");
    answer.clear();
    EXPECT_EQ(monitor.ReceiveUntilPrompt(answer, 999, Wait::Scaled(100ms)).received, 8u);
}

TEST_F(ExchangeTest, ReadingAtLeastKeepsTheSurplusAndExactlyTakesNoMore) {
    port->arrive("O.K.\r\nBoot> ");
    std::string taken;
    EXPECT_TRUE(monitor.ReceiveAtLeast(taken, 4, 0x10000, Wait::Scaled(100ms)).ok());
    EXPECT_EQ(taken, "O.K.\r\nBoot> ");
    uint8_t bytes[4] = {};
    port->arrive("abcdef");
    const Reply exact = monitor.ReceiveExactly(bytes, 4, Wait::Scaled(100ms));
    EXPECT_EQ(exact.heard, Heard::Expected);
    EXPECT_EQ(port->bytesWaiting(), 2);
    EXPECT_EQ(monitor.ReceiveExactly(bytes, 4, Wait::Scaled(100ms)).received, 2u);
}

TEST_F(ExchangeTest, DrainEndsOnceALookBringsNothingOrFailsWhenTheLineNeverQuietens) {
    port->trickle(std::string(30, 'e'), 10, 50ms);
    EXPECT_TRUE(monitor.DrainUntilQuiet(Wait::Fixed(100ms), Wait::Scaled(1000ms)));
    EXPECT_EQ(port->bytesWaiting(), 0);
    port->trickle(std::string(100, 'e'), 1, 50ms);
    EXPECT_FALSE(monitor.DrainUntilQuiet(Wait::Fixed(100ms), Wait::Scaled(1000ms)));
}

}  // namespace
}  // namespace tarmix
