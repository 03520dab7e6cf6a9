// White-balance modes, the preset table and the multipliers every frame is developed with.
#pragma once

#include <array>
#include <string>

namespace brimsal {

// optWB: the white-balance mode. The index is the option button's.
enum class WBMode { kCamera = 0, kCoeffs = 1, kPreset = 2, kPatch = 3, kTempTint = 4 };

struct WBPreset {
    const char* caption;  // cmbWB row caption
    double red;
    double blue;  // green is always 1
};

// cmbWB rows 0..7.
inline constexpr std::array<WBPreset, 8> kWBPresets = {{
    {"None", 1, 1},
    {"Default (D65)", 2.395443, 1.253807},
    {"Daylight", 2.132483, 1.480864},
    {"Cloudy", 2.336605, 1.334642},
    {"Shade", 2.531894, 1.223749},
    {"Tungsten", 1.392498, 2.375114},
    {"Fluorescent", 1.78344, 1.997113},
    {"Flash", 2.429833, 1.284593},
}};

inline constexpr int kDaylightPreset = 2;

// The white-balance settings as the window holds them: the mode, the preset row and the three
// coefficient texts (txtWB: red, green, blue), which are the single source of the multipliers
// for every mode but Camera.
struct WhiteBalanceSettings {
    WBMode mode = WBMode::kPreset;
    int preset = kDaylightPreset;
    std::array<std::string, 3> txtWB = {"2.132483", "1", "1.480864"};
};

}  // namespace brimsal
