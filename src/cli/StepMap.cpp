#include "cli/Steps.h"

namespace brimsal::cli {

bool StepMap(const CliOptions&, Session&, UserChannel& channel) {
    channel.MensajeError("This build cannot run the map step yet");
    return false;
}

}  // namespace brimsal::cli
