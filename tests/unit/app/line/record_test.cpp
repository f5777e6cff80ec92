// The device history record file and its summary, and the line's options.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/line/device_record.h"
#include "app/options/command_line.h"
#include "lang/catalog.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

class RecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("tarmix_record_" + std::to_string(getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        record = (folder / "line.jsonl").string();
    }
    void TearDown() override {
        fs::permissions(folder, fs::perms::owner_all);
        fs::remove_all(folder);
    }

    std::vector<std::string> lines() {
        std::vector<std::string> read;
        std::string error;
        EXPECT_TRUE(ReadRecordLines(record, read, error)) << error;
        return read;
    }
    // Whole file: every line ends with a line end and is one JSON object.
    void expectWholeLines() {
        std::ifstream in(record, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        ASSERT_TRUE(text.empty() || text.back() == '\n') << "the file ends inside a line";
        for (const std::string& line : lines())
            ASSERT_TRUE(nlohmann::json::parse(line, nullptr, false).is_object()) << line;
    }
    // A child process that appends `count` lines of about `size` bytes, tagged `tag`.
    pid_t appender(int tag, int count, size_t size) {
        const pid_t child = fork();
        if (child != 0) return child;
        RecordFile file;
        std::string error;
        if (!file.open(record, error)) _exit(2);
        for (int i = 0; i < count; ++i) {
            const std::string line =
                nlohmann::json{{"tag", tag}, {"n", i}, {"fill", std::string(size, char('a' + tag))}}
                    .dump();
            if (!file.append(line, error)) _exit(3);
        }
        _exit(0);
    }

    fs::path folder;
    std::string record;
};

TEST_F(RecordTest, TwoProcessesAppendingAtOnceNeverInterleave) {
    constexpr int kLines = 150;
    const pid_t first = appender(0, kLines, 9000);
    const pid_t second = appender(1, kLines, 9000);
    for (pid_t child : {first, second}) {
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    expectWholeLines();
    std::array<int, 2> next{};
    for (const std::string& text : lines()) {
        const auto line = nlohmann::json::parse(text);
        const int tag = line["tag"];
        EXPECT_EQ(line["n"], next[size_t(tag)]++);  // each writer's lines in its order
        EXPECT_EQ(line["fill"].get<std::string>(), std::string(9000, char('a' + tag)));
    }
    EXPECT_EQ(next, (std::array<int, 2>{kLines, kLines}));
}

TEST_F(RecordTest, AKillMidRunLeavesOnlyWholeLines) {
    const pid_t child = appender(0, 1000000, 20000);
    int waited = 0;
    for (; waited < 30000 && (!fs::exists(record) || fs::file_size(record) < 400000); ++waited)
        usleep(1000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_LT(waited, 30000) << "the appender wrote too little";
    expectWholeLines();
    EXPECT_GE(lines().size(), 20u);
}

TEST_F(RecordTest, ALineTheDiskCannotTakeWholeIsTakenBack) {
    std::ofstream(record) << R"({"earlier":1})"
                          << "\n";
    const uintmax_t before = fs::file_size(record);
    const pid_t child = fork();
    if (child == 0) {
        // The file may grow by 100 bytes only: the write stops in the middle of the line.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(before + 100), rlim_t(before + 100)};
        setrlimit(RLIMIT_FSIZE, &limit);
        RecordFile file;
        std::string error;
        if (!file.open(record, error)) _exit(2);
        _exit(file.append(std::string(300, 'x'), error) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(fs::file_size(record), before);
}

TEST_F(RecordTest, ARecordThatCannotTakeLinesIsRefusedAtOnce) {
    setLanguageIndex(kEnglishLanguage);
    std::string error;
    EXPECT_EQ(OpenRecord("/dev/full", error), nullptr);
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    if (geteuid() != 0) {  // root writes where it likes
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        error.clear();
        EXPECT_EQ(OpenRecord(record, error), nullptr);
        EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    }
    error.clear();
    EXPECT_EQ(OpenRecord((folder / "no" / "such" / "folder.jsonl").string(), error), nullptr);
}

TEST(RecordSummary, CountsPerDayAndImageWithTheReasons) {
    setLanguageIndex(kEnglishLanguage);
    auto entry = [](const char* time, const char* image, int code, const char* message) {
        return nlohmann::json{{"time", time},
                              {"image", image},
                              {"sha256", "0123456789abcdef"},
                              {"exitCode", code},
                              {"meaning", "m" + std::to_string(code)},
                              {"message", message}}
            .dump();
    };
    const std::string summary = SummarizeRecord({
        entry("2026-12-07T23:59:59.000Z", "a.rom", 0, ""),
        entry("2026-12-08T00:00:00.000Z", "a.rom", 0, ""),
        entry("2026-12-08T08:00:00.000Z", "a.rom", 7, "Download error"),
        entry("2026-12-08T09:00:00.000Z", "a.rom", 7, "Download error"),
        entry("2026-12-08T09:30:00.000Z", "b.rom", 9, ""),
        "{broken",
    });
    EXPECT_EQ(summary,
              "2026-12-07  a.rom (sha256 0123456789ab)  programmed 1, failed 0\n"
              "2026-12-08  a.rom (sha256 0123456789ab)  programmed 1, failed 2\n"
              "    2 x 7 m7: Download error\n"
              "2026-12-08  b.rom (sha256 0123456789ab)  programmed 0, failed 1\n"
              "    1 x 9 m9\n"
              "1 lines are not record entries\n");
    // The summary speaks the run's language.
    setLanguageIndex(kGermanLanguage);
    EXPECT_EQ(SummarizeRecord({entry("2026-12-07T23:59:59.000Z", "a.rom", 0, "")}),
              "2026-12-07  a.rom (sha256 0123456789ab)  programmiert 1, fehlgeschlagen 0\n");
}

TEST(LineRules, OptionsAreReadOrRefused) {
    setLanguageIndex(kEnglishLanguage);  // the refusals are checked in English
    const struct {
        std::vector<std::string> arguments;
        std::string error;  // a part of it; empty for none
        bool gang, repeat;
        int baud;
        std::string record;
    } cases[] = {
        {{"--gang", "--port", "a", "--port", "b", "/p", "x.rom"}, "", true, false, 0, ""},
        {{"--repeat", "--baud", "115200", "--record", "r.jsonl"},
         "",
         false,
         true,
         115200,
         "r.jsonl"},
        {{"--baud=230400", "--record=postgresql://u@h/db"},
         "",
         false,
         false,
         230400,
         "postgresql://u@h/db"},
        {{"--baud", "9600"}, "--baud takes", false, false, 0, ""},
        {{"--record"}, "--record needs", false, false, 0, ""},
        {{"--record-summary", "--gang"}, "--record-summary needs", false, false, 0, ""},
    };
    for (const auto& row : cases) {
        const ParsedCommandLine parsed = ParseCommandLine(row.arguments);
        if (!row.error.empty()) {
            EXPECT_NE(parsed.error.find(row.error), std::string::npos) << parsed.error;
            continue;
        }
        EXPECT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.options.line.gang, row.gang);
        EXPECT_EQ(parsed.options.line.repeat, row.repeat);
        EXPECT_EQ(parsed.options.line.baud.value_or(0), row.baud);
        EXPECT_EQ(parsed.options.line.record, row.record);
    }
}

}  // namespace
}  // namespace tarmix
