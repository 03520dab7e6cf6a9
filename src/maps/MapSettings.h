// The settings of Build map, as the window's three scroll bars hold them.
#pragma once

#include "base/SettingRange.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

inline constexpr RangoAjuste kRangoTH{0, 99, 90};          // hscTH: map threshold, percent
inline constexpr RangoAjuste kRangoAntiGhost{0, 50, 0};    // hscAntiGhost: radius, pixels
inline constexpr RangoAjuste kRangoProgressive{0, 50, 3};  // hscProgressive: radius, pixels

struct MapSettings {
    int threshold = kRangoTH.inicial;  // hscTH: threshold to saturation, percent of full scale
    int antighost = kRangoAntiGhost.inicial;      // hscAntiGhost: anti-ghosting radius, pixels
    int progressive = kRangoProgressive.inicial;  // hscProgressive: progressive radius, pixels
    DevelopScale scale;  // how the set was developed (DevelopScaleOf the development settings)
};

}  // namespace brimsal
