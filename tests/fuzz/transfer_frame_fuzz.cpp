// What a device sends after "file dump": the size line, the frames announced by "Z", and
// the prompt. An upload replaces the PC file only when every frame checked out and the
// frames add up to the announced size; otherwise the old file stays as it was.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ffs/file_transfer.h"
#include "fuzz_input.h"
#include "support/recording_view.h"
#include "unit/link/scripted_port.h"

using namespace tarmix;
namespace fs = std::filesystem;

namespace {

constexpr char kOldContents[] = "the older copy";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const fs::path& folder() {
    static const fs::path path =
        fs::temp_directory_path() / ("tarmix-frame-fuzz-" + std::to_string(getpid()));
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fs::remove_all(folder());
    fs::create_directories(folder());
    const fs::path target = folder() / "LOG.BIN";
    std::ofstream(target, std::ios::binary) << kOldContents;

    VirtualClock clock;
    auto* port = new testing::ScriptedPort(clock);
    CSerial serial([port] { return std::unique_ptr<PortBackend>(port); }, clock);
    serial.Open("COM1");
    MonitorExchange monitor(serial);
    const std::string device(fuzz::asText(data, size));
    bool sent = false;
    port->onWrite = [&](const std::string& bytes) {
        if (!sent && bytes.rfind("file dump", 0) == 0) {
            port->arrive(bytes.substr(0, bytes.size() - 1) + device);
            sent = true;
        }
    };
    testing::RecordingView view;
    DeviceDescription description;
    description.driveSizes = {1024, 64, 256};
    bool ask = false;
    FileTransfer transfer({monitor, view, description, ask, {}});
    const TransferResult result = transfer.Upload(target.string(), "A:\\LOG.BIN");

    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder())) files += entry.is_regular_file();
    fuzz::check(files == 1, "no file is left beside the target");
    if (result != TransferResult::Copied)
        fuzz::check(readFile(target) == kOldContents, "a failed upload keeps the old file");
    return 0;
}
