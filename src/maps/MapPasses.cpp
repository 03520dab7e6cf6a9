#include "maps/MapPasses.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <string>

#include "app/Misc.h"
#include "app/Parallel.h"
#include "maps/DiscMask.h"

namespace brimsal {

namespace {

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
                const uint8_t* __restrict prev = minimos.data() + static_cast<size_t>(k) * padded;
                uint8_t* __restrict next = minimos.data() + static_cast<size_t>(k + 1) * padded;
                for (int i = 1; i < padded - 1; ++i) {
                    next[i] = std::min(std::min(prev[i - 1], prev[i]), prev[i + 1]);
                }
                next[0] = kSinIndice;
                next[padded - 1] = kSinIndice;
            }
            // Scatter this input row into every output row of the band whose disc reaches it.
            const int ya = std::max(y0, ys - r);
            const int yb = std::min(y1, ys + r + 1);
            for (int y = ya; y < yb; ++y) {
                const int k = half[static_cast<size_t>(ys - y + r)];
                const uint8_t* __restrict src =
                    minimos.data() + static_cast<size_t>(k) * padded + r;
                uint8_t* __restrict dst = acc.data() + static_cast<size_t>(y - y0) * w;
                for (int x = 0; x < w; ++x) {
                    dst[x] = std::min(dst[x], src[x]);
                }
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
    // sums to P[x + k + 1 + off] - P[x - k + off] whatever part of it leaves the image.
    const int off = r + 1;
    const int padded = w + 2 * r + 2;
    std::vector<int32_t> cuenta_prefijo(static_cast<size_t>(padded));
    for (int j = 0; j < padded; ++j) {
        cuenta_prefijo[static_cast<size_t>(j)] = std::clamp(j - off, 0, w);
    }

    PorBandas(h, r, channel, threads, [&](int y0, int y1) {
        const size_t cells = static_cast<size_t>(y1 - y0) * w;
        std::vector<int32_t> suma(cells, 0);
        std::vector<int32_t> cuenta(cells, 0);
        std::vector<int32_t> prefijo(static_cast<size_t>(padded));
        const int first = std::max(0, y0 - r);
        const int last = std::min(h, y1 + r);
        for (int ys = first; ys < last; ++ys) {
            const uint8_t* in = indices.row(ys);
            int32_t running = 0;
            for (int j = 0; j < padded; ++j) {
                const int x = j - off;
                if (x >= 1 && x <= w) {
                    running += in[x - 1];
                }
                prefijo[static_cast<size_t>(j)] = running;
            }
            const int ya = std::max(y0, ys - r);
            const int yb = std::min(y1, ys + r + 1);
            for (int y = ya; y < yb; ++y) {
                const int k = half[static_cast<size_t>(ys - y + r)];
                const int32_t* __restrict hi = prefijo.data() + off + k + 1;
                const int32_t* __restrict lo = prefijo.data() + off - k;
                const int32_t* __restrict chi = cuenta_prefijo.data() + off + k + 1;
                const int32_t* __restrict clo = cuenta_prefijo.data() + off - k;
                int32_t* __restrict s = suma.data() + static_cast<size_t>(y - y0) * w;
                int32_t* __restrict c = cuenta.data() + static_cast<size_t>(y - y0) * w;
                for (int x = 0; x < w; ++x) {
                    s[x] += hi[x] - lo[x];
                    c[x] += chi[x] - clo[x];
                }
            }
        }
        uint8_t* out = salida.row(y0);
        for (size_t i = 0; i < cells; ++i) {
            const double media = static_cast<double>(suma[i]) / cuenta[i];
            out[i] = NivelMapa(media, n);
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
