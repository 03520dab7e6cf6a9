// brimsal-cli: the whole road without a window. See --help.
#include <cstdio>
#include <filesystem>

#include "app/Misc.h"
#include "app/QtRuntime.h"
#include "app/Session.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleChannel.h"
#include "cli/Steps.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 130;

// Told on stderr (stdout is the log alone) when --steps ends the run early.
int StoppedAfter(const char* step) {
    std::fprintf(stderr, "brimsal-cli: stopped after the %s step (--steps %s)\n", step, step);
    return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace brimsal;
    using namespace brimsal::cli;
    QtRuntime qt(argc, argv);
    const ParseResult parsed = ParseCliOptions(argc, argv);
    if (!parsed.options) {
        std::fprintf(parsed.exit_code == 0 ? stdout : stderr, "%s\n", parsed.message.c_str());
        return parsed.exit_code == 0 ? kExitDone : kExitUsage;
    }
    const CliOptions& options = *parsed.options;

    ConsoleChannel channel;
    ConsoleChannel::InstallInterruptHandler();
    Session session;
    session.threads = options.threads;
    std::error_code error;
    const auto absolute = std::filesystem::absolute(options.reference, error);
    session.Ruta = error ? options.reference : absolute.lexically_normal().string();
    if (!ExisteArchivo(session.Ruta)) {
        channel.MensajeError("Reference RAW file '" + options.reference + "' not found");
        return kExitFailed;
    }

    try {
        if (!StepListing(options, session, channel)) {
            return kExitFailed;
        }
        if (options.develop && !StepDevelop(options, session, channel)) {
            return kExitFailed;
        }
        if (options.last_step == LastStep::kDevelop) {
            return StoppedAfter("develop");
        }
        if (!StepEv(options, session, channel)) {
            return kExitFailed;
        }
        if (options.last_step == LastStep::kEv) {
            return StoppedAfter("ev");
        }
        if (!StepMap(options, session, channel)) {
            return kExitFailed;
        }
        if (options.last_step == LastStep::kMap) {
            return StoppedAfter("map");
        }
        return StepBlend(options, session, channel) ? kExitDone : kExitFailed;
    } catch (const Cancelled&) {
        channel.MensajeAviso("Cancelled");
        return kExitCancelled;
    } catch (const std::exception& unexpected) {
        ErrorInesperado(channel, "brimsal-cli", unexpected);
        return kExitFailed;
    }
}
