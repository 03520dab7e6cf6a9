#include "cli/Steps.h"

namespace brimsal::cli {

bool StepDevelop(const CliOptions&, Session&, UserChannel& channel) {
    channel.MensajeError("This build cannot run the develop step yet");
    return false;
}

}  // namespace brimsal::cli
