#include "base/UserChannel.h"

#include <new>

namespace brimsal {

std::string UnexpectedErrorText(const std::string& module, int number,
                                const std::string& description) {
    return "Unexpected error occurred in module " + module + " \nError number " +
           std::to_string(number) + ", described as '" + description +
           "'\nPlease report giving all possible details to: " + kContactAddress;
}

void ErrorInesperado(UserChannel& channel, const std::string& module, int number,
                     const std::string& description) {
    channel.MensajeError(UnexpectedErrorText(module, number, description));
    channel.AnadirLog("An unexpected error occurred", false);
}

void ErrorInesperado(UserChannel& channel, const std::string& module, const std::exception& error) {
    if (const auto* runtime = dynamic_cast<const RunTimeError*>(&error)) {
        ErrorInesperado(channel, module, runtime->number(), runtime->what());
    } else if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        ErrorInesperado(channel, module, 7, "Out of memory");
    } else {
        ErrorInesperado(channel, module, kErrInvalidArgument, error.what());
    }
}

void ThrowIfCancelled(const UserChannel& channel) {
    if (channel.CancelRequested()) {
        throw Cancelled();
    }
}

}  // namespace brimsal
