#include "cli/OptionSet.h"

#include <QStringList>

#include "base/NumberText.h"
#include "cli/CliOptions.h"
#include "cli/OptionText.h"
#include "develop/DevelopSettings.h"
#include "develop/RawFileSet.h"

namespace brimsal::cli {

std::string PresetWord(const WBPreset& preset) {
    const std::string caption = preset.caption;
    return Key(caption.substr(0, caption.find(" (")));
}

std::vector<std::string> WhiteBalanceWords(bool mark_start) {
    std::vector<std::string> words = {kCameraWord};
    for (const WBPreset& preset : kWBPresets) {
        words.push_back(PresetWord(preset));
    }
    return mark_start ? MarkedDefault(words, 1 + WhiteBalanceSettings{}.preset) : words;
}

bool PutsACameraLevel(const SaturationRow& row) {
    return row.level[0] != '\0';
}

std::vector<std::string> SaturationCameraWords() {
    std::vector<std::string> words;
    for (const SaturationRow& row : kSaturationRows) {
        if (PutsACameraLevel(row)) {
            words.push_back(Key(row.caption));
        }
    }
    return words;
}

namespace {

// ---- Help texts: their numbers and lists come from the settings model ----

std::string Description() {
    return "Blends a bracketed series of RAW photographs of one static scene into one linear "
           "16-bit TIFF with the shadows of the brightest frame and the highlights of the "
           "darkest.\n\nGive one RAW file of the series: every file of its folder with the same "
           "extension (at most " +
           std::to_string(kMaxRawFiles) +
           ") is developed with dcraw, sorted by exposure, measured (Calc EV), mapped (Build "
           "map) and blended. Outputs are written beside the RAW files.\n\nSteps: " +
           Listed(Keys(kStepWords)) + ".";
}

std::string StepsHelp() {
    return "Stop after this step: " + Listed(Keys(kStepWords), " or ") +
           " (default: " + StepWord(CliOptions{}.last_step) + ").";
}

std::string WhiteBalanceHelp() {
    return "White balance: " + Listed(WhiteBalanceWords(true)) +
           "; three multipliers R,G,B, each " + NumberText(kLeastMultiplier, ".") + " to " +
           NumberText(kGreatestMultiplier, ".") +
           " (e.g. 2.1,1,1.5); or patch:X1,Y1,X2,Y2[,round], a neutral "
           "patch given as fractions of the picture (corners, or centre and rim point with "
           "',round'), measured on a neutral development.";
}

std::string SaturationHelp() {
    return "Saturation level passed to dcraw (-S): a number, or " +
           Listed(SaturationCameraWords()) + ". Default: dcraw's own value.";
}

std::string DemosaicHelp() {
    return "Demosaic algorithm: " +
           Listed(MarkedDefault(Keys(kDemosaics), DevelopSettings{}.quality), " or ") + ".";
}

std::string ProfileHelp() {
    return "Output colour profile: " +
           Listed(MarkedDefault(Keys(kProfileWords), DevelopSettings{}.profile)) +
           ". ProPhoto sets the output gamma to " + Tenths(GammaOfProfile(kProfileProPhoto)) +
           " and CIE XYZ to " + Tenths(GammaOfProfile(kProfileXYZ)) + " unless --gamma is given.";
}

std::string EvMethodHelp() {
    static_assert(!RelativeExposureSettings{}.average, "the help names median the start method");
    return std::string("Relative exposure method: ") + kEvMethodWords[0] +
           " (default, with histogram GIF) or " + kEvMethodWords[1] + ".";
}

// "<lead><low>..<high> (default <start>)."
std::string RangeHelp(const std::string& lead, const SettingRange& range) {
    return lead + Span(range) + " (default " + std::to_string(range.initial) + ").";
}

std::string BlackAndWhiteHelp() {
    return "Black-and-white output with red and blue weights in percent (green takes the rest; "
           "R + B <= " +
           std::to_string(kWholeMix) + "), e.g. " + std::to_string(kBWRRange.initial) + "," +
           std::to_string(kBWBRange.initial) + ". Colour output by default.";
}

std::string GammaSpan() {
    return Tenths(kGammaRange.minimum) + ".." + Tenths(kGammaRange.maximum);
}

std::string GammaHelp() {
    return "Output gamma " + GammaSpan() + " in steps of 0.1 (default " +
           Tenths(kGammaRange.initial) + ").";
}

std::string BracketHelp() {
    return "Bracketed outputs: N outputs (" + Span(kBracketNumRange) + ") EV stops apart (" +
           Span(kBracketEVRange) + "), e.g. 3,2 (default " +
           std::to_string(kBracketNumRange.initial) + "," +
           std::to_string(kBracketEVRange.initial) + ").";
}

std::string ExitStatusHelp() {
    return "Exit status: " + std::to_string(kExitDone) + " done, " + std::to_string(kExitFailed) +
           " the run ended in an error, " + std::to_string(kExitUsage) + " bad usage.";
}

QCommandLineOption Flag(const char* name, const std::string& description) {
    return QCommandLineOption(name, QString::fromStdString(description));
}

QCommandLineOption Valued(const char* name, const std::string& description,
                          const char* value_name) {
    return QCommandLineOption(name, QString::fromStdString(description), value_name);
}

}  // namespace

OptionSet::OptionSet()
    : help(QStringList{"h", "help"}, "Show this help and exit."),
      version(Flag("version", "Show the version and exit.")),
      no_develop(
          Flag("no-develop", "Skip development: use the TIFFs already beside the RAW files.")),
      steps(Valued("steps", StepsHelp(), "STEP")),
      wb(Valued("wb", WhiteBalanceHelp(), "MODE")),
      saturation(Valued("saturation", SaturationHelp(), "LEVEL")),
      demosaic(Valued("demosaic", DemosaicHelp(), "NAME")),
      profile(Valued("profile", ProfileHelp(), "NAME")),
      dcraw_options(Valued("dcraw-options",
                           "Extra dcraw options, appended last, unchecked. Use at your own risk.",
                           "TEXT")),
      hl(Flag("hl", "Highlight recovery: develop the darkest frame again with dcraw -H 2.")),
      headroom(Flag(
          "headroom",
          "Headroom development: every development adds dcraw -H 1 with the same multipliers, so "
          "red and blue no longer clip before the sensor does; the map thresholds and Calc EV "
          "follow each channel's own saturation and the blend restores the normal scale. Needs "
          "fixed multipliers (not --wb camera).")),
      ev_method(Valued("ev-method", EvMethodHelp(), "METHOD")),
      threshold(Valued("threshold",
                       RangeHelp("Map threshold to saturation, percent ", kThresholdRange),
                       "PERCENT")),
      antighost(Valued("antighost", RangeHelp("Anti-ghosting radius in pixels, ", kAntiGhostRange),
                       "PX")),
      progressive(Valued("progressive",
                         RangeHelp("Progressive blending radius in pixels, ", kProgressiveRange),
                         "PX")),
      map(Valued("map",
                 "Blend with this map PNG instead of building one (it must have the set's size).",
                 "FILE")),
      bw(Valued("bw", BlackAndWhiteHelp(), "R,B")),
      gamma(Valued("gamma", GammaHelp(), "G")),
      ettr(Flag("ettr",
                "Expose to the right: raise the output so its brightest value reaches 65535.")),
      bracket(Valued("bracket", BracketHelp(), "N,EV")),
      contact_sheet(Flag("contact-sheet",
                         "Also write the B&W channel-mix contact sheet (BWTest_hhmmss.gif).")),
      float_output(Flag("float",
                        "Write 32-bit floating-point linear TIFFs (1.0 = 65535 of the 16-bit "
                        "scale, no clamp), named like the 16-bit ones with '_float' before "
                        "'.tif'.")),
      threads(Valued("threads", "Worker threads for the image steps (default: all cores).", "N")) {}

std::vector<const QCommandLineOption*> OptionSet::InHelpOrder() const {
    return {&help,      &version,   &no_develop,    &steps,        &wb,       &saturation,
            &demosaic,  &profile,   &dcraw_options, &hl,           &headroom, &ev_method,
            &threshold, &antighost, &progressive,   &map,          &bw,       &gamma,
            &ettr,      &bracket,   &contact_sheet, &float_output, &threads};
}

void Declare(QCommandLineParser& parser, const OptionSet& options) {
    parser.setApplicationDescription(QString::fromStdString(Description()));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QCommandLineOption* option : options.InHelpOrder()) {
        parser.addOption(*option);
    }
    parser.addPositionalArgument("REFERENCE_RAW", "One RAW file of the bracketed series.");
}

std::string HelpText(const QCommandLineParser& parser) {
    return parser.helpText().toStdString() + "\nExample:\n  " + kProgram +
           " --wb daylight --progressive 3 --bracket 3,2 ~/Photos/bracket/IMG_0412.CR2\n\n" +
           ExitStatusHelp();
}

}  // namespace brimsal::cli
