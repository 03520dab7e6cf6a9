#include "maps/MapPasses.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/Progress.h"
#include "base/UserChannel.h"
#include "maps/DiscMask.h"

namespace brimsal {

namespace {

// Columns of a tile of the progressive pass.
constexpr int kColumnsPerTile = 1024;

// Above every frame index: the neutral value of a minimum.
constexpr uint8_t kNoIndex = 255;

// Rows of output per band. A band reads its rows plus `radius` rows on each side, so wide
// discs get taller bands to keep that overlap a small share of the work.
int RowsPerBand(int radius) {
    return std::max(64, 2 * radius);
}

// The chord half-widths h(dy), dy = -r..r, of the disc of radius r.
std::vector<int> DiscHalfChords(int radius) {
    if (radius < 1) {
        throw std::invalid_argument("pass radius " + std::to_string(radius) + " below 1");
    }
    return HalfChords(CrearMascaraCircular(radius));
}

// Runs body(y0, y1) for every band of output rows, on all threads, with progress and cancel.
template <typename Body>
void InBands(int height, int radius, UserChannel& channel, int threads, const Body& body) {
    const int64_t band = RowsPerBand(radius);
    StepProgress progress(channel, NumChunks(height, band));
    ParallelFor(
        height, band,
        [&](int64_t, int64_t begin, int64_t end) {
            ThrowIfCancelled(channel);
            body(static_cast<int>(begin), static_cast<int>(end));
            progress.Advance();
        },
        threads);
    progress.Finish();
}

// The row kernels take their sizes by value: a length read through a reference could be
// overwritten by a byte store, as far as the compiler knows, and the loops would not vectorise.

// next[i] = min(prev[i - 1], prev[i], prev[i + 1]) for i = 1..n-2.
void MinOfThree(const uint8_t* __restrict prev, uint8_t* __restrict next, int n) {
    for (int i = 1; i < n - 1; ++i) {
        const uint8_t a = prev[i - 1] < prev[i] ? prev[i - 1] : prev[i];
        next[i] = a < prev[i + 1] ? a : prev[i + 1];
    }
}

// dst[x] = min(dst[x], src[x]).
void MinInto(uint8_t* __restrict dst, const uint8_t* __restrict src, int n) {
    for (int x = 0; x < n; ++x) {
        dst[x] = dst[x] < src[x] ? dst[x] : src[x];
    }
}

// Adds the chord sums hi[x] - lo[x] (differences of row prefix sums). The prefix sums are
// unsigned and may wrap along a very wide row: their difference is still exact modulo 2^32, and
// a chord's own sum is far below 2^31.
void SumChord(int32_t* __restrict sum, const uint32_t* __restrict hi, const uint32_t* __restrict lo,
              int n) {
    for (int x = 0; x < n; ++x) {
        sum[x] += static_cast<int32_t>(hi[x] - lo[x]);
    }
}

}  // namespace

uint8_t MapLevel(double index, int n) {
    return static_cast<uint8_t>(RoundHalfEven((index - n) * 255 / (1 - n)));
}

MapPlane AntiGhostPass(const MapPlane& indices, int radius, UserChannel& channel, int threads) {
    const std::vector<int> half = DiscHalfChords(radius);
    const int w = indices.width;
    const int h = indices.height;
    const int r = radius;
    MapPlane output(w, h);
    // A padded row: r cells of kNoIndex on each side, so every window stays inside it.
    const int padded = w + 2 * r;

    InBands(h, r, channel, threads, [&](int y0, int y1) {
        std::vector<uint8_t> acc(static_cast<size_t>(y1 - y0) * w, kNoIndex);
        // minima[k][x + r]: the minimum of the input row over [x - k, x + k], clipped.
        std::vector<uint8_t> minima(static_cast<size_t>(r + 1) * padded, kNoIndex);
        const int first = std::max(0, y0 - r);
        const int last = std::min(h, y1 + r);
        for (int ys = first; ys < last; ++ys) {
            uint8_t* m0 = minima.data();
            std::copy_n(indices.row(ys), w, m0 + r);
            // The window of half-width k + 1 is the union of the windows of half-width k one
            // step left, in place and one step right (the middle one matters only for k = 0).
            for (int k = 0; k < r; ++k) {
                const uint8_t* prev = minima.data() + static_cast<size_t>(k) * padded;
                uint8_t* next = minima.data() + static_cast<size_t>(k + 1) * padded;
                MinOfThree(prev, next, padded);
                next[0] = kNoIndex;
                next[padded - 1] = kNoIndex;
            }
            // Scatter this input row into every output row of the band whose disc reaches it.
            const int ya = std::max(y0, ys - r);
            const int yb = std::min(y1, ys + r + 1);
            for (int y = ya; y < yb; ++y) {
                const int k = half[static_cast<size_t>(ys - y + r)];
                MinInto(acc.data() + static_cast<size_t>(y - y0) * w,
                        minima.data() + static_cast<size_t>(k) * padded + r, w);
            }
        }
        std::copy(acc.begin(), acc.end(), output.row(y0));
    });
    return output;
}

MapPlane ProgressivePass(const MapPlane& indices, int n, int radius, UserChannel& channel,
                         int threads) {
    const std::vector<int> half = DiscHalfChords(radius);
    const int w = indices.width;
    const int h = indices.height;
    const int r = radius;
    // A disc holds at most (2r + 1)^2 indices of at most 255: the sums stay in 32 bits as long
    // as that product does.
    if (static_cast<int64_t>(2 * r + 1) * (2 * r + 1) * 255 > INT32_MAX) {
        throw std::invalid_argument("progressive radius " + std::to_string(r) + " too large");
    }
    MapPlane output(w, h);
    // Prefix arrays indexed j = x + off, off = r + 1, clamped to the row: the chord [x-k, x+k]
    // sums to P[x + k + 1 + off] - P[x - k + off] whatever part of it leaves the image. The
    // count of a chord's pixels inside the image is the same difference over the prefix of ones.
    const int off = r + 1;
    const int padded = w + 2 * r + 2;
    std::vector<uint32_t> ones_prefix(static_cast<size_t>(padded));
    for (int j = 0; j < padded; ++j) {
        ones_prefix[static_cast<size_t>(j)] = static_cast<uint32_t>(std::clamp(j - off, 0, w));
    }
    // Pixels of the disc inside the image, columns [xa, xa + nt) of row y.
    auto count_row = [&](int y, int xa, int nt, int32_t* count) {
        std::fill_n(count, nt, 0);
        for (int ys = std::max(0, y - r); ys < std::min(h, y + r + 1); ++ys) {
            const int k = half[static_cast<size_t>(ys - y + r)];
            SumChord(count, ones_prefix.data() + off + k + 1 + xa,
                     ones_prefix.data() + off - k + xa, nt);
        }
    };
    // Every row whose disc stays inside the image vertically has the same counts.
    const bool hay_interior = h > 2 * r;
    std::vector<int32_t> inner_count(static_cast<size_t>(w));
    if (hay_interior) {
        count_row(r, 0, w, inner_count.data());
    }

    InBands(h, r, channel, threads, [&](int y0, int y1) {
        const int first = std::max(0, y0 - r);
        const int last = std::min(h, y1 + r);
        std::vector<uint32_t> prefixes(static_cast<size_t>(last - first) * padded);
        for (int ys = first; ys < last; ++ys) {
            const uint8_t* in = indices.row(ys);
            uint32_t* prefix = prefixes.data() + static_cast<size_t>(ys - first) * padded;
            uint32_t running = 0;
            for (int j = 0; j < padded; ++j) {
                const int x = j - off;
                if (x >= 1 && x <= w) {
                    running += in[x - 1];
                }
                prefix[j] = running;
            }
        }
        // Column tiles keep the rows of prefixes a tile reads in the core's cache while every
        // output row of the band is summed.
        std::vector<int32_t> sum(static_cast<size_t>(kColumnsPerTile));
        std::vector<int32_t> edge_count(static_cast<size_t>(kColumnsPerTile));
        for (int xa = 0; xa < w; xa += kColumnsPerTile) {
            const int nt = std::min(kColumnsPerTile, w - xa);
            for (int y = y0; y < y1; ++y) {
                std::fill_n(sum.data(), nt, 0);
                for (int ys = std::max(0, y - r); ys < std::min(h, y + r + 1); ++ys) {
                    const int k = half[static_cast<size_t>(ys - y + r)];
                    const uint32_t* prefix =
                        prefixes.data() + static_cast<size_t>(ys - first) * padded;
                    SumChord(sum.data(), prefix + off + k + 1 + xa, prefix + off - k + xa, nt);
                }
                const int32_t* count = inner_count.data() + xa;
                if (!hay_interior || y < r || y >= h - r) {
                    count_row(y, xa, nt, edge_count.data());
                    count = edge_count.data();
                }
                uint8_t* out = output.row(y) + xa;
                for (int i = 0; i < nt; ++i) {
                    const double media =
                        static_cast<double>(sum[static_cast<size_t>(i)]) / count[i];
                    out[i] = MapLevel(media, n);
                }
            }
        }
    });
    return output;
}

MapPlane NaiveAntiGhostPass(const MapPlane& indices, int n, int radius) {
    const MascaraCircular mask = CrearMascaraCircular(radius);
    const int w = indices.width;
    const int h = indices.height;
    const int r = radius;
    MapPlane output(w, h);
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y) {
            int m = n;
            for (int dx = std::max(-r, -x); dx <= std::min(r, w - 1 - x) && m > 1; ++dx) {
                for (int dy = std::max(-r, -y); dy <= std::min(r, h - 1 - y) && m > 1; ++dy) {
                    if (mask.at(dx, dy) != 0 && indices.at(x + dx, y + dy) < m) {
                        m = indices.at(x + dx, y + dy);
                    }
                }
            }
            output.at(x, y) = static_cast<uint8_t>(m);
        }
    }
    return output;
}

MapPlane NaiveProgressivePass(const MapPlane& indices, int n, int radius) {
    const MascaraCircular mask = CrearMascaraCircular(radius);
    const int w = indices.width;
    const int h = indices.height;
    const int r = radius;
    MapPlane output(w, h);
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y) {
            int32_t s = 0;
            int32_t c = 0;
            for (int dx = std::max(-r, -x); dx <= std::min(r, w - 1 - x); ++dx) {
                for (int dy = std::max(-r, -y); dy <= std::min(r, h - 1 - y); ++dy) {
                    if (mask.at(dx, dy) != 0) {
                        s += indices.at(x + dx, y + dy);
                        c += 1;
                    }
                }
            }
            output.at(x, y) = MapLevel(static_cast<double>(s) / c, n);
        }
    }
    return output;
}

}  // namespace brimsal
