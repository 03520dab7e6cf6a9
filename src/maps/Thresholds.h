// OptimizarUmbrales: the saturation thresholds of the blending map, per channel, in 16-bit units.
#pragma once

#include <array>
#include <cstdint>

#include "image/Frame.h"
#include "maps/MapSettings.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

// The highest threshold: 256 below full scale.
inline constexpr int32_t kMaxThreshold = kFullScale - 256;

// T = threshold% of 65535 (integer product, then the division in double precision). With Camera
// white balance every channel's threshold is nearest(T); otherwise channel c's is
// nearest(coefficient c * T), the coefficients read from wb.txtWB (a point or the locale's
// decimal separator). Each is then capped at kMaxThreshold. Rounding is half to even.
// A set developed with headroom (settings.scale.headroom) has channel c saturating at
// 65535 x saturation[c]: its threshold is nearest(saturation[c] * T), the same percentage of its
// own saturation, whatever the mode.
// Throws RunTimeError 13 when a coefficient text is not a number, 6 when a threshold overflows
// a 32-bit integer.
std::array<int32_t, 3> OptimizarUmbrales(const MapSettings& settings,
                                         const WhiteBalanceSettings& wb);

// The clip levels of Calc EV per channel: kClipLevel on all three for the normal
// development; for a headroom development the map's thresholds (OptimizarUmbrales), since green
// and blue never reach the fixed level there.
std::array<int32_t, 3> EvClipLevels(const MapSettings& settings, const WhiteBalanceSettings& wb);

// A coefficient text as a number: decimal, a point or the locale's separator, blanks around
// allowed. Throws RunTimeError 13 (type mismatch) otherwise.
double CoefficientFromText(const std::string& text);

}  // namespace brimsal
