#include "link/baud_switch.h"

#include <string>

#include "lang/catalog.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

constexpr size_t kAnswerCapacity = 1999;
constexpr Wait kConfirmWait = Wait::Scaled(Millis{1000});
// The monitor finishes its confirmation before it switches.
constexpr Millis kSwitchPause{200};
// After the empty line the monitor answers with a prompt at the new rate.
constexpr Millis kSettlePause{500};

}  // namespace

BaudSwitch::Outcome BaudSwitch::askForRate(uint32_t rate) {
    const std::string command = "setbaudrate " + std::to_string(rate);
    const std::string expected = command + "\r\nBaudrate now";
    if (!monitor_.SendCommand(command)) return Outcome::LinkFailed;
    std::string answer;
    const Reply reply = monitor_.ReceiveStartingWith(answer, expected, kAnswerCapacity,
                                                     expected.size(), kConfirmWait);
    if (reply.heard == Heard::ReadFailed) return Outcome::LinkFailed;
    if (reply.heard == Heard::Expected) return Outcome::Confirmed;
    // The line may have changed the command's CR: the monitor would still hold its line and
    // run it together with the next command. An empty line ends it.
    monitor_.Answers();
    monitor_.serial().DrainInput();
    view_.showMessage(LoadText(text::kBaudrateChangeError), "", MessageIcon::Error);
    return Outcome::Refused;
}

void BaudSwitch::reopenAt(uint32_t rate) {
    CSerial& serial = monitor_.serial();
    serial.clock().sleep(kSwitchPause);
    serial.Close();
    serial.Open(serial.portName());
    serial.Configure(rate);
}

void BaudSwitch::RaiseBaudRate() {
    if (!raisable()) return;
    const Outcome outcome = askForRate(baudRate_);
    if (outcome == Outcome::Refused) return;
    if (outcome == Outcome::Confirmed) reopenAt(baudRate_);
    CSerial& serial = monitor_.serial();
    serial.SendLine("");
    serial.clock().sleep(kSettlePause);
    serial.DrainInput();
}

bool BaudSwitch::RestoreBaudRate() {
    if (!raisable()) return true;
    monitor_.serial().clock().sleep(kSwitchPause);
    if (askForRate(CSerial::kLinkBaud) != Outcome::Confirmed) return false;
    reopenAt(CSerial::kLinkBaud);
    return true;
}

}  // namespace tarmix
