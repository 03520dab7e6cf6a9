#include "develop/DevelopSettings.h"

#include "base/NumberText.h"

namespace brimsal {

bool HeadroomActive(const DevelopSettings& settings) {
    return settings.headroom && settings.wb.mode != WBMode::kCamera;
}

DevelopScale DevelopScaleOf(const DevelopSettings& settings) {
    return HeadroomActive(settings) ? HeadroomScale(settings.wb) : DevelopScale{};
}

std::string FilterTxtSat(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    return digits;
}

std::string CleanTxtSat(const std::string& text) {
    const std::optional<double> value = NumberFromText(text);
    if (!value) {
        return "";
    }
    return NumberText(RoundHalfEven(*value), ".");
}

void LeaveTxtSat(DevelopSettings& settings) {
    settings.txtSat = CleanTxtSat(settings.txtSat);
    settings.cmbSat = 1;
}

void ChooseSaturationRow(DevelopSettings& settings, int row) {
    if (row < 0 || row >= static_cast<int>(kSaturationRows.size())) {
        return;
    }
    settings.cmbSat = row;
    if (row == 0) {
        settings.txtSat.clear();
    } else if (row >= 2) {
        settings.txtSat = kSaturationRows[static_cast<size_t>(row)].level;
    }
}

std::string CleanTxtDCRAW(const std::string& text) {
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

int ChooseProfile(DevelopSettings& settings, int row) {
    settings.profile = row;
    return GammaOfProfile(row);
}

}  // namespace brimsal
