#include "cli/Steps.h"
#include "develop/RawFileSet.h"

namespace brimsal::cli {

bool StepListing(const CliOptions&, Session& session, UserChannel& channel) {
    return LeerArchivosRAW(session.Ruta, session.ArchivosRAW, channel);
}

}  // namespace brimsal::cli
