// The device history record in a real PostgreSQL server that the test starts itself: a
// throw-away cluster in a temporary folder, run by the postgres user when the tests run as
// root (the server refuses root). Two stations write at once; the server goes away and
// comes back during the run, and again between two runs.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "support/line_rig.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::LineRig;
using testing::Outcome;

// The server's programs: the newest installed version's folder, else PATH.
std::string serverProgram(const std::string& name) {
    std::error_code failure;
    std::string best;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", failure))
        if (fs::exists(entry.path() / "bin" / name) && entry.path().string() > best)
            best = entry.path().string();
    return best.empty() ? name : best + "/bin/" + name;
}

// Runs a shell command (as the postgres user when we are root); its output.
std::string run(const std::string& command, int* status = nullptr) {
    const std::string line = (geteuid() == 0 ? "runuser -u postgres -- " : "") + command + " 2>&1";
    std::string output;
    FILE* pipe = popen(line.c_str(), "r");
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int code = pipe ? pclose(pipe) : -1;
    if (status) *status = code;
    return output;
}

class LineDatabaseTest : public LineRig {
  protected:
    void SetUp() override {
        LineRig::SetUp();
        if (geteuid() == 0 && getpwnam("postgres") == nullptr) GTEST_SKIP() << "no postgres user";
        int installed = 0;
        run(serverProgram("initdb") + " --version", &installed);
        if (installed != 0) GTEST_SKIP() << "no PostgreSQL server installed";
        cluster = folder / "pg";
        fs::create_directories(cluster);
        if (geteuid() == 0) {
            const passwd* user = getpwnam("postgres");
            for (const fs::path& path : {folder, cluster})
                ASSERT_EQ(chown(path.c_str(), user->pw_uid, user->pw_gid), 0);
        }
        int status = 0;
        const std::string made =
            run(serverProgram("initdb") + " -A trust -U postgres -D " + (cluster / "data").string(),
                &status);
        ASSERT_EQ(status, 0) << made;
        port = std::to_string(20000 + getpid() % 20000);
        address = "postgresql://postgres@/postgres?host=" + cluster.string() + "&port=" + port;
        startServer();
    }
    void TearDown() override {
        if (!cluster.empty())
            run(serverProgram("pg_ctl") + " -D " + (cluster / "data").string() +
                " -m immediate -w stop");
        LineRig::TearDown();
    }

    void startServer() {
        int status = 0;
        const std::string said =
            run(serverProgram("pg_ctl") + " -D " + (cluster / "data").string() + " -l " +
                    (cluster / "log").string() + " -w -o \"-k " + cluster.string() + " -p " + port +
                    " -c listen_addresses=''\" start",
                &status);
        ASSERT_EQ(status, 0) << said;
    }
    void stopServer() {
        int status = 0;
        const std::string said =
            run(serverProgram("pg_ctl") + " -D " + (cluster / "data").string() + " -m fast -w stop",
                &status);
        ASSERT_EQ(status, 0) << said;
    }
    // How many entries the table holds (and how many distinct ids).
    std::string rows() {
        return run("psql \"" + address +
                   "\" -Atc \"SELECT count(*), count(DISTINCT id) FROM tarmix_record\"");
    }
    size_t controllers(const std::string& out) { return events(out, "controller").size(); }

    // Plugs both controllers, waits until tarmix has handled `total` of them, unplugs them.
    void cycle(size_t total) {
        for (const char* line : {"plug 1", "plug 2"}) control(line);
        ASSERT_TRUE(waitForSimulator({"plugged 1", "plugged 2"}));
        ASSERT_TRUE(
            waitFor([&] { return controllers(testing::readFile(folder / "out")) >= total; }, 60s))
            << testing::readFile(folder / "err");
        for (const char* line : {"unplug 1", "unplug 2"}) control(line);
        ASSERT_TRUE(waitForSimulator({"unplugged 1", "unplugged 2"}));
        ASSERT_TRUE(waitFor(
            [&] { return events(testing::readFile(folder / "out"), "removed").size() >= total; },
            30s));
    }

    fs::path cluster;
    std::string port;
    std::string address;
};

TEST_F(LineDatabaseTest, TwoStationsRecordThroughAServerThatGoesAwayAndComesBack) {
    const std::string image = makeImage("app.rom", 0x1000);
    startSimulator(2, {"--model", "alder"});
    for (const char* line : {"unplug 1", "unplug 2"}) control(line);
    ASSERT_TRUE(waitForSimulator({"unplugged 1", "unplugged 2"}));
    const pid_t tarmix =
        startTarmix({"--headless", "--gang", "--repeat", "--json", "--record", address, "--port",
                     devices[0], "--port", devices[1], "/p", image});
    cycle(2);
    EXPECT_EQ(rows(), "2|2\n");
    stopServer();
    cycle(4);  // these two wait in the spool
    startServer();
    cycle(6);  // and go with these
    EXPECT_TRUE(waitFor([&] { return rows() == "6|6\n"; }, 10s)) << rows();

    // Away at the end of a run: the run says that its lines wait.
    stopServer();
    cycle(8);
    kill(tarmix, SIGINT);
    Outcome outcome = finishTarmix(tarmix, 30s);
    EXPECT_EQ(outcome.exitCode, 130) << outcome.err;
    EXPECT_NE(outcome.err.find("2 line(s) of the record are not in the database yet"),
              std::string::npos)
        << outcome.err;

    // The next run sends them first.
    startServer();
    for (const char* line : {"plug 1", "plug 2"}) control(line);
    ASSERT_TRUE(waitForSimulator({"plugged 1", "plugged 2"}));
    outcome = finishTarmix(startTarmix({"--headless", "--gang", "--record", address, "--port",
                                        devices[0], "--port", devices[1], "/p", image}),
                           60s);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(rows(), "10|10\n");
    outcome = finishTarmix(startTarmix({"--record-summary", address}), 30s);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("app.rom (sha256 "), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("programmed 10, failed 0"), std::string::npos) << outcome.out;
}

}  // namespace
}  // namespace tarmix
