#include <filesystem>

#include "cli/Steps.h"
#include "maps/BlendingMap.h"

namespace brimsal::cli {

namespace {

// --map FILE: the blend reads that map with the level table of the current set; the map's size
// is checked by its readers.
bool UsarMapaElegido(const std::string& archivo, Session& session, UserChannel& channel) {
    std::error_code error;
    const auto absoluta = std::filesystem::absolute(archivo, error);
    const std::string ruta = error ? archivo : absoluta.lexically_normal().string();
    if (!ExisteArchivo(ruta)) {
        channel.MensajeError("Map file '" + archivo + "' not found");
        return false;
    }
    try {
        session.mapa.IndicePorNivel = ConstruirIndicePorNivel(session.set.N());
    } catch (const std::exception& unexpected) {
        ErrorInesperado(channel, "GenerarMapa", unexpected);
        return false;
    }
    session.mapa.RutaMapa = ruta;
    return true;
}

}  // namespace

bool StepMap(const CliOptions& options, Session& session, UserChannel& channel) {
    if (options.map) {
        return UsarMapaElegido(*options.map, session, channel);
    }
    MapSettings settings;
    settings.threshold = options.threshold;
    settings.antighost = options.antighost;
    settings.progressive = options.progressive;
    // A patch measured during development replaces the coefficients the options gave.
    const WhiteBalanceSettings wb = session.wb_medido.value_or(options.wb);
    return GenerarMapa(session.Ruta, settings, wb, session.set, session.mapa, channel,
                       session.threads);
}

}  // namespace brimsal::cli
