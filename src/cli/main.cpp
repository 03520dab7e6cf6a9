// brimsal-cli: the whole road without a window. See --help.
#include <array>
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

using namespace brimsal;
using namespace brimsal::cli;

namespace {

// Told on stderr (stdout is the log alone) when --steps ends the run early.
void TellStoppedAfter(LastStep step) {
    std::fprintf(stderr, "%s: stopped after the %s step (--steps %s)\n", kProgram, StepWord(step),
                 StepWord(step));
}

// The reference made absolute when it can be, so the outputs' folder does not depend on how it
// was given.
std::string AbsoluteReference(const std::string& reference) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(reference, error);
    return error ? reference : absolute.lexically_normal().string();
}

// The warnings the window shows when these settings are chosen.
void WarnAsTheWindowDoes(const DevelopSettings& settings, UserChannel& channel) {
    if (settings.wb.mode == WBMode::kCamera) {
        channel.MensajeAviso(kCameraWBWarning);
    }
    if (settings.hlRecovery) {
        channel.MensajeAviso(kHLRecoveryWarning);
    }
}

// The measured multipliers, as the option that gives them again.
void TellMeasuredMultipliers(const WhiteBalanceSettings& wb) {
    std::string multipliers;
    for (const std::string& text : wb.txtWB) {
        multipliers += (multipliers.empty() ? "" : ",") + text;
    }
    std::fprintf(stderr, "%s: white balance measured on the patch: --wb %s\n", kProgram,
                 multipliers.c_str());
}

// The development: the warnings, the patch measured first with --wb patch (its multipliers then
// serve the whole road), the batch.
bool Develop(const CliOptions& options, Session& session, DevelopSettings& settings,
             UserChannel& channel) {
    WarnAsTheWindowDoes(settings, channel);
    if (options.wb_patch) {
        if (!RunMeasurePatch(session, *options.wb_patch, settings, channel)) {
            return false;
        }
        TellMeasuredMultipliers(settings.wb);
    }
    return RunDevelop(session, settings, channel).finished;
}

// Each step of --steps as a function: true when the road may go on.
bool ListAndDevelop(const CliOptions& options, Session& session, RoadSettings& settings,
                    UserChannel& channel) {
    return RunListing(session, channel) &&
           (!options.develop || Develop(options, session, settings.develop, channel));
}

bool CalcEv(const CliOptions&, Session& session, RoadSettings& settings, UserChannel& channel) {
    return RunCalcEv(session, settings, channel);
}

bool BuildOrUseMap(const CliOptions& options, Session& session, RoadSettings& settings,
                   UserChannel& channel) {
    return options.map ? UseChosenMap(*options.map, session, channel)
                       : RunBuildMap(session, settings, channel);
}

bool BlendAndContactSheet(const CliOptions& options, Session& session, RoadSettings& settings,
                          UserChannel& channel) {
    return RunBlend(session, options.bw, settings, channel) &&
           (!options.contact_sheet || RunContactSheet(session, channel));
}

using Step = bool (*)(const CliOptions&, Session&, RoadSettings&, UserChannel&);
// In LastStep order.
constexpr std::array<Step, kStepWords.size()> kSteps = {ListAndDevelop, CalcEv, BuildOrUseMap,
                                                        BlendAndContactSheet};

// The steps up to the last one asked for; the exit code.
int RunSteps(const CliOptions& options, Session& session, UserChannel& channel) {
    RoadSettings settings = options.settings;
    const auto last = static_cast<size_t>(options.last_step);
    for (size_t step = 0; step <= last; ++step) {
        if (!kSteps[step](options, session, settings, channel)) {
            return kExitFailed;
        }
    }
    if (options.last_step != LastStep::kBlend) {
        TellStoppedAfter(options.last_step);
    }
    return kExitDone;
}

// The road on the reference; Ctrl+C and anything unforeseen end it with their exit codes.
int RunRoad(const CliOptions& options, ConsoleChannel& channel) {
    Session session;
    session.threads = options.threads;
    session.Ruta = AbsoluteReference(options.reference);
    if (!ExisteArchivo(session.Ruta)) {
        channel.MensajeError("Reference RAW file '" + options.reference + "' not found");
        return kExitFailed;
    }
    try {
        return RunSteps(options, session, channel);
    } catch (const Cancelled&) {
        channel.MensajeAviso("Cancelled");
        return kExitCancelled;
    } catch (const std::exception& unexpected) {
        ErrorInesperado(channel, kProgram, unexpected);
        return kExitFailed;
    }
}

}  // namespace

int main(int argc, char** argv) {
    QtRuntime qt(argc, argv);
    const ParseResult parsed = ParseCliOptions(argc, argv);
    if (!parsed.options) {
        std::fprintf(parsed.exit_code == kExitDone ? stdout : stderr, "%s\n",
                     parsed.message.c_str());
        return parsed.exit_code;
    }
    ConsoleChannel channel;
    ConsoleChannel::InstallInterruptHandler();
    return RunRoad(*parsed.options, channel);
}
