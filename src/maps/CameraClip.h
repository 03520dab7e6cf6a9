// Where a developed pixel is clipped, judged on the camera's channels at given levels.
//
// A development's output channels are its white-balanced camera channels times its colour matrix
// (DevelopScale::colours). With the identity (raw colour, or a camera whose matrix does not mix
// the channels) each output channel is its camera channel and is judged on its own. A matrix that
// mixes them hides a clipped camera channel in the mix, so the camera channels are found again
// through the matrix's inverse; and an output channel dcraw itself clipped (the mix can exceed
// full scale where no camera channel does) makes the pixel clipped as well.
#pragma once

#include <array>
#include <cstdint>

#include "image/ColourMatrix.h"
#include "maps/Thresholds.h"

namespace brimsal {

class CameraClip {
  public:
    // `levels`: camera R, G, B; `colours`: the development's camera-to-output matrix. A matrix
    // that cannot be inverted is taken as the identity.
    explicit CameraClip(const std::array<int32_t, 3>& levels,
                        const ColourMatrix& colours = kIdentityColours);

    // True when the colour matrix mixes the channels.
    bool mixing() const { return mixing_; }
    // Every camera channel of `pixel` (an output R, G, B) at or below its level; mixing, no
    // output channel clipped either.
    bool Within(const uint16_t* pixel) const {
        if (!mixing_) {
            return pixel[0] <= levels_[0] && pixel[1] <= levels_[1] && pixel[2] <= levels_[2];
        }
        double camera[3];
        CameraOf(pixel, camera);
        return camera[0] <= levels_[0] && camera[1] <= levels_[1] && camera[2] <= levels_[2] &&
               pixel[0] <= kOutputCeiling && pixel[1] <= kOutputCeiling &&
               pixel[2] <= kOutputCeiling;
    }
    // A camera channel of `pixel` at or above its level; mixing, or an output channel clipped.
    bool Clipped(const uint16_t* pixel) const {
        if (!mixing_) {
            return pixel[0] >= levels_[0] || pixel[1] >= levels_[1] || pixel[2] >= levels_[2];
        }
        double camera[3];
        CameraOf(pixel, camera);
        return camera[0] >= levels_[0] || camera[1] >= levels_[1] || camera[2] >= levels_[2] ||
               pixel[0] >= kOutputCeiling || pixel[1] >= kOutputCeiling ||
               pixel[2] >= kOutputCeiling;
    }
    // The highest output word a mixing development leaves unclipped for sure (dcraw clips the mix
    // at full scale): the map's highest threshold.
    static constexpr int32_t kOutputCeiling = kMaxThreshold;

  private:
    void CameraOf(const uint16_t* pixel, double camera[3]) const {
        const double output[3] = {double(pixel[0]), double(pixel[1]), double(pixel[2])};
        ApplyColours(to_camera_, output, camera);
    }

    std::array<int32_t, 3> levels_;
    bool mixing_ = false;
    ColourMatrix to_camera_ = kIdentityColours;
};

}  // namespace brimsal
