// brimsal-cli: the whole road without a window. See --help.
#include <cstdio>
#include <filesystem>

#include "base/Paths.h"
#include "base/QtRuntime.h"
#include "base/UserChannel.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleChannel.h"
#include "develop/DevelopSettings.h"
#include "road/Road.h"
#include "road/Session.h"
#include "whitebalance/WhiteBalance.h"

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

// The development: the warnings the window shows when these settings are chosen, the patch
// measured first with --wb patch (its multipliers then serve the whole road), the batch.
bool Develop(const brimsal::cli::CliOptions& options, brimsal::Session& session,
             brimsal::DevelopSettings& settings, brimsal::UserChannel& channel) {
    using namespace brimsal;
    if (settings.wb.mode == WBMode::kCamera) {
        channel.MensajeAviso(kCameraWBWarning);
    }
    if (settings.hlRecovery) {
        channel.MensajeAviso(kHLRecoveryWarning);
    }
    if (options.wb_patch) {
        if (!RunMeasurePatch(session, *options.wb_patch, settings, channel)) {
            return false;
        }
        // The measured multipliers, as the option that gives them again.
        std::string multipliers;
        for (const std::string& text : settings.wb.txtWB) {
            if (!multipliers.empty()) {
                multipliers += ',';
            }
            multipliers += text;
        }
        std::fprintf(stderr, "brimsal-cli: white balance measured on the patch: --wb %s\n",
                     multipliers.c_str());
    }
    return RunDevelop(session, settings, channel).finished;
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

    RoadSettings settings = RoadSettingsFromControls(options);
    try {
        if (!RunListing(session, channel)) {
            return kExitFailed;
        }
        if (options.develop && !Develop(options, session, settings.develop, channel)) {
            return kExitFailed;
        }
        if (options.last_step == LastStep::kDevelop) {
            return StoppedAfter("develop");
        }
        if (!RunCalcEv(session, settings, channel)) {
            return kExitFailed;
        }
        if (options.last_step == LastStep::kEv) {
            return StoppedAfter("ev");
        }
        const bool mapped = options.map ? UseChosenMap(*options.map, session, channel)
                                        : RunBuildMap(session, settings, channel);
        if (!mapped) {
            return kExitFailed;
        }
        if (options.last_step == LastStep::kMap) {
            return StoppedAfter("map");
        }
        if (!RunBlend(session, options.bw, settings, channel)) {
            return kExitFailed;
        }
        return !options.contact_sheet || RunContactSheet(session, channel) ? kExitDone
                                                                           : kExitFailed;
    } catch (const Cancelled&) {
        channel.MensajeAviso("Cancelled");
        return kExitCancelled;
    } catch (const std::exception& unexpected) {
        ErrorInesperado(channel, "brimsal-cli", unexpected);
        return kExitFailed;
    }
}
