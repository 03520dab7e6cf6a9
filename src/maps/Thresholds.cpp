#include "maps/Thresholds.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "base/NumberText.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "maps/MapSettings.h"
#include "maps/RelativeExposure.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

namespace {

constexpr int kErrTypeMismatch = 13;
constexpr int32_t kEscala = 65535;

}  // namespace

double CoeficienteDeTexto(const std::string& texto) {
    const auto first = texto.find_first_not_of(" \t");
    const auto last = texto.find_last_not_of(" \t");
    std::string limpio = first == std::string::npos ? "" : texto.substr(first, last - first + 1);
    const std::string separador = SeparadorDecimal();
    if (separador != ".") {
        limpio = ReemplazarTodo(limpio, separador, ".");
    }
    double valor = 0;
    const char* begin = limpio.data();
    const char* end = begin + limpio.size();
    if (!limpio.empty() && *begin == '+') {
        ++begin;
    }
    const auto [ptr, ec] = std::from_chars(begin, end, valor, std::chars_format::fixed);
    if (limpio.empty() || ec != std::errc() || ptr != end || !std::isfinite(valor)) {
        throw RunTimeError(kErrTypeMismatch, "Type mismatch");
    }
    return valor;
}

std::array<int32_t, 3> OptimizarUmbrales(const MapSettings& settings,
                                         const WhiteBalanceSettings& wb) {
    const double t = static_cast<double>(settings.threshold * kEscala) / 100;
    std::array<int32_t, 3> umbrales{};
    for (size_t c = 0; c < 3; ++c) {
        double valor;
        if (settings.scale.headroom) {
            valor = Redondear(settings.scale.saturation[c] * t);
        } else if (wb.mode == WBMode::kCamera) {
            valor = Redondear(t);
        } else {
            valor = Redondear(CoeficienteDeTexto(wb.txtWB[c]) * t);
        }
        if (valor > std::numeric_limits<int32_t>::max() ||
            valor < std::numeric_limits<int32_t>::min()) {
            throw RunTimeError(kErrOverflow, "Overflow");
        }
        umbrales[c] = std::min(kUmbralMaximo, static_cast<int32_t>(valor));
    }
    return umbrales;
}

std::array<int32_t, 3> NivelesRecorteEV(const MapSettings& settings,
                                        const WhiteBalanceSettings& wb) {
    if (settings.scale.headroom) {
        return OptimizarUmbrales(settings, wb);
    }
    return {kNivelRecorte, kNivelRecorte, kNivelRecorte};
}

}  // namespace brimsal
