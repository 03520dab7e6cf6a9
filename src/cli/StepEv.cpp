#include "cli/Steps.h"
#include "maps/ExposureSet.h"
#include "maps/RelativeExposure.h"

namespace brimsal::cli {

bool StepEv(const CliOptions& options, Session& session, UserChannel& channel) {
    if (CargarTIFFs(session.Ruta, session.ArchivosRAW, session.set, channel, session.threads) < 2) {
        return false;
    }
    if (!OrdenarPorExposicion(true, session.set, channel, session.threads)) {
        return false;
    }
    RelativeExposureSettings settings;
    settings.average = options.ev_average;
    return CalcularExpRelativas(session.Ruta, settings, session.set, channel, session.threads) !=
           -1;
}

}  // namespace brimsal::cli
