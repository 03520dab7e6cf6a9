// The settings of Build map, as the window's three scroll bars hold them.
#pragma once

#include "base/SettingRange.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

inline constexpr SettingRange kThresholdRange{0, 99, 90};   // hscTH: map threshold, percent
inline constexpr SettingRange kAntiGhostRange{0, 50, 0};    // hscAntiGhost: radius, pixels
inline constexpr SettingRange kProgressiveRange{0, 50, 3};  // hscProgressive: radius, pixels

struct MapSettings {
    int threshold =
        kThresholdRange.initial;  // hscTH: threshold to saturation, percent of full scale
    int antighost = kAntiGhostRange.initial;      // hscAntiGhost: anti-ghosting radius, pixels
    int progressive = kProgressiveRange.initial;  // hscProgressive: progressive radius, pixels
    DevelopScale scale;  // how the set was developed (DevelopScaleOf the development settings)
};

}  // namespace brimsal
