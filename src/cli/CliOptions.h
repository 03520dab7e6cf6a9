// brimsal-cli's options: every setting of the main window, parsed straight into the road settings
// with the settings model's ranges, start values and tables, and what the window's buttons decide
// (how far the road runs, a chosen map, colour or B&W). ParseCliOptions is the only way in;
// OptionSet declares the options and their help texts, OptionText reads their values' texts.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "road/RoadSettings.h"
#include "whitebalance/WBPatch.h"

namespace brimsal::cli {

inline constexpr const char* kProgram = "brimsal-cli";

// Exit codes.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // the run ended in an error
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;

// The step after which the run stops (--steps).
enum class LastStep { kDevelop, kEv, kMap, kBlend };
// The word --steps takes for each step, in LastStep order.
inline constexpr std::array<const char*, 4> kStepWords = {"develop", "ev", "map", "blend"};
constexpr const char* StepWord(LastStep step) {
    return kStepWords[static_cast<size_t>(step)];
}

struct CliOptions {
    std::string reference;  // the reference RAW file, as given
    bool develop = true;    // false with --no-develop: reuse the TIFFs beside the RAW files
    LastStep last_step = LastStep::kBlend;
    int threads = 0;                  // Session::threads: 0 = all cores
    std::optional<WBPatch> wb_patch;  // --wb patch:X1,Y1,X2,Y2[,round]: measured before the batch
    std::optional<std::string> map;   // --map FILE: blend with this map instead of building one
    bool bw = false;                  // --bw R,B: the B&W blend (salida_bn)
    bool contact_sheet = false;       // --contact-sheet
    RoadSettings settings;            // the window's controls; options not given keep the start
};

// The outcome of parsing: options, or a message and the exit code (kExitDone for --help and
// --version, kExitUsage for bad usage).
struct ParseResult {
    std::optional<CliOptions> options;
    std::string message;
    int exit_code = kExitDone;
};

ParseResult ParseCliOptions(int argc, char** argv);

}  // namespace brimsal::cli
