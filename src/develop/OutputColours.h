// The colour matrix of a development, measured: the reference developed twice at half size with
// the same settings, once in raw colour (dcraw's -o 0: the white-balanced camera channels) and
// once as the set is (the output profile), and the matrix that takes the first to the second
// fitted over the pixels dcraw did not clip. dcraw applies one matrix to every pixel, so the fit
// is exact to its rounding whatever the camera; a camera whose matrix does not mix the channels
// gives the identity.
#pragma once

#include <optional>
#include <string>

#include "develop/DevelopSettings.h"
#include "image/ColourMatrix.h"
#include "image/Frame.h"

namespace brimsal {

class UserChannel;

// The matrix taking `camera` (raw colour) to `output` (the same development in the output
// profile), both of one size: least squares over the pixels whose output channels are all
// strictly inside 0..65535, dcraw's truncation allowed for. The identity when every entry lies
// within 1e-3 of it. nullopt when the pixels do not tell a matrix: fewer than 1000 of them, too
// little spread to separate the channels, or a residual above one word (a transform that is no
// matrix, such as an ICC profile).
std::optional<ColourMatrix> FitOutputColours(const Frame& camera, const Frame& output);

// What the measurement came to: the matrix, or why there is none.
struct MeasuredColours {
    std::optional<ColourMatrix> colours;
    std::string failure;  // "dcraw not found", "dcraw ended with exit code 1", ...
};

// The identity without measuring when `settings` develop in raw colour (the last -o of the quick
// line is 0); otherwise the two half-size developments of `raw_path` (run at once in a temporary
// folder of the system's, removed afterwards, so no file beside the RAW files is touched) and
// FitOutputColours. Throws Cancelled when the channel's cancel is asked for meanwhile; the
// channel's progress read-out follows the two runs (RunDcraw).
MeasuredColours MeasureOutputColours(const std::string& raw_path, const DevelopSettings& settings,
                                     UserChannel& channel);

}  // namespace brimsal
