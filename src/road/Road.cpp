#include "road/Road.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "base/Paths.h"
#include "base/UserChannel.h"
#include "blend/Blend.h"
#include "bwtest/ContactSheet.h"
#include "develop/DcrawCommand.h"
#include "develop/DevelopTables.h"
#include "develop/OutputColours.h"
#include "develop/RawFileSet.h"
#include "maps/BlendingMap.h"
#include "maps/ExposureSet.h"
#include "maps/FramePreload.h"
#include "maps/Thresholds.h"

namespace brimsal {

namespace {

// A headroom development's colour matrix, measured once per development line of the reference
// (the session keeps it). The log says when it mixes the channels, or why it could not be
// measured: the clips are then judged on the output's channels.
ColourMatrix ColoursOfTheSet(Session& session, const DevelopSettings& settings,
                             UserChannel& channel) {
    const std::string line =
        DcrawLine(kDcrawProgram, QuickArguments(settings, false, session.Ruta));
    if (line != session.colours_line) {
        const MeasuredColours measured = MeasureOutputColours(session.Ruta, settings, channel);
        if (!measured.colours) {
            channel.AnadirLog("Colour matrix of the development not measured (" + measured.failure +
                                  "): clips judged on the output's channels",
                              true);
        } else if (*measured.colours != kIdentityColours) {
            channel.AnadirLog(
                "The development's colour matrix mixes the channels: clips judged on the "
                "camera's channels",
                true);
        }
        session.colours = measured.colours.value_or(kIdentityColours);
        session.colours_line = line;
    }
    return session.colours;
}

// How the set was developed, with a headroom development's colour matrix; when the multipliers
// give no scale (a headroom development needs positive numbers), the unexpected-error report
// naming `procedure` and nullopt.
std::optional<DevelopScale> ScaleOfTheSet(Session& session, const DevelopSettings& settings,
                                          UserChannel& channel, const char* procedure) {
    return TrapUnexpected(channel, procedure, std::optional<DevelopScale>(), [&] {
        DevelopScale scale = DevelopScaleOf(settings);
        if (scale.headroom) {
            scale.colours = ColoursOfTheSet(session, settings, channel);
        }
        return std::optional(scale);
    });
}

// Multipliers that cannot be developed with end a development before dcraw runs: the error box
// says why, and false.
bool MultipliersUsable(const WhiteBalanceSettings& wb, UserChannel& channel) {
    const std::string problem = MultiplierProblem(wb);
    if (!problem.empty()) {
        channel.MensajeError(problem);
    }
    return problem.empty();
}

// The batch, then the set loaded and sorted to find its darkest frame (the set ends released,
// TIFFMasOscuro set), which is developed again with highlight recovery.
DevelopResult DevelopWithHighlightRecovery(Session& session, const DevelopSettings& settings,
                                           UserChannel& channel) {
    DevelopResult batch =
        Revelado(session.Ruta, session.ArchivosRAW, session.threads, settings, channel);
    if (!batch.hl_pending) {
        return batch;
    }
    DevelopResult failed;
    failed.NumArchivosRevelar = batch.NumArchivosRevelar;
    if (CargarTIFFs(session.Ruta, session.ArchivosRAW, session.set, channel, session.threads) < 2) {
        return failed;
    }
    if (!OrdenarPorExposicion(false, session.set, channel, session.threads)) {
        return failed;
    }
    return ReveladoHLRecovery(session.set.TIFFMasOscuro, session.Ruta, session.ArchivosRAW,
                              settings, batch.NumArchivosRevelar, channel);
}

}  // namespace

BlendSettings BlendSettingsOf(const RoadSettings& settings) {
    BlendSettings blend = settings.blend;
    blend.Profile = kProfiles.at(static_cast<size_t>(settings.develop.profile));
    return blend;
}

bool RunListing(Session& session, UserChannel& channel) {
    return LeerArchivosRAW(session.Ruta, session.ArchivosRAW, channel);
}

DevelopResult RunQuickDevelop(const Session& session, const DevelopSettings& settings,
                              UserChannel& channel) {
    if (!MultipliersUsable(settings.wb, channel)) {
        return {};
    }
    return ReveladoRapido(session.Ruta, false, settings, channel);
}

bool RunMeasurePatch(Session& session, const WBPatch& patch, DevelopSettings& settings,
                     UserChannel& channel, const std::string& shown_line) {
    const bool neutral_shown = shown_line == QuickLine(settings, true);
    if (!neutral_shown && !ReveladoRapido(session.Ruta, true, settings, channel).finished) {
        return false;
    }
    session.patch = patch;
    WhiteBalanceSettings measured = settings.wb;
    if (CalcularWBPatch(session.Ruta, session.patch, measured, channel) != 1) {
        return false;
    }
    measured.mode = WBMode::kPatch;
    if (!MultipliersUsable(measured, channel)) {
        return false;
    }
    settings.wb = measured;
    return true;
}

DevelopResult RunCalcWB(Session& session, const WBPatch& patch, DevelopSettings& settings,
                        const std::string& shown_line, UserChannel& channel) {
    if (!RunMeasurePatch(session, patch, settings, channel, shown_line)) {
        return {};
    }
    return RunQuickDevelop(session, settings, channel);
}

DevelopResult RunDevelop(Session& session, const DevelopSettings& settings, UserChannel& channel) {
    session.preloaded.reset();
    if (!MultipliersUsable(settings.wb, channel)) {
        return {};
    }
    if (settings.hlRecovery) {
        return DevelopWithHighlightRecovery(session, settings, channel);
    }
    auto preloaded = std::make_shared<FramePreloader>();
    DevelopResult result =
        Revelado(session.Ruta, session.ArchivosRAW, session.threads, settings, channel,
                 [&](const std::string& tiff) { preloaded->Submit(tiff); });
    if (result.finished) {
        session.preloaded = std::move(preloaded);
    }
    return result;
}

bool RunCalcEv(Session& session, const RoadSettings& settings, UserChannel& channel) {
    // Frames read during the development are taken over; whatever is left is dropped.
    const std::shared_ptr<FramePreloader> preloaded = std::exchange(session.preloaded, nullptr);
    if (CargarTIFFs(session.Ruta, session.ArchivosRAW, session.set, channel, session.threads,
                    preloaded.get()) < 2) {
        return false;
    }
    if (!OrdenarPorExposicion(true, session.set, channel, session.threads)) {
        return false;
    }
    RelativeExposureSettings ev = settings.ev;
    const std::optional<DevelopScale> scale =
        ScaleOfTheSet(session, settings.develop, channel, "CalcularExpRelativas");
    if (!scale) {
        return false;
    }
    if (scale->headroom) {
        // Each channel saturates at its own level: Calc EV clips at the map's thresholds.
        MapSettings map = settings.map;
        map.scale = *scale;
        ev.clip = EvClipLevels(map, settings.develop.wb);
        ev.colours = scale->colours;
    }
    return CalcularExpRelativas(session.Ruta, ev, session.set, channel, session.threads) != -1;
}

bool RunBuildMap(Session& session, const RoadSettings& settings, UserChannel& channel) {
    MapSettings map = settings.map;
    const std::optional<DevelopScale> scale =
        ScaleOfTheSet(session, settings.develop, channel, "GenerarMapa");
    if (!scale) {
        return false;
    }
    map.scale = *scale;
    return GenerarMapa(session.Ruta, map, settings.develop.wb, session.set, session.map, channel,
                       session.threads);
}

bool UseChosenMap(const std::string& file, Session& session, UserChannel& channel) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(file, error);
    const std::string path = error ? file : absolute.lexically_normal().string();
    if (!ExisteArchivo(path)) {
        channel.MensajeError("Map file '" + file + "' not found");
        return false;
    }
    const auto table_built = [&] {
        session.map.IndicePorNivel = BuildIndicePorNivel(session.set.N());
        return true;
    };
    if (session.set.N() >= 2 && !TrapUnexpected(channel, "GenerarMapa", false, table_built)) {
        return false;
    }
    session.map.map_path = path;
    if (session.map.built && session.map.built->ruta != path) {
        session.map.built.reset();  // another map: the built one's levels are not needed
    }
    return true;
}

bool RunBlend(Session& session, bool bw, const RoadSettings& settings, UserChannel& channel) {
    BlendSettings blend = BlendSettingsOf(settings);
    const std::optional<DevelopScale> scale =
        ScaleOfTheSet(session, settings.develop, channel, "FusionarImagenes");
    if (!scale) {
        return false;
    }
    blend.scale = *scale;
    return FusionarImagenes(session.Ruta, bw, blend, session.set, session.map, channel,
                            session.threads) >= 0;
}

bool RunContactSheet(Session& session, UserChannel& channel) {
    return TestImagenesBN(session.Ruta, session.set, session.map, channel, session.threads) >= 0;
}

}  // namespace brimsal
