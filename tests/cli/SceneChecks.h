// Measuring developed pictures of the synthetic scene: means of its flat regions, and the
// statistical tolerance a mean of noisy developed samples deserves.
#pragma once

#include <array>
#include <string>

#include "RadianceTiff.h"
#include "Scene.h"
#include "image/Frame.h"

namespace brimsal::test {

struct Rect {
    int x0, y0, x1, y1;
    long long area() const { return static_cast<long long>(x1 - x0) * (y1 - y0); }
};

// The inside of a flat region, `fraction` of its width and height and at least `pixels` away
// from its edges: free of the demosaic's edge effects and of map transitions.
Rect Inside(const synth::FlatRegion& region, double fraction, int pixels);

// Mean level of each channel over `rect`, each sample first read through `inverse_gamma`'s
// curve back to its linear level (1: the samples as they are).
std::array<double, 3> MeanLevels(const Frame& frame, const Rect& rect, float inverse_gamma = 1.0f);

// Mean radiance of each channel over `rect` of a radiance image.
std::array<double, 3> MeanRadiance(const synth::RadianceImage& image, const Rect& rect);

// Standard error of the mean of a developed channel over `area` pixels whose single samples
// scatter by `sample_sigma`. A demosaiced channel holds one measured photosite in four (red,
// blue) or two (green) pixels, the rest interpolated from those: the mean is worth area / 4
// independent samples at most.
double StandardError(double sample_sigma, long long area);

}  // namespace brimsal::test
