#include "whitebalance/WhiteBalance.h"

#include <algorithm>
#include <optional>

#include "base/NumberText.h"
#include "base/Paths.h"
#include "base/UserChannel.h"

namespace brimsal {

std::array<std::string, 3> TextosPresetWB(int row) {
    if (row < 0 || row >= static_cast<int>(kWBPresets.size())) {
        return {};
    }
    const WBPreset& preset = kWBPresets[static_cast<size_t>(row)];
    return {TextoNumero(preset.red, "."), "1", TextoNumero(preset.blue, ".")};
}

DevelopScale HeadroomScale(const WhiteBalanceSettings& wb) {
    if (wb.mode == WBMode::kCamera) {
        throw RunTimeError(kErrInvalidArgument,
                           "Headroom development needs fixed white balance multipliers");
    }
    std::array<double, 3> multipliers{};
    for (size_t c = 0; c < 3; ++c) {
        const std::optional<double> value = NumeroDeTexto(wb.txtWB[c]);
        if (!value || !(*value > 0)) {
            throw RunTimeError(kErrInvalidArgument,
                               "Headroom development needs positive white balance multipliers");
        }
        multipliers[c] = *value;
    }
    const double largest = *std::max_element(multipliers.begin(), multipliers.end());
    const double smallest = *std::min_element(multipliers.begin(), multipliers.end());
    DevelopScale scale;
    scale.headroom = true;
    scale.factor = largest / smallest;
    for (size_t c = 0; c < 3; ++c) {
        scale.saturation[c] = multipliers[c] / largest;
    }
    return scale;
}

void AplicarPresetWB(WhiteBalanceSettings& wb) {
    if (wb.preset < 0 || wb.preset >= static_cast<int>(kWBPresets.size())) {
        return;
    }
    wb.txtWB = TextosPresetWB(wb.preset);
}

void ElegirPresetWB(WhiteBalanceSettings& wb, int row) {
    wb.preset = row;
    AplicarPresetWB(wb);
    wb.mode = WBMode::kPreset;
}

bool ElegirModoWB(WhiteBalanceSettings& wb, WBMode mode, bool& aviso_wb_mostrado) {
    wb.mode = mode;
    if (mode == WBMode::kPreset) {
        AplicarPresetWB(wb);
    }
    if (mode == WBMode::kCamera && !aviso_wb_mostrado) {
        aviso_wb_mostrado = true;
        return true;
    }
    return false;
}

void ClicEnTxtWB(WhiteBalanceSettings& wb) {
    bool ignored = true;
    ElegirModoWB(wb, WBMode::kCoeffs, ignored);
}

std::string NormalizarTxtWB(const std::string& text) {
    const std::optional<double> value = NumeroDeTexto(text);
    return value ? TextoNumero(*value, ".") : "1";
}

std::string CoefficientForDisplay(const std::string& text) {
    return ReemplazarTodo(text, ".", SeparadorDecimal());
}

std::string CoefficientFromDisplay(const std::string& shown) {
    const std::string separator = SeparadorDecimal();
    return separator == "." ? shown : ReemplazarTodo(shown, separator, ".");
}

}  // namespace brimsal
