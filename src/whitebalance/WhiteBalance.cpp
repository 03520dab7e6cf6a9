#include "whitebalance/WhiteBalance.h"

#include <algorithm>
#include <optional>

#include "base/NumberText.h"
#include "base/Paths.h"
#include "base/UserChannel.h"

namespace brimsal {

std::array<std::string, 3> PresetWBTexts(int row) {
    if (row < 0 || row >= static_cast<int>(kWBPresets.size())) {
        return {};
    }
    const WBPreset& preset = kWBPresets[static_cast<size_t>(row)];
    return {NumberText(preset.red, "."), "1", NumberText(preset.blue, ".")};
}

namespace {

constexpr std::array<const char*, 3> kChannelNames = {"red", "green", "blue"};

// The multiplier a coefficient text holds, when it can be developed with.
std::optional<double> UsableMultiplier(const std::string& text) {
    const std::optional<double> value = NumberFromText(text, ".");
    if (!value || !(*value >= kLeastMultiplier && *value <= kGreatestMultiplier)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string MultiplierProblem(const WhiteBalanceSettings& wb) {
    if (wb.mode == WBMode::kCamera) {
        return "";
    }
    for (size_t c = 0; c < 3; ++c) {
        if (!UsableMultiplier(wb.txtWB[c])) {
            return std::string("The ") + kChannelNames[c] + " white balance multiplier '" +
                   wb.txtWB[c] + "' cannot be developed with: multipliers are numbers from " +
                   NumberText(kLeastMultiplier, ".") + " to " +
                   NumberText(kGreatestMultiplier, ".");
        }
    }
    return "";
}

DevelopScale HeadroomScale(const WhiteBalanceSettings& wb) {
    if (wb.mode == WBMode::kCamera) {
        throw RunTimeError(kErrInvalidArgument,
                           "Headroom development needs fixed white balance multipliers");
    }
    if (const std::string problem = MultiplierProblem(wb); !problem.empty()) {
        throw RunTimeError(kErrInvalidArgument, problem);
    }
    std::array<double, 3> multipliers{};
    for (size_t c = 0; c < 3; ++c) {
        multipliers[c] = *UsableMultiplier(wb.txtWB[c]);
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

std::array<double, 3> ClipColour(const DevelopScale& scale) {
    std::array<double, 3> colour{};
    ApplyColours(scale.colours, scale.saturation.data(), colour.data());
    for (double& share : colour) {
        share = std::min(share, 1.0);
    }
    return colour;
}

void AplicarPresetWB(WhiteBalanceSettings& wb) {
    if (wb.preset < 0 || wb.preset >= static_cast<int>(kWBPresets.size())) {
        return;
    }
    wb.txtWB = PresetWBTexts(wb.preset);
}

void ChooseWBPreset(WhiteBalanceSettings& wb, int row) {
    wb.preset = row;
    AplicarPresetWB(wb);
    wb.mode = WBMode::kPreset;
}

bool ChooseWBMode(WhiteBalanceSettings& wb, WBMode mode, bool& wb_warning_shown) {
    wb.mode = mode;
    if (mode == WBMode::kPreset) {
        AplicarPresetWB(wb);
    }
    if (mode == WBMode::kCamera && !wb_warning_shown) {
        wb_warning_shown = true;
        return true;
    }
    return false;
}

void ClickInTxtWB(WhiteBalanceSettings& wb) {
    bool ignored = true;
    ChooseWBMode(wb, WBMode::kCoeffs, ignored);
}

std::string NormalizeTxtWB(const std::string& text) {
    const std::optional<double> value = NumberFromText(text);
    return value ? NumberText(*value, ".") : text;
}

std::string CoefficientForDisplay(const std::string& text) {
    return ReemplazarTodo(text, ".", DecimalSeparator());
}

std::string CoefficientFromDisplay(const std::string& shown) {
    const std::string separator = DecimalSeparator();
    return separator == "." ? shown : ReemplazarTodo(shown, separator, ".");
}

}  // namespace brimsal
