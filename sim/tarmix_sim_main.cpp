// tarmix-sim: a simulated controller with a boot monitor, served on a pseudo-terminal.
//
//   tarmix-sim --model KEYWORD [--firmware N] [--link PATH] [--state DIR] [--pace]
//
// Prints the pty's device path on stdout, then serves until SIGINT or SIGTERM, and saves
// the device's state into DIR on the way out.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/controller.h"
#include "sim/pty_server.h"

namespace {

using namespace tarmix;

std::atomic<bool> stopRequested{false};

void requestStop(int) { stopRequested = true; }

struct Options {
    std::string model;
    std::string link;
    std::string state;
    int firmware = -1;
    bool pace = false;
};

const char kUsage[] =
    "usage: tarmix-sim --model KEYWORD [--firmware N] [--link PATH] [--state DIR] [--pace]\n"
    "models:";

void printUsage() {
    std::cerr << kUsage;
    for (const auto& model : sim::allModels()) std::cerr << " \"" << model.keyword << "\"";
    std::cerr << "\n";
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        std::string number;
        if (word == "--model" && value(options.model)) continue;
        if (word == "--link" && value(options.link)) continue;
        if (word == "--state" && value(options.state)) continue;
        if (word == "--pace") {
            options.pace = true;
            continue;
        }
        if (word == "--firmware" && value(number)) {
            char* end = nullptr;
            long version = std::strtol(number.c_str(), &end, 10);
            if (*end || version < 0) {
                std::cerr << "tarmix-sim: --firmware needs a number, not \"" << number << "\"\n";
                return false;
            }
            options.firmware = int(version);
            continue;
        }
        std::cerr << "tarmix-sim: unknown or incomplete option \"" << word << "\"\n";
        return false;
    }
    return true;
}

int serve(const Options& options) {
    const sim::ModelSpec* model = sim::findModel(options.model);
    if (!model) {
        std::cerr << "tarmix-sim: unknown model \"" << options.model << "\"\n";
        printUsage();
        return 2;
    }
    sim::Controller controller(*model, systemClock());
    if (options.firmware >= 0) controller.setFirmware(options.firmware);
    std::string error;
    if (!options.state.empty() && !controller.loadState(options.state, error)) {
        std::cerr << "tarmix-sim: " << error << "\n";
        return 1;
    }
    sim::PtyServer server(controller, options.pace);
    if (!server.start(options.link, error)) {
        std::cerr << "tarmix-sim: " << error << "\n";
        return 1;
    }
    std::cout << server.devicePath() << std::endl;

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGPIPE, SIG_IGN);
    server.run(stopRequested);

    if (!options.state.empty() && !controller.saveState(options.state, error)) {
        std::cerr << "tarmix-sim: " << error << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options) || options.model.empty()) {
        printUsage();
        return 2;
    }
    return serve(options);
}
