#include "SceneChecks.h"

#include <algorithm>
#include <cmath>

namespace brimsal::test {

namespace {

constexpr double kPixelsPerIndependentSample = 4.0;

}  // namespace

Rect Inside(const synth::FlatRegion& region, double fraction, int pixels) {
    const int mx = std::max(pixels, static_cast<int>((region.x1 - region.x0) * fraction));
    const int my = std::max(pixels, static_cast<int>((region.y1 - region.y0) * fraction));
    return {region.x0 + mx, region.y0 + my, region.x1 - mx, region.y1 - my};
}

std::array<double, 3> MeanLevels(const Frame& frame, const Rect& rect, float inverse_gamma) {
    std::array<double, 3> sum{};
    for (int y = rect.y0; y < rect.y1; ++y) {
        for (int x = rect.x0; x < rect.x1; ++x) {
            const uint16_t* p = frame.at(x, y);
            for (int c = 0; c < 3; ++c) {
                sum[c] += inverse_gamma == 1.0f
                              ? p[c]
                              : 65535.0 * std::pow(p[c] / 65535.0,
                                                   1.0 / static_cast<double>(inverse_gamma));
            }
        }
    }
    for (auto& s : sum) {
        s /= static_cast<double>(rect.area());
    }
    return sum;
}

std::array<double, 3> MeanRadiance(const synth::RadianceImage& image, const Rect& rect) {
    std::array<double, 3> sum{};
    for (int y = rect.y0; y < rect.y1; ++y) {
        for (int x = rect.x0; x < rect.x1; ++x) {
            const float* p = image.at(x, y);
            for (int c = 0; c < 3; ++c) {
                sum[c] += p[c];
            }
        }
    }
    for (auto& s : sum) {
        s /= static_cast<double>(rect.area());
    }
    return sum;
}

double StandardError(double sample_sigma, long long area) {
    return sample_sigma / std::sqrt(static_cast<double>(area) / kPixelsPerIndependentSample);
}

}  // namespace brimsal::test
