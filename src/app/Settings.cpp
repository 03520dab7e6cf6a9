#include "app/Settings.h"

#include <charconv>
#include <cmath>

#include "app/Misc.h"

namespace brimsal {

bool HeadroomActive(const DevelopSettings& settings) {
    return settings.headroom && settings.wb.mode != WBMode::kCamera;
}

DevelopScale DevelopScaleOf(const DevelopSettings& settings) {
    return HeadroomActive(settings) ? HeadroomScale(settings.wb) : DevelopScale{};
}

std::string FiltrarTxtSat(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    return digits;
}

std::string LimpiarTxtSat(const std::string& text) {
    const std::optional<double> value = NumeroDeTexto(text);
    if (!value) {
        return "";
    }
    return TextoNumero(Redondear(*value), ".");
}

void SalirDeTxtSat(DevelopSettings& settings) {
    settings.txtSat = LimpiarTxtSat(settings.txtSat);
    settings.cmbSat = 1;
}

void ElegirFilaSat(DevelopSettings& settings, int row) {
    if (row < 0 || row >= static_cast<int>(kFilasSaturacion.size())) {
        return;
    }
    settings.cmbSat = row;
    if (row == 0) {
        settings.txtSat.clear();
    } else if (row >= 2) {
        settings.txtSat = kFilasSaturacion[static_cast<size_t>(row)].level;
    }
}

std::string LimpiarTxtDCRAW(const std::string& text) {
    std::string clean;
    bool blank_pending = false;
    for (char c : text) {
        if (c == ' ') {
            blank_pending = !clean.empty();
            continue;
        }
        if (blank_pending) {
            clean += ' ';
            blank_pending = false;
        }
        clean += c;
    }
    return clean;
}

int ElegirPerfil(DevelopSettings& settings, int row) {
    settings.profile = row;
    return GammaDePerfil(row);
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

std::optional<double> NumeroDeTexto(const std::string& text, std::string_view decimal_separator) {
    size_t begin = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    if (begin == std::string::npos) {
        return std::nullopt;
    }
    std::string number = text.substr(begin, last - begin + 1);
    if (!decimal_separator.empty() && decimal_separator != "." && decimal_separator != ",") {
        number = ReemplazarTodo(number, std::string(decimal_separator), ",");
    }
    // A decimal comma reads as a point; a text with both is not a plain number.
    const size_t comma = number.find(',');
    if (comma != std::string::npos) {
        if (number.find(',', comma + 1) != std::string::npos ||
            number.find('.') != std::string::npos) {
            return std::nullopt;
        }
        number[comma] = '.';
    }
    // from_chars takes no "+" sign, and reads "inf" and "nan", which are not numbers here.
    size_t start = number[0] == '+' ? 1 : 0;
    if (start == 1 && number.size() > 1 && number[1] == '-') {
        return std::nullopt;
    }
    double value = 0;
    const char* end = number.data() + number.size();
    const auto result = std::from_chars(number.data() + start, end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> NumeroDeTexto(const std::string& text) {
    return NumeroDeTexto(text, SeparadorDecimal());
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
