// CalcularExpRelativas: the relative exposure of each image of the sorted exposure set.
//
// Consecutive images i-1 (darker) and i (brighter) are compared on every pixel whose 8
// neighbours lie inside the image and none of whose neighbours is clipped (any channel c at or
// above its clip level, 58982 unless the settings say otherwise) in the brighter image; of such
// a pixel, each channel c is a sample when it lies strictly between 1024 and its clip level in
// both images. With a colour matrix that mixes the channels the clip is judged on the camera's
// channels (CameraClip), the pixel itself must be unclipped too, and a channel is a sample
// strictly between 1024 and dcraw's clip of the mix (CameraClip::kOutputCeiling).
//   Average: E(i) = (sum of darker samples / sum of brighter samples) * E(i-1).
//   Median:  each sample adds the weight 1 + floor(16 b / 65535) to the bin
//            Round(ln(b / a) * 1000 / ln 2) (clamped to 0..8191) of an 8192-bin histogram;
//            k = the first bin whose cumulative weight reaches half the total;
//            E(i) = E(i-1) / 2^(k / 1000). The histograms are drawn and saved as
//            "His_hhmmss.gif" in the reference folder (never over an existing file).
// The log gets one read-out line per image: name, exposure multiple, EV above image 1 and the
// share of samples used.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/ColourMatrix.h"
#include "maps/ExposureSet.h"

namespace brimsal {

class UserChannel;

inline constexpr int kFloorLevel = 1024;  // below this a sample is too noisy

// The smallest exposure step between consecutive frames of a bracket, in EV. Cameras bracket in
// steps of 1/3 EV or more, and a 1/3 EV step measures about 0.32 EV (nominal shutter times such
// as 1/200 and 1/250 s), a little more or less with noise and flicker; frames of one exposure
// measure near 0. Half the smallest step tells the two apart.
inline constexpr double kBracketMinStepEV = 1.0 / 6;

struct RelativeExposureSettings {
    bool average = false;  // MetodoEVPromedio: true Average, false Median (the start value)
    // The clip level of each channel (R, G, B); a set developed with headroom gets the map's
    // thresholds here (EvClipLevels).
    std::array<int32_t, 3> clip = {kClipLevel, kClipLevel, kClipLevel};
    // The development's colour matrix (DevelopScale::colours): one that mixes the channels makes
    // the levels those of the camera's channels (CameraClip).
    ColourMatrix colours = kIdentityColours;
};

// The caption of the method's button: "A" for Average, "M" for Median.
constexpr const char* EVMethodCaption(bool average) {
    return average ? "A" : "M";
}

// Requires the loaded, sorted set (index 1 darkest). Fills set.ExpRelativas (1..N at [0..N-1],
// E(1) = 1; from a failing pair on the entries stay 0). `ruta` is the reference RAW path: the
// histogram goes into its folder.
// A set with consecutive frames less than kBracketMinStepEV apart is not a bracket: after the
// read-out the log says how many steps are that small and the smallest of them, a warning box
// says what a bracket needs, and the run goes on (the result stays 1).
// Returns 1 on success; -1 after an exposure gap error ("Too wide exposure gap" when a pair has
// no sample, "Too narrow exposure gap" in Average when the darker image sums more: log lines,
// "DONE" and an error box naming both files) or an unexpected error (reported as
// "CalcularExpRelativas"). Cancelled (checked per band of rows) is rethrown with no histogram
// written and ExpRelativas as it was before the run.
// Deterministic whatever `threads` (0 = all cores).
int CalcularExpRelativas(const std::string& ruta, const RelativeExposureSettings& settings,
                         ExposureSet& set, UserChannel& channel, int threads = 0);

}  // namespace brimsal
