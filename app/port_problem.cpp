#include "app/port_problem.h"

#include "lang/catalog.h"
#include "lang/format_text.h"

namespace tarmix {

namespace {

constexpr int kTextErrorWhileOpen = 60174;  // "Error while open: "
constexpr int kTextNoPermission = 64100;    // "Permission denied for %s. Add your user to …"
constexpr int kTextNoSuchDevice = 64101;    // "%s does not exist."
constexpr int kTextPortInUse = 64102;       // "%s is in use by another program."
constexpr int kTextNotSerial = 64103;       // "%s is not a serial device."
constexpr int kTextCannotOpen = 64400;      // "%s cannot be opened."
constexpr int kTextNotListed = 64401;       // "No serial device stands behind %s."

}  // namespace

std::string DescribeOpenFailure(OpenFailure failure, const std::string& device) {
    switch (failure) {
        case OpenFailure::NoPermission:
            return FormatText(kTextNoPermission, device);
        case OpenFailure::Missing:
            return FormatText(kTextNoSuchDevice, device);
        case OpenFailure::InUse:
            return FormatText(kTextPortInUse, device);
        case OpenFailure::NotATerminal:
            return FormatText(kTextNotSerial, device);
        case OpenFailure::NotListed:
            return FormatText(kTextNotListed, device);
        case OpenFailure::Other:
            return FormatText(kTextCannotOpen, device);
        case OpenFailure::None:
            break;
    }
    return {};
}

std::string OpenErrorText(const std::string& port, const std::string& device, OpenFailure failure) {
    std::string text = LoadText(kTextErrorWhileOpen) + "\n " + port;
    const std::string reason = DescribeOpenFailure(failure, device.empty() ? port : device);
    if (!reason.empty()) text += "\n" + reason;
    return text;
}

}  // namespace tarmix
