#include "blend/BlendMap.h"

#include <cmath>

#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "image/Picture.h"
#include "maps/MapState.h"

namespace brimsal {

namespace {

constexpr int64_t kPixelesPorTrozo = 1 << 20;
constexpr double kMilesimas = 1000.0;
constexpr double kDecimas = 10.0;

// A percentage with one decimal: Round(fraction x 1000) / 10, halves to even.
double PorcentajeUnDecimal(double fraccion) {
    return Redondear(fraccion * kMilesimas) / kDecimas;
}

}  // namespace

TablaNiveles DecodificarNiveles(const std::array<float, 256>& indice_por_nivel, int n) {
    TablaNiveles tabla{};
    for (size_t nivel = 0; nivel < tabla.size(); ++nivel) {
        NivelMapa& entrada = tabla[nivel];
        const float m = indice_por_nivel[nivel];
        entrada.m = m;
        // The negated test also refuses a NaN.
        if (!(m >= 1.0f && m <= static_cast<float>(n))) {
            continue;
        }
        entrada.valido = true;
        entrada.k = static_cast<int>(std::floor(m));
        entrada.f = m - static_cast<float>(entrada.k);
        entrada.genuino = entrada.f == 0.0f;
    }
    return tabla;
}

HistogramaNiveles ContarNiveles(const uint8_t* niveles, int64_t cuenta, int threads) {
    std::vector<HistogramaNiveles> parciales(
        static_cast<size_t>(NumTrozos(cuenta, kPixelesPorTrozo)), HistogramaNiveles{});
    ParallelFor(
        cuenta, kPixelesPorTrozo,
        [&](int64_t trozo, int64_t inicio, int64_t fin) {
            HistogramaNiveles& parcial = parciales[static_cast<size_t>(trozo)];
            for (int64_t i = inicio; i < fin; ++i) {
                ++parcial[niveles[i]];
            }
        },
        threads);
    HistogramaNiveles total{};
    for (const auto& parcial : parciales) {
        for (size_t nivel = 0; nivel < total.size(); ++nivel) {
            total[nivel] += parcial[nivel];
        }
    }
    return total;
}

ContribucionMapa CalcularContribuciones(const HistogramaNiveles& histograma,
                                        const TablaNiveles& tabla, int n) {
    ContribucionMapa resultado;
    resultado.Contribuciones.assign(static_cast<size_t>(n), 0.0);
    for (size_t nivel = 0; nivel < histograma.size(); ++nivel) {
        const int64_t pixeles = histograma[nivel];
        if (pixeles == 0) {
            continue;
        }
        const NivelMapa& entrada = tabla[nivel];
        if (!entrada.valido) {
            throw RunTimeError(kErrSubscript,
                               "Subscript out of range (map level " + std::to_string(nivel) +
                                   " stands for frame index " + TextoNumero(entrada.m, ".") +
                                   ", the set has " + std::to_string(n) + " images)");
        }
        const auto k = static_cast<size_t>(entrada.k - 1);
        const auto cuenta = static_cast<double>(pixeles);
        if (entrada.genuino) {
            resultado.Contribuciones[k] += cuenta;
        } else {
            const double f = entrada.f;
            resultado.Contribuciones[k] += cuenta * (1.0 - f);
            resultado.Contribuciones[k + 1] += cuenta * f;
            resultado.PixelesProgresivos += pixeles;
        }
    }
    return resultado;
}

void RegistrarContribuciones(const ContribucionMapa& contribucion, int64_t total,
                             const std::vector<std::string>& archivos, UserChannel& channel) {
    const auto pixeles = static_cast<double>(total);
    for (size_t i = 0; i < contribucion.Contribuciones.size(); ++i) {
        const double p = PorcentajeUnDecimal(contribucion.Contribuciones[i] / pixeles);
        channel.AnadirLog(NombreArchivo(archivos.at(i)) + ": " + TextoNumero(p) + "%", true);
    }
    const double genuinos =
        PorcentajeUnDecimal(1.0 - static_cast<double>(contribucion.PixelesProgresivos) / pixeles);
    channel.AnadirLog(TextoNumero(genuinos) + "% genuine pixels", true);
}

namespace {

// The checks of a map of ancho_mapa x alto_mapa that records the set size `registro` (null when
// it records none) against a set of ancho x alto and n frames, with their log lines and boxes.
bool MapaAdmisible(int ancho_mapa, int alto_mapa, const std::string* registro, int ancho, int alto,
                   int n, UserChannel& channel) {
    if (ancho_mapa != ancho || alto_mapa != alto) {
        channel.AnadirLog("Map dimensions mismatch", true);
        channel.AnadirLog("DONE", true);
        channel.MensajeError("Map dimensions do not match image dimensions");
        return false;
    }
    if (registro != nullptr && *registro != std::to_string(n)) {
        channel.AnadirLog("Map built for " + *registro + " images", true);
        channel.AnadirLog("DONE", true);
        channel.MensajeError("The map was built for a set of " + *registro +
                             " images; this set has " + std::to_string(n) +
                             ". Build the map again.");
        return false;
    }
    return true;
}

}  // namespace

bool CargarMapaComprobado(const std::string& ruta, int ancho, int alto, int n, Picture& mapa,
                          UserChannel& channel) {
    if (!ExisteArchivo(ruta)) {
        throw RunTimeError(kErrFileNotFound, "File not found: '" + ruta + "'");
    }
    const PictureHeader cabecera = Picture::ReadHeader(ruta);
    const auto registro = cabecera.texts.find(kClaveImagenesMapa);
    if (!MapaAdmisible(cabecera.width, cabecera.height,
                       registro != cabecera.texts.end() ? &registro->second : nullptr, ancho, alto,
                       n, channel)) {
        mapa = Picture();
        return false;
    }
    mapa.LoadFromFile(ruta);
    if (!MapaAdmisible(mapa.GetWidth(), mapa.GetHeight(), nullptr, ancho, alto, n, channel)) {
        mapa = Picture();
        return false;
    }
    return true;
}

std::shared_ptr<const std::vector<uint8_t>> NivelesDelMapa(const MapState& estado, int ancho,
                                                           int alto, int n, Picture& mapa,
                                                           UserChannel& channel) {
    const std::optional<MapaConstruido>& construido = estado.construido;
    if (construido && construido->ruta == estado.RutaMapa &&
        StampOf(estado.RutaMapa) == construido->sello) {
        const std::string registro = std::to_string(construido->imagenes);
        if (!MapaAdmisible(construido->cabecera.width, construido->cabecera.height, &registro,
                           ancho, alto, n, channel)) {
            return nullptr;
        }
        return construido->niveles;
    }
    if (!CargarMapaComprobado(estado.RutaMapa, ancho, alto, n, mapa, channel)) {
        return nullptr;
    }
    auto niveles = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(ancho) * alto);
    mapa.GetRedSamples(niveles->data());
    return niveles;
}

}  // namespace brimsal
