#include "app/window/window_view.h"

#include <algorithm>

namespace tarmix {

namespace {

// A share as whole percent, truncated; bounded so that no figure can overflow a text.
int wholePercent(double share) {
    if (!(share > 0)) return 0;  // also refuses NaN
    return static_cast<int>(std::min(share * 100, 99999.0));
}

}  // namespace

int RomBarPercent(const UsageFigures& usage) {
    if (usage.romUsage == 0) return -1;
    return wholePercent(usage.romUsage + usage.ramUsage);
}

int RamBarPercent(const UsageFigures& usage) {
    if (usage.romUsage == 0) return -1;
    if (usage.ramAvailable == 0) return 0;
    return static_cast<int>(uint64_t{usage.ramNeeded} * 100 / usage.ramAvailable);
}

}  // namespace tarmix
