#include "window/DisplayImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "base/Parallel.h"
#include "image/Frame.h"
#include "image/Picture.h"
#include "image/TiffIO.h"
#include "window/Display.h"

namespace brimsal {

namespace {

// The source pixels that cover one shown pixel along one axis, and the share of each.
struct Coverage {
    int first = 0;
    std::vector<double> weights;
};

// Box resampling of `in` source pixels onto `out` shown pixels: shown pixel i covers the source
// interval [i s, (i + 1) s), s = in / out; each source pixel counts with the length it shares.
// Enlarging degenerates to the one or two source pixels under the shown one.
std::vector<Coverage> ComputeCoverages(int in, int out) {
    const double scale = static_cast<double>(in) / out;
    std::vector<Coverage> coverages(out);
    for (int i = 0; i < out; ++i) {
        const double start = i * scale;
        const double end = (i + 1) * scale;
        Coverage& coverage = coverages[i];
        coverage.first = static_cast<int>(std::floor(start));
        for (int j = coverage.first; j < in && j < end; ++j) {
            const double shared = std::min<double>(end, j + 1) - std::max<double>(start, j);
            coverage.weights.push_back(shared / scale);
        }
    }
    return coverages;
}

// 16-bit linear level -> 8-bit display level.
const std::array<uint8_t, 65536>& GammaTable() {
    static const std::array<uint8_t, 65536> table = [] {
        std::array<uint8_t, 65536> levels{};
        for (int v = 0; v < 65536; ++v) {
            levels[v] = static_cast<uint8_t>(std::nearbyint(
                255.0 * std::pow(static_cast<double>(v) / kFullScale, 1.0 / kDisplayGamma)));
        }
        return levels;
    }();
    return table;
}

constexpr int64_t kRowsPerChunk = 16;

}  // namespace

QImage PictureForDisplay(const std::string& tiff, int pw, int ph) {
    const Frame frame = ReadTiff(tiff);
    const ShownSize size = FittedSize(frame.width, frame.height, pw, ph);
    const int ow = size.AnchoMostrado;
    const int oh = size.AltoMostrado;
    const std::vector<Coverage> columns = ComputeCoverages(frame.width, ow);
    const std::vector<Coverage> rows = ComputeCoverages(frame.height, oh);

    // Horizontal pass: every source row shrunk to the shown width.
    std::vector<float> narrow(static_cast<size_t>(frame.height) * ow * 3);
    ParallelFor(frame.height, kRowsPerChunk, [&](int64_t, int64_t begin, int64_t end) {
        for (int64_t y = begin; y < end; ++y) {
            const uint16_t* in = frame.row(static_cast<int>(y));
            float* out = narrow.data() + static_cast<size_t>(y) * ow * 3;
            for (int x = 0; x < ow; ++x) {
                const Coverage& coverage = columns[x];
                double sums[3] = {0, 0, 0};
                for (size_t k = 0; k < coverage.weights.size(); ++k) {
                    const uint16_t* pixel = in + static_cast<size_t>(coverage.first + k) * 3;
                    for (int c = 0; c < 3; ++c) {
                        sums[c] += coverage.weights[k] * pixel[c];
                    }
                }
                for (int c = 0; c < 3; ++c) {
                    out[x * 3 + c] = static_cast<float>(sums[c]);
                }
            }
        }
    });

    // Vertical pass, then the gamma on the averaged linear values.
    const std::array<uint8_t, 65536>& gamma = GammaTable();
    QImage shown(ow, oh, QImage::Format_RGB32);
    uchar* bits = shown.bits();  // detached once here, before the threads write their rows
    const qsizetype stride = shown.bytesPerLine();
    ParallelFor(oh, kRowsPerChunk, [&](int64_t, int64_t begin, int64_t end) {
        std::vector<double> sums(static_cast<size_t>(ow) * 3);
        for (int64_t y = begin; y < end; ++y) {
            const Coverage& coverage = rows[y];
            std::fill(sums.begin(), sums.end(), 0.0);
            for (size_t k = 0; k < coverage.weights.size(); ++k) {
                const float* in = narrow.data() + (coverage.first + k) * ow * 3;
                for (int i = 0; i < ow * 3; ++i) {
                    sums[i] += coverage.weights[k] * in[i];
                }
            }
            auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
            for (int x = 0; x < ow; ++x) {
                uint8_t level[3];
                for (int c = 0; c < 3; ++c) {
                    const double v = std::nearbyint(sums[x * 3 + c]);
                    level[c] = gamma[static_cast<size_t>(std::clamp(v, 0.0, double{kFullScale}))];
                }
                line[x] = qRgb(level[0], level[1], level[2]);
            }
        }
    });
    return shown;
}

}  // namespace brimsal
