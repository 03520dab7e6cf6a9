// White-balance modes, the preset table, the multipliers every frame is developed with, and the
// measurement of the multipliers on a neutral patch (CalcularWBPatch).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace brimsal {

class UserChannel;
struct Frame;

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

// The texts a preset row writes into txtWB: red, "1", blue, each in the plain number-to-text
// form with a point. Rows outside 0..7 give three empty texts.
std::array<std::string, 3> TextosPresetWB(int row);

// The white-balance settings as the window holds them: the mode, the preset row and the three
// coefficient texts (txtWB: red, green, blue, held with a point whatever the locale), which are
// the single source of the multipliers for every mode but Camera. The start values are those of the
// Daylight preset.
struct WhiteBalanceSettings {
    WBMode mode = WBMode::kPreset;
    int preset = kDaylightPreset;
    std::array<std::string, 3> txtWB = TextosPresetWB(kDaylightPreset);
};

// How the frames of a set are scaled by their development. The normal development divides the
// multipliers by their smallest, so a channel with a larger multiplier clips before the sensor
// does. The headroom development (dcraw's -H 1 with the same -r multipliers) divides them by
// their largest instead: channel c then saturates at 65535 x saturation[c] (the multiplier over
// the largest), no channel clips before the sensor, and every frame is darker than the normal
// development by `factor`, the largest multiplier over the smallest.
struct DevelopScale {
    bool headroom = false;
    double factor = 1.0;                           // F
    std::array<double, 3> saturation = {1, 1, 1};  // R, G, B, share of 65535
};

// The scale of a headroom development with the multipliers of txtWB (a decimal comma or point).
// Throws RunTimeError 5 in Camera mode (the camera's multipliers are not known beforehand) and
// for a multiplier that is not a positive number.
DevelopScale HeadroomScale(const WhiteBalanceSettings& wb);

// ---- The WB patch ----

// The clip level of the patch: a pixel with a channel above it (square) or at or above it
// (round) is not summed.
inline constexpr int32_t kNivelRecorteParche = 58982;

// The patch drawn on the displayed reference image. The points are fractions 0..1 of the
// displayed picture's width and height, so one patch fits any development of the reference.
// Square: (ParcheX1, ParcheY1) and (ParcheX2, ParcheY2) are opposite corners. Round: the first
// point is the centre, the second a point on the rim.
struct ParcheWB {
    double ParcheX1 = 0;
    double ParcheY1 = 0;
    double ParcheX2 = 0;
    double ParcheY2 = 0;
    bool ParcheCuadrado = true;      // shape: square (start value) or round
    bool ParcheDefinido = false;     // a patch has been drawn
    bool ArrastrandoParche = false;  // a mouse drag is defining the patch
};

// cmdParche: toggles the shape and moves the points so the patch keeps its place (the circle
// circumscribes the square; back to square gives the circle's bounding square through the rim
// point). The first point may leave 0..1.
void CambiarFormaParche(ParcheWB& parche);

// Channel sums of the pixels of a patch that pass its clip rule.
struct SumasCanal {
    int64_t r = 0;
    int64_t g = 0;
    int64_t b = 0;
};

// Sums R, G, B over the patch on `frame`: square patches take every pixel of the rounded
// rectangle whose channels are all <= 58982; round patches take the pixels within the circle
// (radius 1 when the two points coincide) whose channels are all < 58982.
SumasCanal SumarParche(const Frame& frame, const ParcheWB& parche);

// The multipliers that make the summed patch grey: M = the largest sum, coefficient c =
// Redondear(M / S(c) * 1000) / 1000 as plain number text with a point. All sums must be > 0.
std::array<std::string, 3> CoeficientesParche(const SumasCanal& sumas);

// CalcularWBPatch: measures the patch on the neutral quick development of `ruta` (the TIFF
// QuitarExtension(ruta) + ".tiff") and writes the multipliers into `wb.txtWB` (the mode is left
// to the caller). Log: "Calculating WB in patch...", then "DONE". Returns 1 on success; -1 when
// the TIFF cannot be read (fresh log "Error reading tiff file, please try again", "DONE"), when
// a channel sums to nothing ("Impossible to WB patch", "DONE" and an error box), or after an
// unexpected error (the report naming "CalcularWBPatch", then "DONE"). On -1 `wb` is unchanged.
int CalcularWBPatch(const std::string& ruta, const ParcheWB& parche, WhiteBalanceSettings& wb,
                    UserChannel& channel);

}  // namespace brimsal
