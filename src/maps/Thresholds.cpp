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

}  // namespace

double CoefficientFromText(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    std::string clean = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    const std::string separator = DecimalSeparator();
    if (separator != ".") {
        clean = ReemplazarTodo(clean, separator, ".");
    }
    double value = 0;
    const char* begin = clean.data();
    const char* end = begin + clean.size();
    if (!clean.empty() && *begin == '+') {
        ++begin;
    }
    const auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::fixed);
    if (clean.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) {
        throw RunTimeError(kErrTypeMismatch, "Type mismatch");
    }
    return value;
}

std::array<int32_t, 3> OptimizarUmbrales(const MapSettings& settings,
                                         const WhiteBalanceSettings& wb) {
    const double t = static_cast<double>(settings.threshold * kFullScale) / 100;
    std::array<int32_t, 3> thresholds{};
    for (size_t c = 0; c < 3; ++c) {
        double value;
        if (settings.scale.headroom) {
            value = RoundHalfEven(settings.scale.saturation[c] * t);
        } else if (wb.mode == WBMode::kCamera) {
            value = RoundHalfEven(t);
        } else {
            value = RoundHalfEven(CoefficientFromText(wb.txtWB[c]) * t);
        }
        if (value > std::numeric_limits<int32_t>::max() ||
            value < std::numeric_limits<int32_t>::min()) {
            throw RunTimeError(kErrOverflow, "Overflow");
        }
        thresholds[c] = std::min(kMaxThreshold, static_cast<int32_t>(value));
    }
    return thresholds;
}

std::array<int32_t, 3> EvClipLevels(const MapSettings& settings, const WhiteBalanceSettings& wb) {
    if (settings.scale.headroom) {
        return OptimizarUmbrales(settings, wb);
    }
    return {kClipLevel, kClipLevel, kClipLevel};
}

}  // namespace brimsal
