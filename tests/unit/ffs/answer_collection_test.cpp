// A device that keeps talking: every file-system answer is taken up to its capacity and no
// further, and nothing of a cut-off answer is used.
#include "ffs/answer_collection.h"

#include <gtest/gtest.h>

#include <functional>

#include "ffs/drive_listing.h"
#include "ffs/fs_commands.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;

// Echoes each command line, then sends a listing's lines at 57600 baud (5.76 characters a
// millisecond) until `talk` characters have gone, echo included, and then the prompt.
class Talker final : public PortBackend {
  public:
    Talker(VirtualClock& clock, size_t talk) : clock_(clock), talk_(talk) {}
    bool open(const std::string&) override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    bool configure(uint32_t) override { return true; }
    long bytesWaiting() override { return long(due() - taken_); }
    long read(uint8_t* data, size_t capacity) override {
        const size_t count = std::min(capacity, due() - taken_);
        for (size_t i = 0; i < count; ++i) data[i] = uint8_t(at(taken_ + i));
        taken_ += count;
        return long(count);
    }
    long write(const uint8_t* data, size_t count, Millis) override {
        line_.append(reinterpret_cast<const char*>(data), count);
        if (!line_.empty() && line_.back() == '\r') {
            echo_ = line_ + "\n";
            line_.clear();
            taken_ = 0;
            from_ = clock_.now();
        }
        return long(count);
    }
    // The next character is at most a millisecond away.
    void waitForInput(Millis timeout) override { clock_.advance(std::min(timeout, Millis{1})); }

  private:
    static constexpr char kLine[] = "DAY1.TXT                 1234 22.10.2002 07:40:22\r\n";
    // The characters sent by now.
    size_t due() const {
        if (echo_.empty()) return 0;
        const size_t sent = size_t((clock_.now() - from_).count()) * 576 / 100 + 1;
        return std::min(sent, talk_ + kMonitorPromptLength);
    }
    char at(size_t i) const {
        if (i < echo_.size()) return echo_[i];
        if (i < talk_) return kLine[(i - echo_.size()) % (sizeof kLine - 1)];
        return kMonitorPrompt[i - talk_];
    }

    VirtualClock& clock_;
    size_t talk_;
    std::string line_, echo_;
    size_t taken_ = 0;
    Millis from_{0};
};

struct Talk {
    VirtualClock clock;
    Talker* port = nullptr;
    CSerial serial;
    MonitorExchange monitor;
    explicit Talk(size_t talk)
        : serial(
              [this, talk] { return std::unique_ptr<PortBackend>(port = new Talker(clock, talk)); },
              clock),
          monitor(serial) {
        serial.Open("COM1");
    }
};

TEST(AnswerCollection, ADeviceThatTalksOnIsCutOffAtTheCapacity) {
    struct Case {
        const char* what;
        size_t capacity;
        std::function<Collected(MonitorExchange&)> run;
    };
    const Case cases[] = {
        {"dir", kListingCapacity,
         [](MonitorExchange& m) { return ReadFolder(m, "A:\\DATA\\").collected; }},
        {"tree", kListingCapacity, [](MonitorExchange& m) { return ReadTree(m, 0).collected; }},
        {"format", kCommandCapacity,
         [](MonitorExchange& m) { return FormatDrive(m, 0).collected; }},
        {"rmdir", kCommandCapacity,
         [](MonitorExchange& m) { return RemoveFolder(m, "A:\\", "LOG").collected; }},
        {"finfo", kCommandCapacity,
         [](MonitorExchange& m) {
             DriveFigures figures;
             return ReadDriveFigures(m, 0, figures) == FiguresRead::TooLong ? Collected::TooLong
                                                                            : Collected::Complete;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Ten megabytes take five hours on the line: far longer than any wait of the program.
        Talk talk(10'000'000);
        EXPECT_EQ(c.run(talk.monitor), Collected::TooLong);
        // The answer is given up once the capacity is passed, at the line's pace.
        EXPECT_LE(talk.clock.now(), Millis(c.capacity * 100 / 576 + 200));
    }
}

TEST(AnswerCollection, AnAnswerOfExactlyTheCapacityIsComplete) {
    for (size_t capacity : {kListingCapacity, kCommandCapacity}) {
        SCOPED_TRACE(capacity);
        const std::string command = "tree a:";
        const CollectionLimits limits{capacity, 10, 300, true, true};
        std::string answer;
        Talk whole(capacity - kMonitorPromptLength);
        EXPECT_EQ(CollectToPrompt(whole.monitor, command, answer, limits), Collected::Complete);
        EXPECT_EQ(answer.size(), capacity);
        Talk over(capacity - kMonitorPromptLength + 1);
        EXPECT_EQ(CollectToPrompt(over.monitor, command, answer, limits), Collected::TooLong);
    }
}

}  // namespace
}  // namespace tarmix
