#include "cli/Steps.h"
#include "maps/ExposureSet.h"

namespace brimsal::cli {

bool StepEv(const CliOptions& options, Session& session, UserChannel& channel) {
    (void)options;
    if (CargarTIFFs(session.Ruta, session.ArchivosRAW, session.set, channel, session.threads) < 2) {
        return false;
    }
    if (!OrdenarPorExposicion(true, session.set, channel, session.threads)) {
        return false;
    }
    return true;
}

}  // namespace brimsal::cli
