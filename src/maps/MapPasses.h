// The two neighbourhood passes of the blending map over a plane of frame indices, and the map
// level of a (possibly fractional) frame index.
//
// Planes are W x H bytes, row-major, y = 0 the top row. Indices run 1..N (1 darkest frame,
// N brightest, 2 <= N <= 255); levels 0..255 (0 = frame N, 255 = frame 1).
//
// Both passes look at the disc of CrearMascaraCircular around each pixel, clipped to the image
// (offsets landing outside the image are ignored). They cost O(r) per pixel, not O(r^2): each
// row of the disc is one chord, so the anti-ghosting minimum is a running minimum along the row
// and the progressive sum a difference of row prefix sums. The naive offset-by-offset loops are
// kept as the reference the fast ones are tested against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brimsal {

class UserChannel;

struct MapPlane {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> data;  // width * height bytes

    MapPlane() = default;
    MapPlane(int w, int h) : width(w), height(h), data(static_cast<size_t>(w) * h, 0) {}
    uint8_t* row(int y) { return data.data() + static_cast<size_t>(y) * width; }
    const uint8_t* row(int y) const { return data.data() + static_cast<size_t>(y) * width; }
    uint8_t& at(int x, int y) { return data[static_cast<size_t>(y) * width + x]; }
    uint8_t at(int x, int y) const { return data[static_cast<size_t>(y) * width + x]; }
};

// The map level of frame index `index` in a set of n frames: nearest((index - n) * 255 /
// (1 - n)), halves to even, in double precision. Frame n is level 0, frame 1 level 255.
uint8_t MapLevel(double index, int n);

// Anti-ghosting pass: every pixel takes the darkest frame (smallest index) found within the disc
// of radius `radius` (>= 1) around it. Shows the progress as "NN%" on the channel, "100%" at the
// end; checks for cancellation per band of rows (throws Cancelled). `threads` 0 = all cores.
MapPlane AntiGhostPass(const MapPlane& indices, int radius, UserChannel& channel, int threads = 0);

// Progressive pass: every pixel takes the map level of the mean frame index over the disc of
// radius `radius` (>= 1) around it, the mean taken over the disc's pixels inside the image.
// Progress and cancellation as above.
MapPlane ProgressivePass(const MapPlane& indices, int n, int radius, UserChannel& channel,
                         int threads = 0);

// The same passes visiting every disc offset of every pixel, column by column: the reference.
MapPlane NaiveAntiGhostPass(const MapPlane& indices, int n, int radius);
MapPlane NaiveProgressivePass(const MapPlane& indices, int n, int radius);

}  // namespace brimsal
