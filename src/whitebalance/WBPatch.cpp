#include "whitebalance/WBPatch.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "base/NumberText.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "image/Frame.h"
#include "image/TiffIO.h"

namespace brimsal {

void TogglePatchShape(WBPatch& patch) {
    if (patch.ParcheCuadrado) {
        // The centre of the square; the old corner stays as the rim point.
        patch.ParcheX1 = (patch.ParcheX2 + patch.ParcheX1) / 2;
        patch.ParcheY1 = (patch.ParcheY2 + patch.ParcheY1) / 2;
    } else {
        // The rim point becomes a corner, the centre the middle of the square.
        patch.ParcheX1 = patch.ParcheX1 - (patch.ParcheX2 - patch.ParcheX1);
        patch.ParcheY1 = patch.ParcheY1 - (patch.ParcheY2 - patch.ParcheY1);
    }
    patch.ParcheCuadrado = !patch.ParcheCuadrado;
}

namespace {

// A rounded bound kept inside 0..limit - 1.
int64_t ClampIndex(double value, int64_t limit) {
    return MinLng(limit - 1, MaxLng(0, static_cast<int64_t>(RoundHalfEven(value))));
}

}  // namespace

SumasCanal SumPatch(const Frame& frame, const WBPatch& patch) {
    const int64_t w = frame.width;
    const int64_t h = frame.height;
    const double wd = static_cast<double>(w);
    const double hd = static_cast<double>(h);
    SumasCanal sums;
    auto add = [&](const uint16_t* p) {
        sums.r += CanalALong(p[0]);
        sums.g += CanalALong(p[1]);
        sums.b += CanalALong(p[2]);
    };
    if (patch.ParcheCuadrado) {
        const int64_t x0 = ClampIndex(wd * MinDbl(patch.ParcheX1, patch.ParcheX2), w);
        const int64_t x1 = ClampIndex(wd * MaxDbl(patch.ParcheX1, patch.ParcheX2), w);
        const int64_t y0 = ClampIndex(hd * MinDbl(patch.ParcheY1, patch.ParcheY2), h);
        const int64_t y1 = ClampIndex(hd * MaxDbl(patch.ParcheY1, patch.ParcheY2), h);
        for (int64_t y = y0; y <= y1; ++y) {
            for (int64_t x = x0; x <= x1; ++x) {
                const uint16_t* p = frame.at(static_cast<int>(x), static_cast<int>(y));
                // The square accepts a channel exactly at the clip level.
                if (p[0] <= kPatchClipLevel && p[1] <= kPatchClipLevel && p[2] <= kPatchClipLevel) {
                    add(p);
                }
            }
        }
        return sums;
    }
    const double cx = wd * patch.ParcheX1;
    const double cy = hd * patch.ParcheY1;
    const double dy = (patch.ParcheY2 - patch.ParcheY1) * hd;
    const double dx = (patch.ParcheX2 - patch.ParcheX1) * wd;
    double r2 = dy * dy + dx * dx;
    if (r2 == 0) {
        r2 = 1;  // a click without a drag measures the pixels within one pixel of the centre
    }
    const double r = std::sqrt(r2);
    const int64_t x0 = MaxLng(0, static_cast<int64_t>(RoundHalfEven(cx - r)));
    const int64_t x1 = MinLng(w - 1, static_cast<int64_t>(RoundHalfEven(cx + r)));
    const int64_t y0 = MaxLng(0, static_cast<int64_t>(RoundHalfEven(cy - r)));
    const int64_t y1 = MinLng(h - 1, static_cast<int64_t>(RoundHalfEven(cy + r)));
    for (int64_t y = y0; y <= y1; ++y) {
        const double ey = static_cast<double>(y) - cy;
        for (int64_t x = x0; x <= x1; ++x) {
            const double ex = static_cast<double>(x) - cx;
            if (ey * ey + ex * ex > r2) {
                continue;
            }
            const uint16_t* p = frame.at(static_cast<int>(x), static_cast<int>(y));
            if (p[0] < kPatchClipLevel && p[1] < kPatchClipLevel && p[2] < kPatchClipLevel) {
                add(p);
            }
        }
    }
    return sums;
}

std::array<std::string, 3> PatchCoefficients(const SumasCanal& sums) {
    const int64_t m = std::max({sums.r, sums.g, sums.b});
    auto coefficient = [m](int64_t s) {
        return NumberText(
            RoundHalfEven(static_cast<double>(m) / static_cast<double>(s) * 1000) / 1000, ".");
    };
    return {coefficient(sums.r), coefficient(sums.g), coefficient(sums.b)};
}

int CalcularWBPatch(const std::string& ruta, const WBPatch& patch, WhiteBalanceSettings& wb,
                    UserChannel& channel) {
    const auto measure = [&] {
        channel.AnadirLog("Calculating WB in patch...", true);
        // dcraw has ended before this runs (the job waits on the process), so the TIFF is
        // complete: no pause before reading it.
        Frame frame;
        try {
            frame = ReadTiff(QuitarExtension(ruta) + ".tiff");
        } catch (const ImageError&) {
            channel.AnadirLog("Error reading tiff file, please try again", false);
            channel.AnadirLog("DONE", true);
            return -1;
        }
        const SumasCanal sums = SumPatch(frame, patch);
        frame.release();
        // A zero sum in any channel: the product of the sums would be 0. Tested one by one, as
        // the product of three large sums overflows.
        if (sums.r == 0 || sums.g == 0 || sums.b == 0) {
            channel.AnadirLog("Impossible to WB patch", true);
            channel.AnadirLog("DONE", true);
            channel.MensajeError(
                "Impossible to WB patch, some channel is very low and/or insufficient sample");
            return -1;
        }
        wb.txtWB = PatchCoefficients(sums);
        channel.AnadirLog("DONE", true);
        return 1;
    };
    return TrapUnexpected(channel, "CalcularWBPatch", -1, measure,
                          {.after_report = [&] { channel.AnadirLog("DONE", true); }});
}

}  // namespace brimsal
