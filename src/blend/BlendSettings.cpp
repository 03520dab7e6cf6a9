#include "blend/BlendSettings.h"
#include "base/NumberText.h"
#include "base/Paths.h"
#include "whitebalance/WhiteBalance.h"

#include <charconv>
#include <cmath>

namespace brimsal {

namespace {

constexpr double kPorCiento = 100.0;
constexpr double kDecimasGamma = 10.0;
// A float printed with 7 significant digits reads back as the decimal the user chose.
constexpr int kDigitosSimple = 7;

}  // namespace

// The weights are quotients taken in double and stored as floats; green is what red and blue
// leave, each subtraction rounded to float, so it may sit a hair away from the exact remainder.
float PesoR(const BlendSettings& settings) {
    return static_cast<float>(settings.BWR / kPorCiento);
}

float PesoB(const BlendSettings& settings) {
    return static_cast<float>(settings.BWB / kPorCiento);
}

float PesoG(const BlendSettings& settings) {
    const float rojo = PesoR(settings);
    const float azul = PesoB(settings);
    const float resto = 1.0f - rojo;
    return resto - azul;
}

float GammaInversa(const BlendSettings& settings) {
    return static_cast<float>(1.0 / (settings.Gamma10 / kDecimasGamma));
}

// Raising the exposure by a before the curve multiplies the curve's result by a ^ GammaInversa,
// so the planes (already through the curve) take that multiplier.
double FactorBracketing(const BlendSettings& settings, int b) {
    if (b <= 1) {
        return 1.0;
    }
    const double exposicion = std::pow(2.0, (b - 1) * settings.PasoBracketing);
    return std::pow(exposicion, static_cast<double>(GammaInversa(settings)));
}

std::string TextoBracket(int num_bracketing, int paso_bracketing) {
    if (num_bracketing <= 1) {
        return "NO BRACKETING";
    }
    std::string texto = "0";
    for (int i = 2; i <= num_bracketing; ++i) {
        texto += " +" + std::to_string((i - 1) * paso_bracketing);
    }
    return texto;
}

std::string TextoGammaNombre(float gamma_inversa) {
    const float gamma = static_cast<float>(1.0 / static_cast<double>(gamma_inversa));
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(gamma),
                                      std::chars_format::general, kDigitosSimple);
    return std::string(buffer, result.ptr);
}

std::string NombreBaseSalida(const BlendSettings& settings, bool salida_bn,
                             const std::string& hhmmss) {
    std::string nombre = "BR";
    if (salida_bn) {
        nombre += "_BW";
    }
    nombre += "_" + hhmmss + "_" + ReemplazarTodo(settings.Perfil, " ", "") + "_g" +
              TextoGammaNombre(GammaInversa(settings));
    return nombre;
}

std::string SufijoBracket(const BlendSettings& settings, int b) {
    if (settings.NumBracketing <= 1) {
        return "";
    }
    const std::string signo = b > 1 ? "+" : "";
    return "_" + signo + TextoNumero((b - 1) * settings.PasoBracketing, ".") + "EV";
}

std::string SufijoFlotante(const BlendSettings& settings) {
    return settings.floatOutput ? "_float" : "";
}

std::vector<double> FactoresHeadroom(const std::vector<double>& exp_relativas,
                                     const DevelopScale& scale) {
    std::vector<double> factores = exp_relativas;
    if (scale.headroom) {
        for (double& factor : factores) {
            factor *= scale.factor;
        }
    }
    return factores;
}

}  // namespace brimsal
