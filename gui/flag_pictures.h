// The small national flags beside the language radio buttons, drawn rather than loaded so
// they stay sharp at any display scale.
#pragma once

#include <QIcon>

namespace tarmix::gui {

// The flag of a language index (0 German … 11 Lithuanian) as an icon of 24 by 16 logical
// pixels, with pictures for single and double pixel density. A null icon for a language
// without a flag (Italian, which is never offered) or an index outside 0..11.
QIcon flagIcon(int languageIndex);

inline constexpr int kFlagWidth = 24;
inline constexpr int kFlagHeight = 16;

}  // namespace tarmix::gui
