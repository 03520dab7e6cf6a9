// brimsal-cli's options: every setting of the main window, with the same start values. All
// option parsing lives here.
#pragma once

#include <optional>
#include <string>

#include "road/Road.h"
#include "whitebalance/WBPatch.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal::cli {

// The step after which the run stops (--steps).
enum class LastStep { kDevelop, kEv, kMap, kBlend };

struct CliOptions {
    std::string reference;  // the reference RAW file, as given
    bool develop = true;    // false with --no-develop: reuse the TIFFs beside the RAW files
    LastStep last_step = LastStep::kBlend;
    int threads = 0;  // 0 = all cores

    // Development.
    WhiteBalanceSettings wb;          // --wb (default: Daylight preset)
    std::optional<WBPatch> wb_patch;  // --wb patch:X1,Y1,X2,Y2[,round]
    std::string saturation;           // --saturation: empty = dcraw's own value
    int saturation_row = 0;           // cmbSat row: 0 DCRAW value, 1 User value, 2..6 cameras
    int demosaic = 3;                 // --demosaic: cmbQuality row (0 Bilinear .. 3 AHD)
    int profile = 1;                  // --profile: cmbProfile row (0 None .. 5 CIE XYZ)
    std::string dcraw_options;        // --dcraw-options, cleaned up
    bool highlight_recovery = false;  // --hl
    bool headroom = false;            // --headroom: dcraw -H 1, F folded into the blend

    // Calc EV / Build map.
    bool ev_average = false;  // --ev-method average (default median)
    int threshold = 90;       // --threshold 0..99
    int antighost = 0;        // --antighost 0..50
    int progressive = 3;      // --progressive 0..50

    // Blend.
    std::optional<std::string> map;  // --map FILE: blend with this map instead of building one
    bool bw = false;                 // --bw R,B
    int bw_red = 33;
    int bw_blue = 33;
    int gamma10 = 22;  // --gamma, x 10 (10..30); follows the profile unless given
    bool ettr = false;
    int bracket_num = 1;  // --bracket N,EV
    int bracket_ev = 2;
    bool contact_sheet = false;
    bool float_output = false;  // --float: 32-bit float linear outputs
};

// The outcome of parsing: options, or a message and the exit code (0 for --help / --version,
// 2 for bad usage).
struct ParseResult {
    std::optional<CliOptions> options;
    std::string message;
    int exit_code = 0;
};

ParseResult ParseCliOptions(int argc, char** argv);

// The road settings the options stand for, as the window's controls would hold them.
RoadSettings RoadSettingsFromControls(const CliOptions& options);

}  // namespace brimsal::cli
