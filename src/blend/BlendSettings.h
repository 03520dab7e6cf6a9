// The settings of the "Image blending" frame as one value, and the values derived from them:
// channel-mix weights, the inverse output gamma, the bracket multipliers and read-out, and the
// output file names. The window and brimsal-cli fill BlendSettings; the blend reads only the
// derived values.
#pragma once

#include <string>
#include <vector>

#include "base/SettingRange.h"
#include "develop/DevelopTables.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

// The B&W weights of red, green and blue add up to this many percent.
inline constexpr int kWholeMix = 100;

inline constexpr SettingRange kGammaRange{10, 30, 22};      // hscGamma: output gamma x 10
inline constexpr SettingRange kBWRRange{0, kWholeMix, 33};  // hscBWR: B&W red weight, percent
inline constexpr SettingRange kBWBRange{0, kWholeMix, 33};  // hscBWB: B&W blue weight, percent
inline constexpr SettingRange kBracketNumRange{1, 7, 1};    // hscBracketNum: outputs
inline constexpr SettingRange kBracketEVRange{1, 4, 2};     // hscBracketEV: EV step

struct BlendSettings {
    int BWR = kBWRRange.initial;        // hscBWR: red weight of the B&W mix, percent 0..100
    int BWB = kBWBRange.initial;        // hscBWB: blue weight, percent 0..100; BWR + BWB <= 100
    int Gamma10 = kGammaRange.initial;  // hscGamma: output gamma x 10, 10..30
    bool ETTR = false;                  // chkETTR
    int NumBracketing = kBracketNumRange.initial;   // hscBracketNum: number of outputs, 1..7
    int PasoBracketing = kBracketEVRange.initial;   // hscBracketEV: EV between outputs, 1..4
    std::string Profile = kProfiles[kProfileSRGB];  // cmbProfile's text (blanks dropped in names)
    bool floatOutput = false;  // 32-bit float linear outputs (1.0 = 65535), no clamp
    DevelopScale scale;  // how the set was developed (DevelopScaleOf the development settings)
};

// Weights of the B&W mix, each a float: PesoR = BWR / 100, PesoB = BWB / 100 and
// PesoG = 1 - PesoR - PesoB in float arithmetic (33 and 33 give 0.33999994).
float PesoR(const BlendSettings& settings);
float PesoB(const BlendSettings& settings);
float PesoG(const BlendSettings& settings);

// 1 / (Gamma10 / 10) as a float: 0.45454547 for 22, exactly 1 for 10.
float GammaInversa(const BlendSettings& settings);

// The multiplier of output b (1..NumBracketing): exactly 1 for b = 1, otherwise
// (2 ^ ((b - 1) x PasoBracketing)) ^ GammaInversa in double precision.
double FactorBracketing(const BlendSettings& settings, int b);

// The txtBracket read-out: "NO BRACKETING" for one output, otherwise "0" followed by
// " +" & (i - 1) x step for i = 2..num ("0 +2 +4 +6 +8").
std::string BracketText(int num_bracketing, int bracket_step);

// The gamma as output names carry it: 1 / GammaInversa as a float, at most 7 significant
// digits, no trailing zeros, always a point ("1", "1.8", "2.2", "3").
std::string GammaNameText(float gamma_inversa);

// "BR" + ("_BW" for B&W) + "_" + hhmmss + "_" + profile without blanks + "_g" + gamma.
std::string OutputBaseName(const BlendSettings& settings, bool salida_bn,
                           const std::string& hhmmss);

// The bracket suffix of output b: "" with one output, otherwise "_" + ("+" for b > 1) +
// (b - 1) x PasoBracketing + "EV" ("_0EV", "_+2EV").
std::string BracketSuffix(const BlendSettings& settings, int b);

// What float outputs add to their name after the bracket suffix: "_float" ("" for 16-bit).
std::string FloatSuffix(const BlendSettings& settings);

// The exposure factors of a blend before ETTR: ExpRelativas(i) x F, the headroom development's
// factor, so that the output has the normal development's scale (F = 1 without headroom).
std::vector<double> HeadroomFactors(const std::vector<double>& exp_relativas,
                                    const DevelopScale& scale);

}  // namespace brimsal
