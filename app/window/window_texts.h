// Catalogue entries the main window shows in more than one place.
#pragma once

namespace tarmix {

inline constexpr int kTextCompare = 60100;            // "Compare"
inline constexpr int kTextTransmit = 60480;           // "Transmit"
inline constexpr int kTextStart = 60440;              // "Start"
inline constexpr int kTextStop = 60441;               // "Stop"
inline constexpr int kTextUnknown = 60490;            // "<unknown>"
inline constexpr int kTextConnectionAborted = 60120;  // "Connection aborted"
inline constexpr int kTextShowTerminal = 60420;       // "Show terminal"
inline constexpr int kTextHideTerminal = 60290;       // "Hide terminal"

}  // namespace tarmix
