#include "maps/MapPasses.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <string>

#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/UserChannel.h"
#include "maps/DiscMask.h"

namespace brimsal {

namespace {

// Columns of a tile of the progressive pass.
constexpr int kColumnasPorTeja = 1024;

// Above every frame index: the neutral value of a minimum.
constexpr uint8_t kSinIndice = 255;

// Rows of output per band. A band reads its rows plus `radius` rows on each side, so wide
// discs get taller bands to keep that overlap a small share of the work.
int FilasPorBanda(int radio) {
    return std::max(64, 2 * radio);
}

// Whole-percentage read-out of a pass done band by band, on any thread, always rising.
class ProgresoBandas {
  public:
    ProgresoBandas(UserChannel& channel, int64_t total) : channel_(channel), total_(total) {}

    void BandaTerminada() {
        std::lock_guard lock(mutex_);
        ++done_;
        const int64_t percent = done_ * 100 / total_;
        if (percent != shown_ && percent < 100) {
            shown_ = percent;
            channel_.MostrarProgreso(std::to_string(percent) + "%");
        }
    }
    void Fin() { channel_.MostrarProgreso("100%"); }

  private:
    UserChannel& channel_;
    int64_t total_;
    int64_t done_ = 0;
    int64_t shown_ = -1;
    std::mutex mutex_;
};

// The chord half-widths h(dy), dy = -r..r, of the disc of radius r.
std::vector<int> SemiCuerdasDelDisco(int radio) {
    if (radio < 1) {
        throw std::invalid_argument("pass radius " + std::to_string(radio) + " below 1");
    }
    return SemiCuerdas(CrearMascaraCircular(radio));
}

// Runs body(y0, y1) for every band of output rows, on all threads, with progress and cancel.
template <typename Body>
void PorBandas(int height, int radio, UserChannel& channel, int threads, const Body& body) {
    const int64_t band = FilasPorBanda(radio);
    ProgresoBandas progreso(channel, NumTrozos(height, band));
    ParallelFor(
        height, band,
        [&](int64_t, int64_t begin, int64_t end) {
            ComprobarCancelacion(channel);
            body(static_cast<int>(begin), static_cast<int>(end));
            progreso.BandaTerminada();
        },
        threads);
    progreso.Fin();
}

// The row kernels take their sizes by value: a length read through a reference could be
// overwritten by a byte store, as far as the compiler knows, and the loops would not vectorise.

// next[i] = min(prev[i - 1], prev[i], prev[i + 1]) for i = 1..n-2.
void MinimoDeTres(const uint8_t* __restrict prev, uint8_t* __restrict next, int n) {
    for (int i = 1; i < n - 1; ++i) {
        const uint8_t a = prev[i - 1] < prev[i] ? prev[i - 1] : prev[i];
        next[i] = a < prev[i + 1] ? a : prev[i + 1];
    }
}

// dst[x] = min(dst[x], src[x]).
void MinimoEn(uint8_t* __restrict dst, const uint8_t* __restrict src, int n) {
    for (int x = 0; x < n; ++x) {
        dst[x] = dst[x] < src[x] ? dst[x] : src[x];
    }
}

// Adds the chord sums hi[x] - lo[x] (differences of row prefix sums). The prefix sums are
// unsigned and may wrap along a very wide row: their difference is still exact modulo 2^32, and
// a chord's own sum is far below 2^31.
void SumarCuerda(int32_t* __restrict suma, const uint32_t* __restrict hi,
                 const uint32_t* __restrict lo, int n) {
    for (int x = 0; x < n; ++x) {
        suma[x] += static_cast<int32_t>(hi[x] - lo[x]);
    }
}

}  // namespace

uint8_t NivelMapa(double indice, int n) {
    return static_cast<uint8_t>(Redondear((indice - n) * 255 / (1 - n)));
}

PlanoMapa PasadaAntiGhost(const PlanoMapa& indices, int radio, UserChannel& channel, int threads) {
    const std::vector<int> half = SemiCuerdasDelDisco(radio);
    const int w = indices.width;
    const int h = indices.height;
    const int r = radio;
    PlanoMapa salida(w, h);
    // A padded row: r cells of kSinIndice on each side, so every window stays inside it.
    const int padded = w + 2 * r;

    PorBandas(h, r, channel, threads, [&](int y0, int y1) {
        std::vector<uint8_t> acc(static_cast<size_t>(y1 - y0) * w, kSinIndice);
        // minimos[k][x + r]: the minimum of the input row over [x - k, x + k], clipped.
        std::vector<uint8_t> minimos(static_cast<size_t>(r + 1) * padded, kSinIndice);
        const int first = std::max(0, y0 - r);
        const int last = std::min(h, y1 + r);
        for (int ys = first; ys < last; ++ys) {
            uint8_t* m0 = minimos.data();
            std::copy_n(indices.row(ys), w, m0 + r);
            // The window of half-width k + 1 is the union of the windows of half-width k one
            // step left, in place and one step right (the middle one matters only for k = 0).
            for (int k = 0; k < r; ++k) {
                const uint8_t* prev = minimos.data() + static_cast<size_t>(k) * padded;
                uint8_t* next = minimos.data() + static_cast<size_t>(k + 1) * padded;
                MinimoDeTres(prev, next, padded);
                next[0] = kSinIndice;
                next[padded - 1] = kSinIndice;
            }
            // Scatter this input row into every output row of the band whose disc reaches it.
            const int ya = std::max(y0, ys - r);
            const int yb = std::min(y1, ys + r + 1);
            for (int y = ya; y < yb; ++y) {
                const int k = half[static_cast<size_t>(ys - y + r)];
                MinimoEn(acc.data() + static_cast<size_t>(y - y0) * w,
                         minimos.data() + static_cast<size_t>(k) * padded + r, w);
            }
        }
        std::copy(acc.begin(), acc.end(), salida.row(y0));
    });
    return salida;
}

PlanoMapa PasadaProgresiva(const PlanoMapa& indices, int n, int radio, UserChannel& channel,
                           int threads) {
    const std::vector<int> half = SemiCuerdasDelDisco(radio);
    const int w = indices.width;
    const int h = indices.height;
    const int r = radio;
    // A disc holds at most (2r + 1)^2 indices of at most 255: the sums stay in 32 bits as long
    // as that product does.
    if (static_cast<int64_t>(2 * r + 1) * (2 * r + 1) * 255 > INT32_MAX) {
        throw std::invalid_argument("progressive radius " + std::to_string(r) + " too large");
    }
    PlanoMapa salida(w, h);
    // Prefix arrays indexed j = x + off, off = r + 1, clamped to the row: the chord [x-k, x+k]
    // sums to P[x + k + 1 + off] - P[x - k + off] whatever part of it leaves the image. The
    // count of a chord's pixels inside the image is the same difference over the prefix of ones.
    const int off = r + 1;
    const int padded = w + 2 * r + 2;
    std::vector<uint32_t> prefijo_unos(static_cast<size_t>(padded));
    for (int j = 0; j < padded; ++j) {
        prefijo_unos[static_cast<size_t>(j)] = static_cast<uint32_t>(std::clamp(j - off, 0, w));
    }
    // Pixels of the disc inside the image, columns [xa, xa + nt) of row y.
    auto contar = [&](int y, int xa, int nt, int32_t* cuenta) {
        std::fill_n(cuenta, nt, 0);
        for (int ys = std::max(0, y - r); ys < std::min(h, y + r + 1); ++ys) {
            const int k = half[static_cast<size_t>(ys - y + r)];
            SumarCuerda(cuenta, prefijo_unos.data() + off + k + 1 + xa,
                        prefijo_unos.data() + off - k + xa, nt);
        }
    };
    // Every row whose disc stays inside the image vertically has the same counts.
    const bool hay_interior = h > 2 * r;
    std::vector<int32_t> cuenta_interior(static_cast<size_t>(w));
    if (hay_interior) {
        contar(r, 0, w, cuenta_interior.data());
    }

    PorBandas(h, r, channel, threads, [&](int y0, int y1) {
        const int first = std::max(0, y0 - r);
        const int last = std::min(h, y1 + r);
        std::vector<uint32_t> prefijos(static_cast<size_t>(last - first) * padded);
        for (int ys = first; ys < last; ++ys) {
            const uint8_t* in = indices.row(ys);
            uint32_t* prefijo = prefijos.data() + static_cast<size_t>(ys - first) * padded;
            uint32_t running = 0;
            for (int j = 0; j < padded; ++j) {
                const int x = j - off;
                if (x >= 1 && x <= w) {
                    running += in[x - 1];
                }
                prefijo[j] = running;
            }
        }
        // Column tiles keep the rows of prefixes a tile reads in the core's cache while every
        // output row of the band is summed.
        std::vector<int32_t> suma(static_cast<size_t>(kColumnasPorTeja));
        std::vector<int32_t> cuenta_borde(static_cast<size_t>(kColumnasPorTeja));
        for (int xa = 0; xa < w; xa += kColumnasPorTeja) {
            const int nt = std::min(kColumnasPorTeja, w - xa);
            for (int y = y0; y < y1; ++y) {
                std::fill_n(suma.data(), nt, 0);
                for (int ys = std::max(0, y - r); ys < std::min(h, y + r + 1); ++ys) {
                    const int k = half[static_cast<size_t>(ys - y + r)];
                    const uint32_t* prefijo =
                        prefijos.data() + static_cast<size_t>(ys - first) * padded;
                    SumarCuerda(suma.data(), prefijo + off + k + 1 + xa, prefijo + off - k + xa,
                                nt);
                }
                const int32_t* cuenta = cuenta_interior.data() + xa;
                if (!hay_interior || y < r || y >= h - r) {
                    contar(y, xa, nt, cuenta_borde.data());
                    cuenta = cuenta_borde.data();
                }
                uint8_t* out = salida.row(y) + xa;
                for (int i = 0; i < nt; ++i) {
                    const double media =
                        static_cast<double>(suma[static_cast<size_t>(i)]) / cuenta[i];
                    out[i] = NivelMapa(media, n);
                }
            }
        }
    });
    return salida;
}

PlanoMapa PasadaAntiGhostIngenua(const PlanoMapa& indices, int n, int radio) {
    const MascaraCircular mascara = CrearMascaraCircular(radio);
    const int w = indices.width;
    const int h = indices.height;
    const int r = radio;
    PlanoMapa salida(w, h);
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y) {
            int m = n;
            for (int dx = std::max(-r, -x); dx <= std::min(r, w - 1 - x) && m > 1; ++dx) {
                for (int dy = std::max(-r, -y); dy <= std::min(r, h - 1 - y) && m > 1; ++dy) {
                    if (mascara.at(dx, dy) != 0 && indices.at(x + dx, y + dy) < m) {
                        m = indices.at(x + dx, y + dy);
                    }
                }
            }
            salida.at(x, y) = static_cast<uint8_t>(m);
        }
    }
    return salida;
}

PlanoMapa PasadaProgresivaIngenua(const PlanoMapa& indices, int n, int radio) {
    const MascaraCircular mascara = CrearMascaraCircular(radio);
    const int w = indices.width;
    const int h = indices.height;
    const int r = radio;
    PlanoMapa salida(w, h);
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y) {
            int32_t s = 0;
            int32_t c = 0;
            for (int dx = std::max(-r, -x); dx <= std::min(r, w - 1 - x); ++dx) {
                for (int dy = std::max(-r, -y); dy <= std::min(r, h - 1 - y); ++dy) {
                    if (mascara.at(dx, dy) != 0) {
                        s += indices.at(x + dx, y + dy);
                        c += 1;
                    }
                }
            }
            salida.at(x, y) = NivelMapa(static_cast<double>(s) / c, n);
        }
    }
    return salida;
}

}  // namespace brimsal
