// ETTR (expose to the right): the correction that brings the brightest value of the darkest
// frame to 65535, applied to the exposure factors of one blend.
#pragma once

#include <cstdint>
#include <vector>

#include "image/Frame.h"

namespace brimsal {

class UserChannel;

// The channel-mix weights of a B&W output (floats, as the settings derive them).
struct PesosMezcla {
    float r = 0;
    float g = 0;
    float b = 0;
};

// M: the brightest value of `darkest`. Colour output: the largest R, G or B word; B&W output:
// the mix PesoR x R + PesoG x G + PesoB x B (double precision from the float weights) rounded
// half to even. 0 for an all-black frame.
int64_t EttrBrightest(const Frame& darkest, bool salida_bn, const PesosMezcla& weights,
                      int threads = 0);

// The ETTR step: logs "\nCalculating ETTR correction...", then, with M the brightest value of
// `darkest` times `scale` (the darkest frame's value on the output's scale: F for a headroom
// development, whose frames are F times darker, 1 otherwise):
//  - M >= 65535: "Already clipped highlights", `factors` unchanged;
//  - M = 0 (nothing to scale by): "No highlights to correct", `factors` unchanged;
//  - otherwise "Histogram correction by +" & Round(C x 1000) / 1000 & "EV" with
//    C = ln(65535 / M) / ln 2, and factors(i) = exp_relativas(i) x 65535 / M.
void EttrCorrection(const Frame& darkest, bool salida_bn, const PesosMezcla& weights,
                    const std::vector<double>& exp_relativas, std::vector<double>& factors,
                    UserChannel& channel, int threads = 0, double scale = 1.0);

}  // namespace brimsal
