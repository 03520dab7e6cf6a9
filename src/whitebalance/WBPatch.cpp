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

void CambiarFormaParche(ParcheWB& parche) {
    if (parche.ParcheCuadrado) {
        // The centre of the square; the old corner stays as the rim point.
        parche.ParcheX1 = (parche.ParcheX2 + parche.ParcheX1) / 2;
        parche.ParcheY1 = (parche.ParcheY2 + parche.ParcheY1) / 2;
    } else {
        // The rim point becomes a corner, the centre the middle of the square.
        parche.ParcheX1 = parche.ParcheX1 - (parche.ParcheX2 - parche.ParcheX1);
        parche.ParcheY1 = parche.ParcheY1 - (parche.ParcheY2 - parche.ParcheY1);
    }
    parche.ParcheCuadrado = !parche.ParcheCuadrado;
}

namespace {

// A rounded bound kept inside 0..limit - 1.
int64_t DentroDe(double value, int64_t limit) {
    return MinLng(limit - 1, MaxLng(0, static_cast<int64_t>(Redondear(value))));
}

}  // namespace

SumasCanal SumarParche(const Frame& frame, const ParcheWB& parche) {
    const int64_t w = frame.width;
    const int64_t h = frame.height;
    const double wd = static_cast<double>(w);
    const double hd = static_cast<double>(h);
    SumasCanal sumas;
    auto sumar = [&](const uint16_t* p) {
        sumas.r += CanalALong(p[0]);
        sumas.g += CanalALong(p[1]);
        sumas.b += CanalALong(p[2]);
    };
    if (parche.ParcheCuadrado) {
        const int64_t x0 = DentroDe(wd * MinDbl(parche.ParcheX1, parche.ParcheX2), w);
        const int64_t x1 = DentroDe(wd * MaxDbl(parche.ParcheX1, parche.ParcheX2), w);
        const int64_t y0 = DentroDe(hd * MinDbl(parche.ParcheY1, parche.ParcheY2), h);
        const int64_t y1 = DentroDe(hd * MaxDbl(parche.ParcheY1, parche.ParcheY2), h);
        for (int64_t y = y0; y <= y1; ++y) {
            for (int64_t x = x0; x <= x1; ++x) {
                const uint16_t* p = frame.at(static_cast<int>(x), static_cast<int>(y));
                // The square accepts a channel exactly at the clip level.
                if (p[0] <= kNivelRecorteParche && p[1] <= kNivelRecorteParche &&
                    p[2] <= kNivelRecorteParche) {
                    sumar(p);
                }
            }
        }
        return sumas;
    }
    const double cx = wd * parche.ParcheX1;
    const double cy = hd * parche.ParcheY1;
    const double dy = (parche.ParcheY2 - parche.ParcheY1) * hd;
    const double dx = (parche.ParcheX2 - parche.ParcheX1) * wd;
    double r2 = dy * dy + dx * dx;
    if (r2 == 0) {
        r2 = 1;  // a click without a drag measures the pixels within one pixel of the centre
    }
    const double r = std::sqrt(r2);
    const int64_t x0 = MaxLng(0, static_cast<int64_t>(Redondear(cx - r)));
    const int64_t x1 = MinLng(w - 1, static_cast<int64_t>(Redondear(cx + r)));
    const int64_t y0 = MaxLng(0, static_cast<int64_t>(Redondear(cy - r)));
    const int64_t y1 = MinLng(h - 1, static_cast<int64_t>(Redondear(cy + r)));
    for (int64_t y = y0; y <= y1; ++y) {
        const double ey = static_cast<double>(y) - cy;
        for (int64_t x = x0; x <= x1; ++x) {
            const double ex = static_cast<double>(x) - cx;
            if (ey * ey + ex * ex > r2) {
                continue;
            }
            const uint16_t* p = frame.at(static_cast<int>(x), static_cast<int>(y));
            if (p[0] < kNivelRecorteParche && p[1] < kNivelRecorteParche &&
                p[2] < kNivelRecorteParche) {
                sumar(p);
            }
        }
    }
    return sumas;
}

std::array<std::string, 3> CoeficientesParche(const SumasCanal& sumas) {
    const int64_t m = std::max({sumas.r, sumas.g, sumas.b});
    auto coeficiente = [m](int64_t s) {
        return TextoNumero(Redondear(static_cast<double>(m) / static_cast<double>(s) * 1000) / 1000,
                           ".");
    };
    return {coeficiente(sumas.r), coeficiente(sumas.g), coeficiente(sumas.b)};
}

int CalcularWBPatch(const std::string& ruta, const ParcheWB& parche, WhiteBalanceSettings& wb,
                    UserChannel& channel) {
    try {
        channel.AnadirLog("Calculating WB in patch...", true);
        // dcraw has ended before this runs (the job waits on the process), so the TIFF is
        // complete: no pause before reading it.
        Frame frame;
        try {
            frame = LeerTIFF(QuitarExtension(ruta) + ".tiff");
        } catch (const ImageError&) {
            channel.AnadirLog("Error reading tiff file, please try again", false);
            channel.AnadirLog("DONE", true);
            return -1;
        }
        const SumasCanal sumas = SumarParche(frame, parche);
        frame.release();
        // A zero sum in any channel: the product of the sums would be 0. Tested one by one, as
        // the product of three large sums overflows.
        if (sumas.r == 0 || sumas.g == 0 || sumas.b == 0) {
            channel.AnadirLog("Impossible to WB patch", true);
            channel.AnadirLog("DONE", true);
            channel.MensajeError(
                "Impossible to WB patch, some channel is very low and/or insufficient sample");
            return -1;
        }
        wb.txtWB = CoeficientesParche(sumas);
        channel.AnadirLog("DONE", true);
        return 1;
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& error) {
        ErrorInesperado(channel, "CalcularWBPatch", error);
        channel.AnadirLog("DONE", true);
        return -1;
    }
}

}  // namespace brimsal
