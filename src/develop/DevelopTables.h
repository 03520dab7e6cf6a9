// The fixed lists of the development settings: combo rows and what each row stands for.
#pragma once

#include <array>

namespace brimsal {

// cmbProfile rows; the row number is dcraw's -o value.
inline constexpr std::array<const char*, 6> kProfiles = {"None",       "sRGB",         "Adobe RGB",
                                                         "Wide Gamut", "ProPhoto RGB", "CIE XYZ"};
inline constexpr int kProfileSRGB = 1;
inline constexpr int kProfileProPhoto = 4;
inline constexpr int kProfileXYZ = 5;

// The output gamma x 10 that choosing a profile sets: ProPhoto 1.8, CIE XYZ 1.0, others 2.2.
constexpr int GammaOfProfile(int profile) {
    return profile == kProfileProPhoto ? 18 : profile == kProfileXYZ ? 10 : 22;
}

// cmbQuality rows; the row number is dcraw's -q value.
inline constexpr std::array<const char*, 4> kDemosaics = {"Bilinear", "VNG", "PPG", "AHD"};
inline constexpr int kDemosaicAHD = 3;

// cmbSat rows. Rows 2..6 put a camera's saturation level into txtSat.
struct SaturationRow {
    const char* caption;
    const char* level;  // "" for rows 0 and 1
};
inline constexpr std::array<SaturationRow, 7> kSaturationRows = {{
    {"DCRAW value", ""},
    {"User value", ""},
    {"Canon 30D", "3398"},
    {"Canon 40D", "13823"},
    {"Canon 50D", "13432"},
    {"Canon 7D ISO1600", "15299"},
    {"Olympus E-510", "3648"},
}};

}  // namespace brimsal
