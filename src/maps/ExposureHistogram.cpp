#include "maps/ExposureHistogram.h"
#include "base/NumberText.h"
#include "base/UserChannel.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace brimsal {

namespace {

constexpr int kBarHeight = 127;  // the tallest column of a band
constexpr int kMarkedEVs = 8;    // grid lines and labels at 1..8 EV
constexpr int kDotStep = 2;      // the grid is dotted: every other row
constexpr int kLabelMargin = 2;
constexpr int kMedianLabelGap = 20;     // the median label sits right of its line...
constexpr int kMedianLabelHeight = 70;  // ...and this far above the baseline
constexpr uint32_t kGridGrey = RGB(192, 192, 192);
constexpr uint32_t kRed = RGB(255, 0, 0);
constexpr int kMaxHeight = 32767;  // a 16-bit height
// The EV step is shown with two decimals; the nudge makes a k ending in 5 round up as written.
constexpr double kNudge = 1.00000000001;

std::string WithSign(int64_t magnitude, const std::string& text) {
    return (magnitude == 0 ? "" : "+") + text;
}

}  // namespace

Picture NewHistogramCanvas(int n) {
    const int64_t height = static_cast<int64_t>(n - 1) * kBandHeight;
    if (height > kMaxHeight) {
        throw RunTimeError(kErrOverflow, "Overflow");
    }
    Picture canvas;
    canvas.CreateBlank(kHistogramWidth, static_cast<int>(height), kWhite);
    return canvas;
}

void DrawHistogramBand(Picture& canvas, int band, const std::vector<int64_t>& bins, int k) {
    if (bins.size() != static_cast<size_t>(kHistogramBins)) {
        throw std::invalid_argument("the exposure histogram needs 8192 bins");
    }
    const int top = kBandHeight * band;
    const int y0 = top + kBandHeight - 1;

    std::vector<int64_t> col(kHistogramWidth, 0);
    for (int j = 0; j < kHistogramWidth; ++j) {
        for (int b = 0; b < kBinsPerColumn; ++b) {
            col[static_cast<size_t>(j)] += bins[static_cast<size_t>(kBinsPerColumn * j + b)];
        }
    }
    const int64_t m = *std::max_element(col.begin(), col.end());
    if (m <= 0) {
        throw std::invalid_argument("an empty exposure histogram has no band");
    }

    canvas.SetDrawColor(kBlack);
    for (int j = 0; j < kHistogramWidth; ++j) {
        const int64_t c = col[static_cast<size_t>(j)];
        if (c != 0) {
            const double height = RoundHalfEven(static_cast<double>(c) / m * kBarHeight);
            canvas.DrawLineSegment(j, y0, j, y0 - static_cast<int>(height));
        }
    }

    canvas.SetDrawColor(kGridGrey);
    for (int e = 1; e <= kMarkedEVs; ++e) {
        for (int y = top; y <= top + kBandHeight - kDotStep; y += kDotStep) {
            canvas.PlotPoint(kColumnsPerEV * e, y);
        }
    }
    for (int e = 0; e <= kMarkedEVs; ++e) {
        canvas.DrawTextAt(WithSign(e, NumberText(e)) + "EV", kColumnsPerEV * e + kLabelMargin, top,
                          kBlack);
    }

    canvas.SetDrawColor(kRed);
    const int x = static_cast<int>(RoundHalfEven(static_cast<double>(k) / kBinsPerColumn));
    canvas.DrawLineSegment(x, top, x, y0);
    const double step = RoundHalfEven(k * kNudge / 10) / 100;
    canvas.DrawTextAt(WithSign(k, NumberText(step)) + "EV", x + kMedianLabelGap,
                      y0 - kMedianLabelHeight, kRed);
}

}  // namespace brimsal
