#include "blend/BlendSettings.h"
#include "base/NumberText.h"
#include "base/Paths.h"
#include "whitebalance/WhiteBalance.h"

#include <charconv>
#include <cmath>

namespace brimsal {

namespace {

constexpr double kPercent = kWholeMix;
constexpr double kGammaTenths = 10.0;
// A float printed with 7 significant digits reads back as the decimal the user chose.
constexpr int kSingleDigits = 7;

}  // namespace

// The weights are quotients taken in double and stored as floats; green is what red and blue
// leave, each subtraction rounded to float, so it may sit a hair away from the exact remainder.
float PesoR(const BlendSettings& settings) {
    return static_cast<float>(settings.BWR / kPercent);
}

float PesoB(const BlendSettings& settings) {
    return static_cast<float>(settings.BWB / kPercent);
}

float PesoG(const BlendSettings& settings) {
    const float red = PesoR(settings);
    const float blue = PesoB(settings);
    const float rest = 1.0f - red;
    return rest - blue;
}

float GammaInversa(const BlendSettings& settings) {
    return static_cast<float>(1.0 / (settings.Gamma10 / kGammaTenths));
}

// Raising the exposure by a before the curve multiplies the curve's result by a ^ GammaInversa,
// so the planes (already through the curve) take that multiplier.
double FactorBracketing(const BlendSettings& settings, int b) {
    if (b <= 1) {
        return 1.0;
    }
    const double exposure = std::pow(2.0, (b - 1) * settings.PasoBracketing);
    return std::pow(exposure, static_cast<double>(GammaInversa(settings)));
}

std::string BracketText(int num_bracketing, int bracket_step) {
    if (num_bracketing <= 1) {
        return "NO BRACKETING";
    }
    std::string text = "0";
    for (int i = 2; i <= num_bracketing; ++i) {
        text += " +" + std::to_string((i - 1) * bracket_step);
    }
    return text;
}

std::string GammaNameText(float gamma_inversa) {
    const float gamma = static_cast<float>(1.0 / static_cast<double>(gamma_inversa));
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(gamma),
                                      std::chars_format::general, kSingleDigits);
    return std::string(buffer, result.ptr);
}

std::string OutputBaseName(const BlendSettings& settings, bool salida_bn,
                           const std::string& hhmmss) {
    std::string name = "BR";
    if (salida_bn) {
        name += "_BW";
    }
    name += "_" + hhmmss + "_" + ReemplazarTodo(settings.Profile, " ", "") + "_g" +
            GammaNameText(GammaInversa(settings));
    return name;
}

std::string BracketSuffix(const BlendSettings& settings, int b) {
    if (settings.NumBracketing <= 1) {
        return "";
    }
    const std::string sign = b > 1 ? "+" : "";
    return "_" + sign + NumberText((b - 1) * settings.PasoBracketing, ".") + "EV";
}

std::string FloatSuffix(const BlendSettings& settings) {
    return settings.floatOutput ? "_float" : "";
}

std::vector<double> HeadroomFactors(const std::vector<double>& exp_relativas,
                                    const DevelopScale& scale) {
    std::vector<double> factors = exp_relativas;
    if (scale.headroom) {
        for (double& factor : factors) {
            factor *= scale.factor;
        }
    }
    return factors;
}

}  // namespace brimsal
