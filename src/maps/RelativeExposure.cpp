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
#include "base/UserChannel.h"
#include "image/Picture.h"
#include "maps/ExposureHistogram.h"

namespace brimsal {

namespace {

// Thousandths of an EV per neper, as the histogram's bins are defined (1000 / ln 2).
constexpr double kMilesimasEVPorNeperio = 1442.69504088896;
// The Median read-outs multiply by this before rounding so that a value ending in 5 at the
// rounding digit goes up, as the method has always shown it.
constexpr double kEmpujon = 1.00000000001;
// Weights 1 + floor(16 b / 65535): brighter samples count more.
constexpr int kEscalaPeso = 16;
constexpr int kFondoEscala = 65535;
constexpr int kUltimoBin = kBinsHistograma - 1;
constexpr int kFilasPorTrozo = 32;
// ln(b) - ln(a) from a table agrees with ln(b / a) to about 1e-14; times 1442.7 that is far
// below this margin, so a value this far from a rounding half rounds the same either way.
constexpr double kMargenRedondeo = 1e-6;

enum class Metodo { kAverage, kMedian };

// What one pair's sampling gathered. Integer sums: exact, and the same for any chunking.
struct MuestrasPar {
    int64_t suma_a = 0;         // Average: sum of the darker image's samples
    int64_t suma_b = 0;         // Average: sum of the brighter image's samples
    int64_t cuenta = 0;         // valid channel samples
    std::vector<int64_t> bins;  // Median: weighted histogram of EV differences

