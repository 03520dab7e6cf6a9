#include "maps/RelativeExposure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "base/NewFiles.h"
#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/Progress.h"
#include "base/UserChannel.h"
#include "image/Frame.h"
#include "image/Picture.h"
#include "maps/CameraClip.h"
#include "maps/ExposureHistogram.h"

namespace brimsal {

namespace {

// Thousandths of an EV per neper, as the histogram's bins are defined (1000 / ln 2).
constexpr double kMilliEVPerNeper = 1442.69504088896;
// The Median read-outs multiply by this before rounding so that a value ending in 5 at the
// rounding digit goes up, as the method has always shown it.
constexpr double kNudge = 1.00000000001;
// Weights 1 + floor(16 b / 65535): brighter samples count more.
constexpr int kWeightScale = 16;
constexpr int kLastBin = kHistogramBins - 1;
constexpr int kRowsPerChunk = 32;
// ln(b) - ln(a) from a table agrees with ln(b / a) to about 1e-14; times 1442.7 that is far
// below this margin, so a value this far from a rounding half rounds the same either way.
constexpr double kRoundingMargin = 1e-6;

enum class Method { kAverage, kMedian };

// What one pair's sampling gathered. Integer sums: exact, and the same for any chunking.
struct PairSamples {
    int64_t sum_a = 0;          // Average: sum of the darker image's samples
    int64_t sum_b = 0;          // Average: sum of the brighter image's samples
    int64_t count = 0;          // valid channel samples
    std::vector<int64_t> bins;  // Median: weighted histogram of EV differences

