// A device that keeps talking: every file-system answer is taken up to its capacity and no
// further, and nothing of a cut-off answer is used.
#include "ffs/answer_collection.h"

#include <gtest/gtest.h>

#include <functional>

#include "ffs/drive_listing.h"
#include "ffs/fs_commands.h"
#include "unit/link/scripted_port.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;

// Answers each command line with its echo and `talk` characters of listing lines at 57600
// baud (576 characters every 100 ms), then the prompt.
struct Talker {
    explicit Talker(size_t talk, std::function<std::string(std::string)> echo = {})
        : serial(
              [this] {
                  return std::unique_ptr<PortBackend>(port = new testing::ScriptedPort(clock));
              },
              clock),
          monitor(serial) {
        serial.Open("COM1");
        port->onWrite = [this, talk, echo](const std::string& line) {
            std::string text = line.substr(0, line.size() - 1);
            text = (echo ? echo(text) : text) + "\r\n";
            while (text.size() < talk)
                text += "DAY1.TXT                 1234 22.10.2002 07:40:22\r\n";
            port->trickle(text.substr(0, talk) + kMonitorPrompt, 576, 100ms);
        };
    }
    VirtualClock clock;
    testing::ScriptedPort* port = nullptr;
    CSerial serial;
    MonitorExchange monitor;
};

TEST(AnswerCollection, ADeviceThatTalksOnIsCutOffAtTheCapacity) {
    struct Case {
        const char* what;
        size_t capacity;
        std::function<bool(MonitorExchange&)> tooLong;
    };
    const Case cases[] = {
        {"dir", kListingCapacity,
         [](MonitorExchange& m) { return ReadFolder(m, "A:\\").collected == Collected::TooLong; }},
        {"tree", kListingCapacity,
         [](MonitorExchange& m) { return ReadTree(m, 0).collected == Collected::TooLong; }},
        {"format", kCommandCapacity,
         [](MonitorExchange& m) { return FormatDrive(m, 0).collected == Collected::TooLong; }},
        {"rmdir", kCommandCapacity,
         [](MonitorExchange& m) {
             return RemoveFolder(m, "A:\\", "LOG").collected == Collected::TooLong;
         }},
        {"finfo", kCommandCapacity,
         [](MonitorExchange& m) {
             DriveFigures figures;
             return ReadDriveFigures(m, 0, figures) == FiguresRead::TooLong;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A megabyte takes three minutes on the line; the answer is given up at the capacity.
        Talker talker(1'000'000);
        EXPECT_TRUE(c.tooLong(talker.monitor));
        EXPECT_LE(talker.clock.now(), Millis(c.capacity / 576 * 100 + 300));
    }
}

TEST(AnswerCollection, AnAnswerOfExactlyTheCapacityIsComplete) {
    for (size_t capacity : {kListingCapacity, kCommandCapacity}) {
        SCOPED_TRACE(capacity);
        const CollectionLimits limits{capacity, 10, 300, true, true};
        std::string answer;
        Talker whole(capacity - kMonitorPromptLength), over(capacity - kMonitorPromptLength + 1);
        EXPECT_EQ(CollectToPrompt(whole.monitor, "tree a:", answer, limits), Collected::Complete);
        EXPECT_EQ(answer.size(), capacity);
        EXPECT_EQ(CollectToPrompt(over.monitor, "tree a:", answer, limits), Collected::TooLong);
    }
}

// A command the line changed, or one lost in a restart, is answered by what the device made
// of it: such an answer ends with the prompt but is never taken as the listing asked for.
TEST(AnswerCollection, AnAnswerWithoutTheCommandsEchoIsNotTaken) {
    const std::function<std::string(std::string)> echoes[] = {
        [](std::string command) { return command.replace(5, 1, "b"); },  // "tree b:"
        [](std::string) { return std::string(); },  // a restart: only "\r\nBoot> " follows
    };
    for (const auto& echo : echoes) {
        Talker talker(300, echo);
        const TreeListing tree = ReadTree(talker.monitor, 0);
        EXPECT_EQ(tree.collected, Collected::NotEchoed);
        EXPECT_EQ(tree.parse.folders.size(), 1u);  // the root only
        EXPECT_EQ(ReadFolder(talker.monitor, "A:\\").collected, Collected::NotEchoed);
    }
}

}  // namespace
}  // namespace tarmix