    void Sumar(const MuestrasPar& otra) {
        suma_a += otra.suma_a;
        suma_b += otra.suma_b;
        cuenta += otra.cuenta;
        for (size_t i = 0; i < otra.bins.size(); ++i) {
            bins[i] += otra.bins[i];
        }
    }
};

using NivelesRecorte = std::array<int32_t, 3>;

bool EsMuestra(int v, int32_t recorte) {
    return v > kNivelSuelo && v < recorte;
}

// The histogram bin of a sample pair: Round(ln(b / a) * 1442.69...) clamped to 0..8191. The
// table difference decides unless the value sits at a rounding half, where the exact
// expression is evaluated.
int BinDeMuestra(int a, int b, const double* ln) {
    const double t = (ln[b] - ln[a]) * kMilesimasEVPorNeperio;
    double d;
    if (std::fabs(t - std::floor(t) - 0.5) > kMargenRedondeo) {
        d = Redondear(t);
    } else {
        d = Redondear(std::log(static_cast<double>(b) / a) * kMilesimasEVPorNeperio);
    }
    return static_cast<int>(std::clamp(d, 0.0, static_cast<double>(kUltimoBin)));
}

// Flags the pixels of row y of the brighter image that have a channel at or above the clip level.
void MarcarRecortados(const Frame& brillante, int y, const NivelesRecorte& recorte,
                      std::vector<uint8_t>& marcas) {
    const uint16_t* p = brillante.row(y);
    for (int x = 0; x < brillante.width; ++x, p += 3) {
        marcas[static_cast<size_t>(x)] = static_cast<uint8_t>(
            int{p[0] >= recorte[0]} | int{p[1] >= recorte[1]} | int{p[2] >= recorte[2]});
    }
}

MuestrasPar MuestrearPar(const Frame& oscura, const Frame& brillante, Metodo metodo,
                         const NivelesRecorte& recorte, const std::vector<double>& ln,
                         UserChannel& channel, int threads) {
    const int w = brillante.width;
    const int h = brillante.height;
    MuestrasPar total;
    if (metodo == Metodo::kMedian) {
        total.bins.assign(kBinsHistograma, 0);
    }
    if (w < 3 || h < 3) {
        return total;
    }
    // Rows 1..h-2: only pixels whose 8 neighbours are inside the image are sampled.
    const int64_t filas = h - 2;
    std::vector<MuestrasPar> parciales(static_cast<size_t>(NumTrozos(filas, kFilasPorTrozo)));
    ParallelFor(
        filas, kFilasPorTrozo,
        [&](int64_t trozo, int64_t begin, int64_t end) {
            ComprobarCancelacion(channel);
            MuestrasPar parcial;
            if (metodo == Metodo::kMedian) {
                parcial.bins.assign(kBinsHistograma, 0);
            }
            std::array<std::vector<uint8_t>, 3> marcas;
            for (auto& m : marcas) {
                m.assign(static_cast<size_t>(w), 0);
            }
            const int y_first = static_cast<int>(begin) + 1;
            MarcarRecortados(brillante, y_first - 1, recorte, marcas[0]);
            MarcarRecortados(brillante, y_first, recorte, marcas[1]);
            for (int y = y_first; y < static_cast<int>(end) + 1; ++y) {
                MarcarRecortados(brillante, y + 1, recorte, marcas[2]);
                const uint8_t* arriba = marcas[0].data();
                const uint8_t* medio = marcas[1].data();
                const uint8_t* abajo = marcas[2].data();
                const uint16_t* pa = oscura.row(y);
                const uint16_t* pb = brillante.row(y);
                for (int x = 1; x < w - 1; ++x) {
                    // The pixel itself is not part of the clip test, only its 8 neighbours.
                    if (arriba[x - 1] | arriba[x] | arriba[x + 1] | medio[x - 1] | medio[x + 1] |
                        abajo[x - 1] | abajo[x] | abajo[x + 1]) {
                        continue;
                    }
                    for (int c = 0; c < 3; ++c) {
                        const int a = pa[3 * x + c];
                        const int b = pb[3 * x + c];
                        if (!EsMuestra(a, recorte[c]) || !EsMuestra(b, recorte[c])) {
                            continue;
                        }
                        ++parcial.cuenta;
                        if (metodo == Metodo::kAverage) {
                            parcial.suma_a += a;
                            parcial.suma_b += b;
                        } else {
                            parcial.bins[static_cast<size_t>(BinDeMuestra(a, b, ln.data()))] +=
                                1 + kEscalaPeso * b / kFondoEscala;
                        }
                    }
                }
                std::rotate(marcas.begin(), marcas.begin() + 1, marcas.end());
            }
            parciales[static_cast<size_t>(trozo)] = std::move(parcial);
        },
        threads);
    for (const MuestrasPar& parcial : parciales) {
        total.Sumar(parcial);
    }
    return total;
}

// The first bin at which the cumulative weight reaches half the total (half not truncated).
int BinMediano(const std::vector<int64_t>& bins, int64_t total) {
    const double mitad = static_cast<double>(total) / 2;
    int64_t acumulado = 0;
    for (int k = 0; k < kBinsHistograma; ++k) {
        acumulado += bins[static_cast<size_t>(k)];
        if (static_cast<double>(acumulado) >= mitad) {
            return k;
        }
    }
    return kUltimoBin;
}

// X: the exposure of image i as a multiple of image 1, two decimals.
std::string TextoMultiplo(double e) {
    return TextoNumero(Redondear(1 / e * 100) / 100);
}

// V: the EV of image i above image 1, two decimals.
std::string TextoEV(double e, Metodo metodo) {
    const double ev = -std::log(e) / std::log(2.0) * 100;
    return TextoNumero(Redondear(metodo == Metodo::kMedian ? ev * kEmpujon : ev) / 100);
}

// L: the share of the whole frame's channel samples that were used, percent, one decimal.
std::string TextoNivel(int64_t cuenta, int w, int h) {
    return TextoNumero(Redondear(static_cast<double>(cuenta) / w / h / 3 * 1000) / 10);
}

int ErrorDeSalto(UserChannel& channel, const std::string& tipo, const std::string& oscura,
                 const std::string& brillante) {
    channel.AnadirLog(tipo + " exposure gap", true);
    channel.AnadirLog("DONE", true);
    channel.MensajeError(tipo + " exposure gap between " + oscura + " and " + brillante);
    return -1;
}

}  // namespace

int CalcularExpRelativas(const std::string& ruta, const RelativeExposureSettings& settings,
                         ExposureSet& set, UserChannel& channel, int threads) {
    // A cancelled run leaves the previous relative exposures as they were.
    std::vector<double> previas = set.ExpRelativas;
    try {
        const Metodo metodo = settings.average ? Metodo::kAverage : Metodo::kMedian;
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
        auto nombre = [&](int i) {
            return NombreArchivo(set.ArchivosTIFF[static_cast<size_t>(i - 1)]);
        };

        channel.AnadirLog("\nCalculating relative exposure...", true);
        std::vector<double>& e = set.ExpRelativas;
        e.assign(static_cast<size_t>(n), 0.0);
        e[0] = 1.0;
        channel.AnadirLog(
            nombre(1) + ": " + TextoMultiplo(e[0]) + " (" + TextoEV(e[0], metodo) + "EV)", true);

        std::vector<double> ln(kFondoEscala + 1, 0.0);
        for (int v = 1; v <= kFondoEscala; ++v) {
            ln[static_cast<size_t>(v)] = std::log(static_cast<double>(v));
        }
        Picture lienzo;
        if (metodo == Metodo::kMedian) {
            lienzo = CrearLienzoHistograma(n);
        }

        for (int i = 2; i <= n; ++i) {
            const size_t ii = static_cast<size_t>(i - 1);
            const MuestrasPar muestras =
                MuestrearPar(set.Imagenes[ii - 1], set.Imagenes[ii], metodo, settings.recorte, ln,
                             channel, threads);
            int k = 0;
            if (metodo == Metodo::kAverage) {
                if (muestras.suma_b == 0) {
                    return ErrorDeSalto(channel, "Too wide", nombre(i - 1), nombre(i));
                }
                if (muestras.suma_a > muestras.suma_b) {
                    return ErrorDeSalto(channel, "Too narrow", nombre(i - 1), nombre(i));
                }
                // Both sums are exact in a double well beyond any frame size (below 2^53).
                e[ii] = static_cast<double>(muestras.suma_a) /
                        static_cast<double>(muestras.suma_b) * e[ii - 1];
            } else {
                int64_t total = 0;
                for (int64_t bin : muestras.bins) {
                    total += bin;
                }
                if (total == 0) {
                    return ErrorDeSalto(channel, "Too wide", nombre(i - 1), nombre(i));
                }
                k = BinMediano(muestras.bins, total);
                e[ii] = e[ii - 1] / std::pow(2.0, k / 1000.0);
            }
            channel.AnadirLog(nombre(i) + ": " + TextoMultiplo(e[ii]) + " (+" +
                                  TextoEV(e[ii], metodo) + "EV) (" +
                                  TextoNivel(muestras.cuenta, w, h) + "% lev)",
                              true);
            if (metodo == Metodo::kMedian) {
                DibujarBandaHistograma(lienzo, i - 2, muestras.bins, k);
            }
        }

        if (metodo == Metodo::kMedian) {
            NombreNuevo archivo =
                PrimerNombreLibre(CarpetaDeRuta(ruta), "His_" + HoraHHMMSS(), ".gif");
            lienzo.SetSaveFormat(SaveFormat::kGif);
            lienzo.SaveToFile(archivo);
            channel.AnadirLog("\nSaving exposure histogram as " + archivo.nombre() + "...", true);
        }
        channel.AnadirLog("DONE", true);
        channel.Beep();
        return 1;
    } catch (const Cancelled&) {
        set.ExpRelativas = std::move(previas);
        throw;
    } catch (const std::exception& error) {
        ErrorInesperado(channel, "CalcularExpRelativas", error);
        return -1;
    }
}

}  // namespace brimsal
