// What the controller answers to the identification commands and to "tell caps".
#include "config/capability.h"
#include "fuzz_input.h"
#include "link/identify.h"

using namespace tarmix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view answer = fuzz::asText(data, size);
    DeviceDescription device;
    isHandshakeAnswer(answer);
    identifyModel(answer, device, "");
    isParallelTestAnswer(answer);
    applyVersion(device, parseVersionAnswer(answer));
    applyDrives(device, parseDrivesAnswer(answer));
    if (const auto caps = ParseCapabilities(std::string(answer))) {
        fuzz::check(caps->size() >= 5 && caps->size() <= 10, "a record holds 5 to 10 values");
        FormatInitCaps(*caps);
    }
    return 0;
}
