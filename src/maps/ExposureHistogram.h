// The exposure histogram of the Median method: one band of 128 rows per consecutive pair of the
// exposure set, drawn on a 1024-pixel-wide white picture and saved as a GIF.
//
// Horizontal axis: EV difference of the pair, 0 at x = 0, 125 pixels per EV (each column sums
// 8 bins of 1/1000 EV), up to 8.192 EV at the right edge.
#pragma once

#include <cstdint>
#include <vector>

#include "image/Picture.h"

namespace brimsal {

inline constexpr int kHistogramBins = 8192;
inline constexpr int kBinsPerColumn = 8;
inline constexpr int kHistogramWidth = kHistogramBins / kBinsPerColumn;  // 1024
inline constexpr int kBandHeight = 128;
inline constexpr int kColumnsPerEV = 125;

// The blank picture for a set of n images: 1024 x (n - 1) * 128, white. The height is a 16-bit
// quantity: more than 256 images throw RunTimeError 6 (overflow).
Picture NewHistogramCanvas(int n);

// Draws the band of pair i = band + 2 (band 0 at the top) from its 8192 weighted bins and the
// median bin k: black bars scaled to the band's tallest column (127 pixels), a dotted light-grey
// line at every whole EV, the labels "0EV", "+1EV", ... "+8EV" in black along the top, and the
// median as a red line with its step in EV ("+1EV", "+0.99EV"...) beside it. The bins must not
// all be 0.
void DrawHistogramBand(Picture& canvas, int band, const std::vector<int64_t>& bins, int k);

}  // namespace brimsal
