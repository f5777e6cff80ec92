#include "sim/fault_injector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>

#include "sim_bench.h"

namespace tarmix::sim {
namespace {

TEST(FaultPlan, ReadsEveryKindAndRefusesWhatIsNotAFault) {
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(
        ParseFaultPlan("drop=0.25,drop-in=0.0005,corrupt=1,corrupt-in=0,cancel=0.5,cancel-in=0.125,"
                       "stall=300@0.5,gone@10,reset@0",
                       plan, error))
        << error;
    EXPECT_EQ(plan.dropOut, 0.25);
    EXPECT_EQ(plan.dropIn, 0.0005);
    EXPECT_EQ(plan.corruptOut, 1.0);
    EXPECT_EQ(plan.cancelOut, 0.5);
    EXPECT_EQ(plan.cancelIn, 0.125);
    EXPECT_EQ(plan.stall, Millis{300});
    EXPECT_EQ(plan.stallChance, 0.5);
    EXPECT_EQ(plan.goneAt, 10u);
    EXPECT_EQ(plan.resetAt, 0u);

    for (const char* bad : {"drop", "drop=", "drop=1.5", "drop=-0.1", "drop=0.1x", "jitter=0.1",
                            "stall=300", "stall=x@0.1", "gone@", "gone@-1", "reset=5", "gone@5,",
                            "cancel=2", "cancel-in", "phase=nowhere", "phase="}) {
        SCOPED_TRACE(bad);
        FaultPlan untouched;
        untouched.dropIn = 0.75;
        EXPECT_FALSE(ParseFaultPlan(bad, untouched, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(untouched.dropIn, 0.75);  // a bad plan changes nothing
    }
}

// The bytes both ways and the log of one run through the injector, the input cut into
// pieces of `piece` bytes.
struct Traffic {
    std::string in, out, log;
};
Traffic runThrough(const char* planText, uint64_t seed, size_t piece) {
    FaultPlan plan;
    std::string error;
    EXPECT_TRUE(ParseFaultPlan(planText, plan, error)) << error;
    std::ostringstream log;
    std::string wire(20000, '\0');
    for (size_t i = 0; i < wire.size(); ++i) wire[i] = char(i * 7 + i / 256);
    Traffic run;
    {
        FaultInjector faults(plan, seed, log);
        for (size_t at = 0; at < wire.size(); at += piece) {
            run.in += faults.receive(std::string_view(wire).substr(at, piece)).bytes;
            run.out += faults.send(std::string_view(wire).substr(at, piece));
        }
    }
    // Each direction keeps its own order; how the two interleave depends on the pieces.
    std::vector<std::string> lines;
    std::istringstream logged(log.str());
    for (std::string line; std::getline(logged, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) run.log += line + "\n";
    return run;
}

TEST(FaultInjector, TheSameSeedInjectsTheSameFaultsHoweverTheBytesArrive) {
    const char* planText =
        "drop=0.001,drop-in=0.001,corrupt=0.001,corrupt-in=0.001,cancel=0.001,cancel-in=0.001,"
        "stall=5@0.1";
    const Traffic first = runThrough(planText, 42, 1);
    const Traffic again = runThrough(planText, 42, 4096);
    EXPECT_FALSE(first.log.empty());
    EXPECT_EQ(first.log, again.log);
    EXPECT_EQ(first.in, again.in);
    EXPECT_EQ(first.out, again.out);
    EXPECT_NE(runThrough(planText, 43, 1).log, first.log);
}

TEST(FaultInjector, EachKindDoesWhatItSaysAndLogsEveryByte) {
    const Traffic dropped = runThrough("drop-in=1", 1, 100);
    EXPECT_TRUE(dropped.in.empty());
    EXPECT_EQ(dropped.out.size(), 20000u);

    const Traffic flipped = runThrough("corrupt=1", 1, 100);
    ASSERT_EQ(flipped.out.size(), 20000u);
    const Traffic clean = runThrough("", 1, 100);
    for (size_t i = 0; i < clean.out.size(); ++i) {
        const unsigned differs = uint8_t(clean.out[i] ^ flipped.out[i]);
        ASSERT_TRUE(differs && !(differs & (differs - 1))) << "byte " << i;  // exactly one bit
    }
    EXPECT_EQ(std::count(flipped.log.begin(), flipped.log.end(), '\n'), 20000);
    EXPECT_TRUE(clean.log.empty());

    // A rate of 0.01 over 20000 bytes: about 200 faults.
    const Traffic some = runThrough("drop=0.01", 7, 100);
    EXPECT_GT(some.out.size(), 19700u);
    EXPECT_LT(some.out.size(), 19900u);
}

// Every "fault KIND A+B bit K" line of a log, as (A, B, K).
std::vector<std::array<uint64_t, 3>> pairsIn(const std::string& log, const std::string& kind) {
    std::vector<std::array<uint64_t, 3>> pairs;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        unsigned long long first = 0, second = 0;
        int bit = 0;
        char name[16] = {};
        if (std::sscanf(line.c_str(), "fault %15s %llu+%llu bit %d", name, &first, &second, &bit) ==
                4 &&
            name == kind)
            pairs.push_back({first, second, uint64_t(bit)});
    }
    return pairs;
}

TEST(FaultInjector, CancellingFlipsLeaveTheSumOfEachPairAsItWas) {
    const Traffic clean = runThrough("", 1, 100);
    for (const auto& [planText, kind] :
         {std::pair{"cancel=0.01", "cancel"}, std::pair{"cancel-in=0.01", "cancel-in"}}) {
        SCOPED_TRACE(planText);
        const Traffic run = runThrough(planText, 9, 37);  // pairs cross the 37-byte pieces
        const std::string& got = std::string(kind) == "cancel" ? run.out : run.in;
        const std::string& sent = std::string(kind) == "cancel" ? clean.out : clean.in;
        ASSERT_EQ(got.size(), sent.size());
        const auto pairs = pairsIn(run.log, kind);
        EXPECT_GT(pairs.size(), 100u);  // about 200 flips asked for
        std::string mended = got;
        for (const auto& [first, second, bit] : pairs) {
            ASSERT_LT(second, first + 16);
            ASSERT_GT(second, first);
            const uint8_t a = uint8_t(got[first]), b = uint8_t(got[second]);
            EXPECT_EQ(a + b, uint8_t(sent[first]) + uint8_t(sent[second])) << first;
            EXPECT_EQ(uint8_t(a ^ sent[first]), 1u << bit);
            EXPECT_EQ(uint8_t(b ^ sent[second]), 1u << bit);
            mended[first] = sent[first];
            mended[second] = sent[second];
        }
        // Besides the pairs, only the flips that found no partner changed a byte.
        size_t single = 0;
        for (size_t i = 0; i < sent.size(); ++i) single += mended[i] != sent[i];
        size_t unpaired = 0;
        for (size_t at = 0; (at = run.log.find(" unpaired\n", at)) != std::string::npos; ++at)
            ++unpaired;
        EXPECT_EQ(single, unpaired);
    }
}

TEST(FaultInjector, ACancellingPartnerIsFoundInTheNextPieceOrTheFlipStaysSingle) {
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(ParseFaultPlan("cancel-in=1", plan, error));
    {
        std::ostringstream log;
        {
            FaultInjector faults(plan, 3, log);
            const std::string first = faults.receive(std::string(1, '\0')).bytes;
            const std::string second = faults.receive(std::string(1, '\xff')).bytes;
            ASSERT_EQ(first.size() + second.size(), 2u);
            EXPECT_EQ(uint8_t(first[0]) + uint8_t(second[0]), 0xff);
            EXPECT_NE(first[0], '\0');
        }
        EXPECT_EQ(pairsIn(log.str(), "cancel-in").size(), 1u) << log.str();
        EXPECT_EQ(log.str().find("unpaired"), std::string::npos) << log.str();
    }
    std::ostringstream log;
    {
        // Sixteen equal bytes: no partner for the first flip; the 17th byte starts anew.
        FaultInjector faults(plan, 3, log);
        const std::string got = faults.receive(std::string(17, '\0')).bytes;
        EXPECT_NE(got[0], '\0');
        EXPECT_EQ(got.substr(1, 15), std::string(15, '\0'));
        EXPECT_NE(got[16], '\0');
    }
    const std::string logged = log.str();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 2) << logged;
    EXPECT_EQ(logged.find("fault cancel-in 0 bit "), 0u) << logged;
    EXPECT_NE(logged.find("fault cancel-in 16 bit "), std::string::npos) << logged;
}

TEST(FaultInjector, TheLineGoesOrTheDeviceRestartsOnceAfterNBytes) {
    for (const auto& [planText, event] :
         {std::pair{"gone@1500", FaultInjector::LineEvent::kGone},
          std::pair{"reset@1500", FaultInjector::LineEvent::kReset}}) {
        SCOPED_TRACE(planText);
        FaultPlan plan;
        std::string error;
        ASSERT_TRUE(ParseFaultPlan(planText, plan, error));
        std::ostringstream log;
        FaultInjector faults(plan, 1, log);
        EXPECT_EQ(faults.receive(std::string(1000, 'a')).event, FaultInjector::LineEvent::kNone);
        const FaultInjector::Inbound at = faults.receive(std::string(1000, 'b'));
        EXPECT_EQ(at.bytes, std::string(500, 'b'));
        EXPECT_EQ(at.event, event);
        const FaultInjector::Inbound after = faults.receive("more");
        EXPECT_EQ(after.event, FaultInjector::LineEvent::kNone);
        EXPECT_EQ(after.bytes, event == FaultInjector::LineEvent::kReset ? "more" : "");
        EXPECT_NE(log.str().find(" in 1500\n"), std::string::npos) << log.str();
    }
}

// A stall holds the answer to a command line only: a CR in binary data is no line end.
TEST(FaultInjector, AStallComesOnlyAtTheEndOfACommandLine) {
    const std::pair<std::string, bool> cases[] = {
        {"tell caps\r", true},
        {"burn 00110000 00000fa0 0001e240\r", true},
        {std::string("\x01\xfe\r", 3), false},  // block data
        {"ab\x80\r", false},                    // a line with a byte no command holds
        {"\r", false},                          // an empty line
        {"\x01\rtell drives\r", true},          // the next line after binary data counts
    };
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(ParseFaultPlan("stall=100@1", plan, error));
    for (const auto& [input, stalls] : cases) {
        std::ostringstream log;
        FaultInjector faults(plan, 1, log);
        EXPECT_EQ(faults.receive(input).stall, stalls) << input;
    }
}

// An aimed fault flips one bit in its phase, the first time the program enters it: in the
// answer after the command's echo, in the echo itself, or in the block the program sends.
TEST(FaultInjector, APhaseFaultFlipsOneByteOfItsPhaseOnce) {
    struct Case {
        const char* phase;
        std::string command;
        bool hits;
    };
    const Case cases[] = {
        {"caps", "tell caps", true},
        {"identification", "please answer me", true},
        {"erase", "flash erase application 00110000 001fffff", true},
        {"echo", "burn 00110000 00000fa0 0001e240", true},
        {"address", "geteepromdata 00000100 00000f00", true},
        {"listing", "dir", true},
        {"restart", "reset", true},
        {"eeprom", "seteepromdata 00000100 00000f00", true},
        {"caps", "tell capsule", false},  // another command
        {"listing", "tell caps", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        FaultPlan plan;
        std::string error;
        ASSERT_TRUE(ParseFaultPlan(std::string("phase=") + c.phase, plan, error)) << error;
        const bool inbound = std::string(c.phase) == "eeprom";
        const std::string answer = c.command + "\r\n" + std::string(4000, 'x');
        for (uint64_t seed = 1; seed <= 20; ++seed) {
            std::ostringstream log;
            FaultInjector faults(plan, seed, log);
            std::string got;
            for (int round = 0; round < 2; ++round) {  // the second time the phase is clean
                faults.receive(c.command + "\r");
                got += inbound ? faults.receive(answer).bytes : faults.send(answer);
            }
            size_t changed = 0, at = 0;
            for (size_t i = 0; i < got.size(); ++i)
                if (got[i] != answer[i % answer.size()]) ++changed, at = i;
            ASSERT_EQ(changed, c.hits ? 1u : 0u) << log.str();
            if (!c.hits) continue;
            const size_t echo = c.command.size() + 2;
            // The echo phase is the echo; the answers come after it.
            if (!inbound) {
                EXPECT_EQ(at < echo, std::string(c.phase) == "echo") << at;
            }
        }
    }
}

TEST(SimController, APowerCycleLosesRamAndTheLineButKeepsTheFlash) {
    Bench bench("alder");
    const std::vector<uint8_t> bytes{1, 2, 3, 4};
    bench.controller.memory().store(bench.model().ram.start, bytes);
    bench.controller.memory().store(bench.model().applicationStart, bytes);
    bench.controller.setUartBaud(115200);
    bench.serial.WriteText("tell ver");  // half a command line
    bench.controller.powerCycle();

    EXPECT_EQ(bench.controller.uartBaud(), 57600u);
    EXPECT_EQ(bench.controller.memory().read(bench.model().ram.start, 4),
              std::vector<uint8_t>(4, 0));
    EXPECT_EQ(bench.controller.memory().read(bench.model().applicationStart, 4), bytes);
    EXPECT_EQ(bench.untilPrompt(), "\r\nBoot> ");
    EXPECT_EQ(bench.collect("tell drives").substr(0, 20), "tell drives\r\nDrives:");
}

}  // namespace
}  // namespace tarmix::sim