    void Add(const PairSamples& other) {
        sum_a += other.sum_a;
        sum_b += other.sum_b;
        count += other.count;
        for (size_t i = 0; i < other.bins.size(); ++i) {
            bins[i] += other.bins[i];
        }
    }
};

using ClipLevels = std::array<int32_t, 3>;

bool IsSample(int v, int32_t clip) {
    return v > kFloorLevel && v < clip;
}

// The histogram bin of a sample pair: Round(ln(b / a) * 1442.69...) clamped to 0..8191. The
// table difference decides unless the value sits at a rounding half, where the exact
// expression is evaluated.
int BinOfSample(int a, int b, const double* ln) {
    const double t = (ln[b] - ln[a]) * kMilliEVPerNeper;
    double d;
    if (std::fabs(t - std::floor(t) - 0.5) > kRoundingMargin) {
        d = RoundHalfEven(t);
    } else {
        d = RoundHalfEven(std::log(static_cast<double>(b) / a) * kMilliEVPerNeper);
    }
    return static_cast<int>(std::clamp(d, 0.0, static_cast<double>(kLastBin)));
}

// Flags the pixels of row y of the brighter image that are clipped: a channel at or above its clip
// level (on the camera's channels, CameraClip).
void MarkClipped(const Frame& brighter, int y, const CameraClip& clip,
                 std::vector<uint8_t>& marks) {
    const uint16_t* p = brighter.row(y);
    for (int x = 0; x < brighter.width; ++x, p += 3) {
        marks[static_cast<size_t>(x)] = static_cast<uint8_t>(clip.Clipped(p));
    }
}

// The bands of rows a pair is sampled in, each one unit of the step's progress.
int64_t SampledBands(int height) {
    return height < 3 ? 0 : NumChunks(height - 2, kRowsPerChunk);
}

PairSamples SamplePair(const Frame& darker, const Frame& brighter, Method method,
                       const CameraClip& clip, const ClipLevels& levels,
                       const std::vector<double>& ln, UserChannel& channel, StepProgress& progress,
                       int threads) {
    // Each output channel is its camera channel, sampled below its own clip level; with a matrix
    // that mixes them the pixel itself must be unclipped, and its channels below dcraw's clip.
    const uint8_t pixel_tested = clip.mixing() ? 1 : 0;
    const ClipLevels ceiling =
        clip.mixing() ? ClipLevels{CameraClip::kOutputCeiling, CameraClip::kOutputCeiling,
                                   CameraClip::kOutputCeiling}
                      : levels;
    const int w = brighter.width;
    const int h = brighter.height;
    PairSamples total;
    if (method == Method::kMedian) {
        total.bins.assign(kHistogramBins, 0);
    }
    if (w < 3 || h < 3) {
        return total;
    }
    // Rows 1..h-2: only pixels whose 8 neighbours are inside the image are sampled.
    const int64_t rows = h - 2;
    std::vector<PairSamples> partials(static_cast<size_t>(SampledBands(h)));
    ParallelFor(
        rows, kRowsPerChunk,
        [&](int64_t chunk, int64_t begin, int64_t end) {
            ThrowIfCancelled(channel);
            PairSamples partial;
            if (method == Method::kMedian) {
                partial.bins.assign(kHistogramBins, 0);
            }
            std::array<std::vector<uint8_t>, 3> marks;
            for (auto& m : marks) {
                m.assign(static_cast<size_t>(w), 0);
            }
            const int y_first = static_cast<int>(begin) + 1;
            MarkClipped(brighter, y_first - 1, clip, marks[0]);
            MarkClipped(brighter, y_first, clip, marks[1]);
            for (int y = y_first; y < static_cast<int>(end) + 1; ++y) {
                MarkClipped(brighter, y + 1, clip, marks[2]);
                const uint8_t* above = marks[0].data();
                const uint8_t* middle = marks[1].data();
                const uint8_t* below = marks[2].data();
                const uint16_t* pa = darker.row(y);
                const uint16_t* pb = brighter.row(y);
                for (int x = 1; x < w - 1; ++x) {
                    // The pixel itself is not part of the clip test, only its 8 neighbours
                    // (unless the matrix mixes the channels).
                    if (above[x - 1] | above[x] | above[x + 1] | middle[x - 1] | middle[x + 1] |
                        below[x - 1] | below[x] | below[x + 1] | (middle[x] & pixel_tested)) {
                        continue;
                    }
                    for (int c = 0; c < 3; ++c) {
                        const int a = pa[3 * x + c];
                        const int b = pb[3 * x + c];
                        if (!IsSample(a, ceiling[c]) || !IsSample(b, ceiling[c])) {
                            continue;
                        }
                        ++partial.count;
                        if (method == Method::kAverage) {
                            partial.sum_a += a;
                            partial.sum_b += b;
                        } else {
                            partial.bins[static_cast<size_t>(BinOfSample(a, b, ln.data()))] +=
                                1 + kWeightScale * b / kFullScale;
                        }
                    }
                }
                std::rotate(marks.begin(), marks.begin() + 1, marks.end());
            }
            partials[static_cast<size_t>(chunk)] = std::move(partial);
            progress.Advance();
        },
        threads);
    for (const PairSamples& partial : partials) {
        total.Add(partial);
    }
    return total;
}

// The first bin at which the cumulative weight reaches half the total (half not truncated).
int MedianBin(const std::vector<int64_t>& bins, int64_t total) {
    const double half = static_cast<double>(total) / 2;
    int64_t cumulative = 0;
    for (int k = 0; k < kHistogramBins; ++k) {
        cumulative += bins[static_cast<size_t>(k)];
        if (static_cast<double>(cumulative) >= half) {
            return k;
        }
    }
    return kLastBin;
}

// X: the exposure of image i as a multiple of image 1, two decimals.
std::string MultipleText(double e) {
    return NumberText(RoundHalfEven(1 / e * 100) / 100);
}

// V: the EV of image i above image 1, two decimals.
std::string EvText(double e, Method method) {
    const double ev = -std::log(e) / std::log(2.0) * 100;
    return NumberText(RoundHalfEven(method == Method::kMedian ? ev * kNudge : ev) / 100);
}

// L: the share of the whole frame's channel samples that were used, percent, one decimal.
std::string LevelText(int64_t count, int w, int h) {
    return NumberText(RoundHalfEven(static_cast<double>(count) / w / h / 3 * 1000) / 10);
}

// The steps between consecutive frames smaller than a bracket's, by their EV (`e` the relative
// exposures, names(i) the frame names, 1-based): one log line and a warning box.
template <typename Names>
void WarnIfNotABracket(const std::vector<double>& e, const Names& name, UserChannel& channel) {
    int small_steps = 0;
    int smallest = 0;  // the brighter frame of the smallest step
    double smallest_ev = kBracketMinStepEV;
    for (size_t i = 1; i < e.size(); ++i) {
        const double ev = std::log2(e[i - 1] / e[i]);
        if (ev < kBracketMinStepEV) {
            ++small_steps;
        }
        if (ev < smallest_ev) {
            smallest_ev = ev;
            smallest = static_cast<int>(i) + 1;
        }
    }
    if (small_steps == 0) {
        return;
    }
    const auto hundredths = [](double ev) { return NumberText(RoundHalfEven(ev * 100) / 100); };
    const std::string measured =
        std::to_string(small_steps) + " of " + std::to_string(e.size() - 1) +
        " exposure steps under " + hundredths(kBracketMinStepEV) + "EV, the smallest +" +
        hundredths(smallest_ev) + "EV from " + name(smallest - 1) + " to " + name(smallest);
    channel.AnadirLog("Not a bracket: " + measured, true);
    channel.MensajeAviso(
        "These frames are not a bracket: " + measured +
        ".\n\nBlending needs frames shot at different exposures, usually 1 to 2 EV apart (1/3 EV "
        "at the least): each pixel is taken from one frame, so frames of one exposure add "
        "nothing to the range of the output.\n\nYou can go on with Build map and the blend.");
}

int GapError(UserChannel& channel, const std::string& kind, const std::string& darker,
             const std::string& brighter) {
    channel.AnadirLog(kind + " exposure gap", true);
    channel.AnadirLog("DONE", true);
    channel.MensajeError(kind + " exposure gap between " + darker + " and " + brighter);
    return -1;
}

}  // namespace

int CalcularExpRelativas(const std::string& ruta, const RelativeExposureSettings& settings,
                         ExposureSet& set, UserChannel& channel, int threads) {
    // A cancelled run leaves the previous relative exposures as they were.
    std::vector<double> previous = set.ExpRelativas;
    const auto measure = [&] {
        const Method method = settings.average ? Method::kAverage : Method::kMedian;
        const int n = set.N();
        const int w = set.AnchoImagen;
        const int h = set.AltoImagen;
        for (const Frame& frame : set.Imagenes) {
            if (frame.width != w || frame.height != h || frame.empty()) {
                throw RunTimeError(kErrSubscript, "Subscript out of range");
            }
        }
        if (set.ArchivosTIFF.size() != static_cast<size_t>(n)) {
            throw RunTimeError(kErrSubscript, "Subscript out of range");
        }
        auto name = [&](int i) {
            return NombreArchivo(set.ArchivosTIFF[static_cast<size_t>(i - 1)]);
        };

        channel.AnadirLog("\nCalculating relative exposure...", true);
        std::vector<double>& e = set.ExpRelativas;
        e.assign(static_cast<size_t>(n), 0.0);
        e[0] = 1.0;
        channel.AnadirLog(name(1) + ": " + MultipleText(e[0]) + " (" + EvText(e[0], method) + "EV)",
                          true);

        std::vector<double> ln(kFullScale + 1, 0.0);
        for (int v = 1; v <= kFullScale; ++v) {
            ln[static_cast<size_t>(v)] = std::log(static_cast<double>(v));
        }
        const CameraClip clip(settings.clip, settings.colours);
        Picture canvas;
        if (method == Method::kMedian) {
            canvas = NewHistogramCanvas(n);
        }
        StepProgress progress(channel, (n - 1) * SampledBands(h));

        for (int i = 2; i <= n; ++i) {
            const size_t ii = static_cast<size_t>(i - 1);
            const PairSamples samples =
                SamplePair(set.Imagenes[ii - 1], set.Imagenes[ii], method, clip, settings.clip, ln,
                           channel, progress, threads);
            int k = 0;
            if (method == Method::kAverage) {
                if (samples.sum_b == 0) {
                    return GapError(channel, "Too wide", name(i - 1), name(i));
                }
                if (samples.sum_a > samples.sum_b) {
                    return GapError(channel, "Too narrow", name(i - 1), name(i));
                }
                // Both sums are exact in a double well beyond any frame size (below 2^53).
                e[ii] = static_cast<double>(samples.sum_a) / static_cast<double>(samples.sum_b) *
                        e[ii - 1];
            } else {
                int64_t total = 0;
                for (int64_t bin : samples.bins) {
                    total += bin;
                }
                if (total == 0) {
                    return GapError(channel, "Too wide", name(i - 1), name(i));
                }
                k = MedianBin(samples.bins, total);
                e[ii] = e[ii - 1] / std::pow(2.0, k / 1000.0);
            }
            channel.AnadirLog(name(i) + ": " + MultipleText(e[ii]) + " (+" + EvText(e[ii], method) +
                                  "EV) (" + LevelText(samples.count, w, h) + "% lev)",
                              true);
            if (method == Method::kMedian) {
                DrawHistogramBand(canvas, i - 2, samples.bins, k);
            }
        }

        progress.Finish();
        WarnIfNotABracket(e, name, channel);
        if (method == Method::kMedian) {
            NewFileName file = FirstFreeName(CarpetaDeRuta(ruta), "His_" + TimeHHMMSS(), ".gif");
            canvas.SetSaveFormat(SaveFormat::kGif);
            canvas.SaveToFile(file);
            channel.AnadirLog("\nSaving exposure histogram as " + file.name() + "...", true);
        }
        channel.AnadirLog("DONE", true);
        channel.Beep();
        return 1;
    };
    return TrapUnexpected(channel, "CalcularExpRelativas", -1, measure,
                          {.on_cancel = [&] { set.ExpRelativas = std::move(previous); }});
}

}  // namespace brimsal
