// The settings of Build map, as the window's three scroll bars hold them.
#pragma once

#include "whitebalance/WhiteBalance.h"

namespace brimsal {

struct MapSettings {
    int threshold = 90;   // hscTH: threshold to saturation, percent of full scale, 0..99
    int antighost = 0;    // hscAntiGhost: anti-ghosting radius in pixels, 0..50
    int progressive = 3;  // hscProgressive: progressive blending radius in pixels, 0..50
    DevelopScale scale;   // how the set was developed (DevelopScaleOf the development settings)
};

}  // namespace brimsal
