// White-balance modes, the preset table and the multipliers every frame is developed with, the
// reactions of the white-balance controls, and how a development with them scales the frames.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/SettingRange.h"
#include "image/ColourMatrix.h"

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

// The texts a preset row writes into txtWB: red, "1", blue, each in the plain number-to-text
// form with a point. Rows outside 0..7 give three empty texts.
std::array<std::string, 3> PresetWBTexts(int row);

// The white-balance settings as the window holds them: the mode, the preset row and the three
// coefficient texts (txtWB: red, green, blue, held with a point whatever the locale), which are
// the single source of the multipliers for every mode but Camera. The start values are those of the
// Daylight preset.
struct WhiteBalanceSettings {
    WBMode mode = WBMode::kPreset;
    int preset = kDaylightPreset;
    std::array<std::string, 3> txtWB = PresetWBTexts(kDaylightPreset);
};

// How the frames of a set are scaled by their development. The normal development divides the
// multipliers by their smallest, so a channel with a larger multiplier clips before the sensor
// does. The headroom development (dcraw's -H 1 with the same -r multipliers) divides them by
// their largest instead: camera channel c then saturates at 65535 x saturation[c] (the
// multiplier over the largest), no channel clips before the sensor, and every frame is darker
// than the normal development by `factor`, the largest multiplier over the smallest.
// The output channels are the white-balanced camera channels times `colours`, dcraw's matrix to
// the output profile: the identity in raw colour or when the camera's matrix does not mix the
// channels (then each output channel saturates at its own level); measured for a headroom
// development (MeasureOutputColours), since a matrix that mixes them hides a clipped camera
// channel in the mix.
struct DevelopScale {
    bool headroom = false;
    double factor = 1.0;                           // F
    std::array<double, 3> saturation = {1, 1, 1};  // camera R, G, B, share of 65535
    ColourMatrix colours = kIdentityColours;       // camera to output channels
};

// The output a pixel whose camera channels all saturate develops to, per output channel as a
// share of 65535 (at most 1: dcraw clips the output there): `colours` x `saturation`.
std::array<double, 3> ClipColour(const DevelopScale& scale);

// The range a white-balance multiplier must lie in to be developed with. Multipliers are gains
// relative to each other (dcraw divides them by their smallest, or by their largest with
// headroom): a camera's presets lie between 1 and 3, a patch measured under odd light within
// about 0.1..10. Three orders of magnitude either side of unity leave a factor of 100 beyond any
// of these, while keeping out what only a slip gives: 0 or a value that dcraw's single-precision
// float reads as 0 (1e-320), infinities, and ratios that would leave a channel below one
// 16-bit level.
inline constexpr double kLeastMultiplier = 1e-3;
inline constexpr double kGreatestMultiplier = 1e3;

// Whether the multipliers of `wb` can be developed with: "" when they can (always in Camera
// mode, where the camera's own are used), else why not, naming the first coefficient box
// (red, green, blue) whose text is not a number from kLeastMultiplier to kGreatestMultiplier.
// The text is read with a point or a decimal comma.
std::string MultiplierProblem(const WhiteBalanceSettings& wb);

// The scale of a headroom development with the multipliers of txtWB (a decimal comma or point).
// Throws RunTimeError 5 in Camera mode (the camera's multipliers are not known beforehand) and
// with MultiplierProblem's message for multipliers that cannot be developed with.
DevelopScale HeadroomScale(const WhiteBalanceSettings& wb);

// The warning the first choice of the Camera mode shows (once per run).
inline constexpr const char* kCameraWBWarning =
    "For proper results Brimsal requires all images to be processed using the same "
    "WB coefficients so if WB changes in any of the shots, e.g. because 'Auto WB' "
    "was used, this development option is not recommended\n\n"
    "(This message will not pop up again during this session)";

// AplicarPresetWB: writes red, "1" and blue of the preset row `wb.preset` into txtWB; a row
// outside 0..7 writes nothing.
void AplicarPresetWB(WhiteBalanceSettings& wb);
// cmbWB click: stores the row, applies the preset and selects the Preset mode.
void ChooseWBPreset(WhiteBalanceSettings& wb, int row);
// optWB click: selects `mode`; Preset writes the preset row's values again. Returns true when
// the Camera warning (kCameraWBWarning) is due: the first Camera choice of the run, which sets
// `wb_warning_shown` (AvisoWBMostrado).
bool ChooseWBMode(WhiteBalanceSettings& wb, WBMode mode, bool& wb_warning_shown);
// txtWB click: clicking into a coefficient box selects the Coeffs mode; the values stay.
void ClickInTxtWB(WhiteBalanceSettings& wb);

// txtWB on leaving: a number becomes its plain text form (2.50 -> 2.5; 2,500 -> 2.5); any other
// text stays as typed, for the box to show it is not a multiplier (MultiplierProblem says why).
// There is no range check. Coefficient texts are held with a
// point, as dcraw reads them; only the boxes show the locale's separator.
std::string NormalizeTxtWB(const std::string& text);
// A held coefficient text as its box shows it: the point as the locale's decimal separator.
std::string CoefficientForDisplay(const std::string& text);
// What a box shows, held again: the locale's decimal separator as a point.
std::string CoefficientFromDisplay(const std::string& shown);

inline constexpr SettingRange kTempRange{0, 100, 50};  // hscTemp: not read by processing
inline constexpr SettingRange kTintRange{0, 100, 50};  // hscTint: not read by processing

}  // namespace brimsal
