#include "maps/ExposureHistogram.h"
#include "base/NumberText.h"
#include "base/UserChannel.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace brimsal {

namespace {

constexpr int kAlturaBarra = 127;  // the tallest column of a band
constexpr int kEVsMarcados = 8;    // grid lines and labels at 1..8 EV
constexpr int kPasoPuntos = 2;     // the grid is dotted: every other row
constexpr int kMargenEtiqueta = 2;
constexpr int kSeparacionMediana = 20;  // the median label sits right of its line...
constexpr int kAlturaMediana = 70;      // ...and this far above the baseline
constexpr uint32_t kGrisRejilla = RGB(192, 192, 192);
constexpr uint32_t kRojo = RGB(255, 0, 0);
constexpr int kAltoMaximo = 32767;  // a 16-bit height
// The EV step is shown with two decimals; the nudge makes a k ending in 5 round up as written.
constexpr double kEmpujon = 1.00000000001;

std::string ConSigno(int64_t magnitud_no_negativa, const std::string& texto) {
    return (magnitud_no_negativa == 0 ? "" : "+") + texto;
}

}  // namespace

Picture CrearLienzoHistograma(int n) {
    const int64_t alto = static_cast<int64_t>(n - 1) * kAltoBanda;
    if (alto > kAltoMaximo) {
        throw RunTimeError(kErrOverflow, "Overflow");
    }
    Picture lienzo;
    lienzo.CreateBlank(kAnchoHistograma, static_cast<int>(alto), kWhite);
    return lienzo;
}

void DibujarBandaHistograma(Picture& lienzo, int banda, const std::vector<int64_t>& bins, int k) {
    if (bins.size() != static_cast<size_t>(kBinsHistograma)) {
        throw std::invalid_argument("the exposure histogram needs 8192 bins");
    }
    const int top = kAltoBanda * banda;
    const int y0 = top + kAltoBanda - 1;

    std::vector<int64_t> col(kAnchoHistograma, 0);
    for (int j = 0; j < kAnchoHistograma; ++j) {
        for (int b = 0; b < kBinsPorColumna; ++b) {
            col[static_cast<size_t>(j)] += bins[static_cast<size_t>(kBinsPorColumna * j + b)];
        }
    }
    const int64_t m = *std::max_element(col.begin(), col.end());
    if (m <= 0) {
        throw std::invalid_argument("an empty exposure histogram has no band");
    }

    lienzo.SetDrawColor(kBlack);
    for (int j = 0; j < kAnchoHistograma; ++j) {
        const int64_t c = col[static_cast<size_t>(j)];
        if (c != 0) {
            const double alto = Redondear(static_cast<double>(c) / m * kAlturaBarra);
            lienzo.DrawLineSegment(j, y0, j, y0 - static_cast<int>(alto));
        }
    }

    lienzo.SetDrawColor(kGrisRejilla);
    for (int e = 1; e <= kEVsMarcados; ++e) {
        for (int y = top; y <= top + kAltoBanda - kPasoPuntos; y += kPasoPuntos) {
            lienzo.PlotPoint(kColumnasPorEV * e, y);
        }
    }
    for (int e = 0; e <= kEVsMarcados; ++e) {
        lienzo.DrawTextAt(ConSigno(e, TextoNumero(e)) + "EV", kColumnasPorEV * e + kMargenEtiqueta,
                          top, kBlack);
    }

    lienzo.SetDrawColor(kRojo);
    const int x = static_cast<int>(Redondear(static_cast<double>(k) / kBinsPorColumna));
    lienzo.DrawLineSegment(x, top, x, y0);
    const double paso = Redondear(k * kEmpujon / 10) / 100;
    lienzo.DrawTextAt(ConSigno(k, TextoNumero(paso)) + "EV", x + kSeparacionMediana,
                      y0 - kAlturaMediana, kRojo);
}

}  // namespace brimsal
