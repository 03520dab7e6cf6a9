// Measuring developed pictures of the synthetic scene: means of its flat regions, and the
// statistical tolerance a mean of noisy developed samples deserves.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

#include "Scene.h"

namespace brimsal::test {

struct Rect {
    int x0, y0, x1, y1;
    long long area() const { return static_cast<long long>(x1 - x0) * (y1 - y0); }
};

// The inside of a flat region, `fraction` of its width and height and at least `pixels` away
// from its edges: free of the demosaic's edge effects and of map transitions.
inline Rect Inside(const synth::FlatRegion& region, double fraction, int pixels) {
    const int mx = std::max(pixels, static_cast<int>((region.x1 - region.x0) * fraction));
    const int my = std::max(pixels, static_cast<int>((region.y1 - region.y0) * fraction));
    return {region.x0 + mx, region.y0 + my, region.x1 - mx, region.y1 - my};
}

// Mean of each channel over `rect` of a Frame or a radiance image, each sample first read back
// through `inverse_gamma`'s curve to its linear level (1: the samples as they are).
template <typename Picture>
std::array<double, 3> MeanLevels(const Picture& picture, const Rect& rect,
                                 float inverse_gamma = 1.0f) {
    const double power = 1.0 / static_cast<double>(inverse_gamma);
    std::array<double, 3> sum{};
    for (int y = rect.y0; y < rect.y1; ++y) {
        for (int x = rect.x0; x < rect.x1; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double level = picture.at(x, y)[c];
                sum[c] += power == 1.0 ? level : 65535.0 * std::pow(level / 65535.0, power);
            }
        }
    }
    for (auto& s : sum) {
        s /= static_cast<double>(rect.area());
    }
    return sum;
}

// Standard error of the mean of a developed channel over `area` pixels whose samples scatter by
// `sample_sigma`: one pixel in four (red, blue) or two (green) is a measured photosite, the rest
// interpolated, so the mean is worth area / 4 independent samples at most.
inline double StandardError(double sample_sigma, long long area) {
    return sample_sigma / std::sqrt(static_cast<double>(area) / 4.0);
}

}  // namespace brimsal::test
