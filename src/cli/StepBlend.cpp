#include "cli/Steps.h"

namespace brimsal::cli {

bool StepBlend(const CliOptions&, Session&, UserChannel& channel) {
    channel.MensajeError("This build cannot run the blend step yet");
    return false;
}

}  // namespace brimsal::cli
