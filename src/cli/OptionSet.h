// Every option brimsal-cli takes, as --help lists them: names, value names and help texts, whose
// numbers and lists come from the settings model; and the words the options take beyond the
// model's captions.
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <array>
#include <string>
#include <vector>

#include "blend/BlendSettings.h"
#include "develop/DevelopTables.h"
#include "image/Frame.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal::cli {

// --wb's word for the Camera mode (the presets go by their cmbWB captions) and the start of a
// patch.
inline constexpr const char* kCameraWord = "camera";
inline constexpr const char* kPatchPrefix = "patch:";

// Short words for the profiles, in cmbProfile row order (the captions' keys are taken too).
inline constexpr std::array<const char*, kProfiles.size()> kProfileWords = {
    "none", "srgb", "adobe", "widegamut", "prophoto", "xyz"};

// --ev-method's words, indexed by RelativeExposureSettings::average.
inline constexpr std::array<const char*, 2> kEvMethodWords = {"median", "average"};

// The limits of a --saturation level: a 16-bit sample.
inline constexpr int kLowestSaturationLevel = 1;
inline constexpr int kHighestSaturationLevel = kFullScale;

// The most worker threads --threads takes (0 is Session::threads' "all cores").
inline constexpr int kMostThreads = 1024;

// A preset's word: its caption's key without the part in brackets ("Default (D65)" -> "default").
std::string PresetWord(const WBPreset& preset);
// camera, then the presets' words in cmbWB row order; with `mark_start` the start preset marked.
std::vector<std::string> WhiteBalanceWords(bool mark_start);
// The cmbSat rows that put a camera's level into txtSat.
bool PutsACameraLevel(const SaturationRow& row);
// Those rows' keys.
std::vector<std::string> SaturationCameraWords();

struct OptionSet {
    OptionSet();
    // In the order --help lists them.
    std::vector<const QCommandLineOption*> InHelpOrder() const;

    QCommandLineOption help, version;
    QCommandLineOption no_develop, steps;
    QCommandLineOption wb, saturation, demosaic, profile, dcraw_options, hl, headroom;
    QCommandLineOption ev_method, threshold, antighost, progressive, map;
    QCommandLineOption bw, gamma, ettr, bracket, contact_sheet, float_output;
    QCommandLineOption threads;
};

// The options, the program's description and its positional argument, declared to `parser`.
void Declare(QCommandLineParser& parser, const OptionSet& options);

// --help's text: the parser's listing, an example and the exit codes.
std::string HelpText(const QCommandLineParser& parser);

}  // namespace brimsal::cli
