// The settings file in any of its encodings, then the checks the window applies.
#include "app/settings.h"
#include "fuzz_input.h"

using namespace tarmix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Settings settings;
    ParseSettings(fuzz::asText(data, size), settings);
    CheckSettingValues(settings);
    fuzz::check(
        settings.baudRate == 57600 || settings.baudRate == 115200 || settings.baudRate == 230400,
        "a checked baud rate is one the window offers");
    return 0;
}
