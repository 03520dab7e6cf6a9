// Every setting a step of the road reads, as one value: the window reads its controls into it
// when a step starts, brimsal-cli fills it from its options, tests build it directly.
#pragma once

#include "blend/BlendSettings.h"
#include "develop/DevelopSettings.h"
#include "maps/MapSettings.h"
#include "maps/RelativeExposure.h"

namespace brimsal {

// Every setting a step reads, as one value.
struct RoadSettings {
    DevelopSettings develop;      // "RAW development", "White balance", "DCRAW command line"
    RelativeExposureSettings ev;  // cmdEVMethod
    MapSettings map;              // hscTH, hscAntiGhost, hscProgressive
    BlendSettings blend;          // "Image blending"; its Profile follows develop.profile
};

}  // namespace brimsal
