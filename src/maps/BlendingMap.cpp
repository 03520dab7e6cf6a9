#include "maps/BlendingMap.h"

#include <cstring>
#include <memory>
#include <string>

#include "base/NewFiles.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "image/PngRows.h"
#include "maps/MapSettings.h"
#include "maps/MapState.h"
#include "maps/Thresholds.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

namespace {

constexpr int kNiveles = 256;
constexpr int64_t kFilasPorTrozo = 64;

void ComprobarTamanoSet(int n) {
    if (n < kMinImagenesMapa) {
        throw RunTimeError(kErrDivisionByZero, "Division by zero");
    }
    if (n > kMaxImagenesMapa) {
        throw RunTimeError(kErrOverflow, "Overflow");
    }
}

// Every pixel at the whole-frame level of its index (the map without a progressive pass).
PlanoMapa NivelesDeIndices(const PlanoMapa& indices, int n) {
    std::array<uint8_t, kNiveles> nivel{};
    for (int k = 1; k <= n; ++k) {
        nivel[static_cast<size_t>(k)] = NivelMapa(k, n);
    }
    PlanoMapa niveles(indices.width, indices.height);
    for (size_t i = 0; i < indices.data.size(); ++i) {
        niveles.data[i] = nivel[indices.data[i]];
    }
    return niveles;
}

}  // namespace

std::array<float, 256> ConstruirIndicePorNivel(int n) {
    ComprobarTamanoSet(n);
    std::array<float, kNiveles> tabla{};
    for (int nivel = 0; nivel < kNiveles; ++nivel) {
        tabla[static_cast<size_t>(nivel)] =
            static_cast<float>(n + static_cast<double>(1 - n) * nivel / 255);
    }
    // The level of a whole frame must read back as exactly that frame.
    for (int k = 1; k <= n; ++k) {
        tabla[NivelMapa(k, n)] = static_cast<float>(k);
    }
    return tabla;
}

PngRowsHeader CabeceraMapa(int ancho, int alto, int n) {
    PngRowsHeader header = CabeceraPngNueva(ancho, alto, PngColour::kGrey);
    // The blend refuses the map for a set of another size: its levels would name other frames.
    header.texts[kClaveImagenesMapa] = std::to_string(n);
    return header;
}

PlanoMapa MapaDeIndices(const ExposureSet& set, const std::array<int32_t, 3>& umbrales,
                        int threads) {
    const int n = set.N();
    const int w = set.AnchoImagen;
    const int h = set.AltoImagen;
    PlanoMapa indices(w, h);
    ParallelFor(
        h, kFilasPorTrozo,
        [&](int64_t, int64_t begin, int64_t end) {
            for (int y = static_cast<int>(begin); y < static_cast<int>(end); ++y) {
                uint8_t* out = indices.row(y);
                for (int x = 0; x < w; ++x) {
                    // Brightest first; frame 1 is taken without a test.
                    int k = n;
                    while (k > 1) {
                        const uint16_t* p = set.Imagenes[static_cast<size_t>(k - 1)].at(x, y);
                        if (p[0] <= umbrales[0] && p[1] <= umbrales[1] && p[2] <= umbrales[2]) {
                            break;
                        }
                        --k;
                    }
                    out[x] = static_cast<uint8_t>(k);
                }
            }
        },
        threads);
    return indices;
}

bool GenerarMapa(const std::string& ruta, const MapSettings& settings,
                 const WhiteBalanceSettings& wb, const ExposureSet& set, MapState& mapa,
                 UserChannel& channel, int threads) {
    const std::array<int32_t, 3> umbrales_previos = mapa.Umbrales;
    const std::array<float, 256> tabla_previa = mapa.IndicePorNivel;
    try {
        const int n = set.N();
        ComprobarTamanoSet(n);
        for (size_t i = 1; i < set.Imagenes.size(); ++i) {
            const Frame& frame = set.Imagenes[i];
            if (frame.width != set.AnchoImagen || frame.height != set.AltoImagen || frame.empty()) {
                throw RunTimeError(kErrSubscript, "Subscript out of range");
            }
        }

        channel.AnadirLog("Threshold optimisation...", false);
        const std::array<int32_t, 3> umbrales = OptimizarUmbrales(settings, wb);
        mapa.Umbrales = umbrales;
        channel.AnadirLog("R: " + std::to_string(umbrales[0]) + "\nG: " +
                              std::to_string(umbrales[1]) + "\nB: " + std::to_string(umbrales[2]),
                          true);

        channel.AnadirLog("\nBuilding pixel map...", true);
        PlanoMapa indices = MapaDeIndices(set, umbrales, threads);

        // The darker zones grow by the progressive radius too, so that the progressive
        // transition lies wholly where the brighter frame was valid.
        const int radio_antighost = settings.antighost + settings.progressive;
        if (radio_antighost >= 1) {
            channel.AnadirLog("Building anti ghosting map (" + std::to_string(settings.antighost) +
                                  "+" + std::to_string(settings.progressive) + "px) ...",
                              true);
            indices = PasadaAntiGhost(indices, radio_antighost, channel, threads);
        }
        PlanoMapa niveles;
        if (settings.progressive >= 1) {
            channel.AnadirLog(
                "Building progressive map (" + std::to_string(settings.progressive) + "px) ...",
                true);
            niveles = PasadaProgresiva(indices, n, settings.progressive, channel, threads);
        } else {
            niveles = NivelesDeIndices(indices, n);
        }
        indices = PlanoMapa();
        // The table is the last map built: a file that then cannot be written does not undo it.
        mapa.IndicePorNivel = ConstruirIndicePorNivel(n);

        channel.AnadirLog("Generating PNG map...", true);
        // The levels go to the file row by row and stay in memory for the blend.
        auto levels = std::make_shared<const std::vector<uint8_t>>(std::move(niveles.data));
        NombreNuevo archivo = PrimerNombreLibre(CarpetaDeRuta(ruta), "Map_" + HoraHHMMSS(), ".png");
        const PngRowsHeader cabecera = CabeceraMapa(set.AnchoImagen, set.AltoImagen, n);
        GuardarPngPorFilas(
            cabecera,
            [&](int y, uint8_t* fila) {
                std::memcpy(fila, levels->data() + static_cast<size_t>(y) * set.AnchoImagen,
                            static_cast<size_t>(set.AnchoImagen));
            },
            archivo);
        channel.AnadirLog("\nSaving PNG map as " + archivo.nombre() + "...", true);

        mapa.RutaMapa = archivo.ruta();
        mapa.construido.reset();
        if (const std::optional<FileStamp> sello = StampOf(archivo.ruta())) {
            mapa.construido =
                MapaConstruido{cabecera, n, std::move(levels), archivo.ruta(), *sello};
        }
        channel.AnadirLog("DONE", true);
        channel.Beep();
        return true;
    } catch (const Cancelled&) {
        mapa.Umbrales = umbrales_previos;
        mapa.IndicePorNivel = tabla_previa;
        throw;
    } catch (const std::exception& error) {
        ErrorInesperado(channel, "GenerarMapa", error);
        return false;
    }
}

}  // namespace brimsal
