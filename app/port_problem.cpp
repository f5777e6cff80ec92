#include "app/port_problem.h"

#include "lang/format_text.h"

namespace tarmix {

namespace {

constexpr int kTextNoPermission = 64100;  // "Permission denied for %s. Add your user to …"
constexpr int kTextNoSuchDevice = 64101;  // "%s does not exist."
constexpr int kTextPortInUse = 64102;     // "%s is in use by another program."
constexpr int kTextNotSerial = 64103;     // "%s is not a serial device."

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
        case OpenFailure::None:
        case OpenFailure::NotListed:
        case OpenFailure::Other:
            break;
    }
    return {};
}

}  // namespace tarmix
