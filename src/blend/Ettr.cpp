#include "blend/Ettr.h"

#include <algorithm>
#include <cmath>

#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/UserChannel.h"

namespace brimsal {

namespace {

constexpr int64_t kRowsPerChunk = 16;
constexpr double kThousandths = 1000.0;

}  // namespace

// A maximum does not depend on the order of the scan, so the rows are split among threads; the
// column-by-column scan with its early stop at 65535 finds the same value.
int64_t EttrBrightest(const Frame& darkest, bool salida_bn, const PesosMezcla& weights,
                      int threads) {
    const double weight_r = weights.r;
    const double weight_g = weights.g;
    const double weight_b = weights.b;
    std::vector<int64_t> maxima(static_cast<size_t>(NumChunks(darkest.height, kRowsPerChunk)), 0);
    ParallelFor(
        darkest.height, kRowsPerChunk,
        [&](int64_t chunk, int64_t begin, int64_t end) {
            int64_t maximum = 0;
            for (int64_t y = begin; y < end; ++y) {
                const uint16_t* p = darkest.row(static_cast<int>(y));
                for (int x = 0; x < darkest.width; ++x, p += 3) {
                    int64_t value;
                    if (salida_bn) {
                        const double mix = weight_r * p[0] + weight_g * p[1] + weight_b * p[2];
                        value = static_cast<int64_t>(RoundHalfEven(mix));
                    } else {
                        value = std::max({p[0], p[1], p[2]});
                    }
                    maximum = std::max(maximum, value);
                }
            }
            maxima[static_cast<size_t>(chunk)] = maximum;
        },
        threads);
    int64_t maximum = 0;
    for (const int64_t partial : maxima) {
        maximum = std::max(maximum, partial);
    }
    return maximum;
}

void EttrCorrection(const Frame& darkest, bool salida_bn, const PesosMezcla& weights,
                    const std::vector<double>& exp_relativas, std::vector<double>& factors,
                    UserChannel& channel, int threads, double scale) {
    channel.AnadirLog("\nCalculating ETTR correction...", true);
    const int64_t m = EttrBrightest(darkest, salida_bn, weights, threads);
    const double brillo = static_cast<double>(m) * scale;
    if (brillo >= static_cast<double>(kFullScale)) {
        channel.AnadirLog("Already clipped highlights", true);
        return;
    }
    if (m <= 0) {
        // An all-black darkest frame gives no ratio to scale by.
        channel.AnadirLog("No highlights to correct", true);
        return;
    }
    const double correction = std::log(static_cast<double>(kFullScale) / brillo) / std::log(2.0);
    channel.AnadirLog("Histogram correction by +" +
                          NumberText(RoundHalfEven(correction * kThousandths) / kThousandths) +
                          "EV",
                      true);
    for (size_t i = 0; i < factors.size(); ++i) {
        factors[i] = exp_relativas[i] * static_cast<double>(kFullScale) / brillo;
    }
}

}  // namespace brimsal
