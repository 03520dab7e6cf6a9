#include "cli/CliOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <cmath>
#include <vector>

#include "cli/OptionSet.h"
#include "cli/OptionText.h"
#include "develop/DevelopSettings.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal::cli {

namespace {

// ---- Reading the values ----

// A value given on the command line, with the name of its option.
struct Given {
    std::string option;
    std::string text;
};

std::optional<Given> ValueOf(const QCommandLineParser& parser, const QCommandLineOption& option) {
    if (!parser.isSet(option)) {
        return std::nullopt;
    }
    return Given{option.names().back().toStdString(), parser.value(option).toStdString()};
}

void ReadInteger(const QCommandLineParser& parser, const QCommandLineOption& option, int low,
                 int high, int& target) {
    if (const auto given = ValueOf(parser, option)) {
        target = IntegerInRange(given->option, given->text, low, high);
    }
}

void ReadInteger(const QCommandLineParser& parser, const QCommandLineOption& option,
                 const SettingRange& range, int& target) {
    ReadInteger(parser, option, range.minimum, range.maximum, target);
}

std::string TheReference(const QCommandLineParser& parser) {
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        throw UsageError("give exactly one REFERENCE_RAW file");
    }
    return positional.front().toStdString();
}

// The cmbWB row a key names, by its preset word or its whole caption.
std::optional<int> PresetRow(const std::string& key) {
    for (size_t row = 0; row < kWBPresets.size(); ++row) {
        if (key == Key(kWBPresets[row].caption) || key == PresetWord(kWBPresets[row])) {
            return static_cast<int>(row);
        }
    }
    return std::nullopt;
}

bool IsPatch(const std::string& text) {
    return Lower(text).starts_with(kPatchPrefix);
}

// patch:X1,Y1,X2,Y2[,round], each point a fraction 0..1 of the picture.
WBPatch PatchOf(const std::string& text) {
    const auto parts = Split(text.substr(std::string(kPatchPrefix).size()), ',');
    const bool round = parts.size() == 5 && Lower(parts[4]) == "round";
    bool ok = parts.size() == 4 || round;
    std::array<double, 4> points{};
    for (size_t i = 0; ok && i < points.size(); ++i) {
        const auto value = ToNumber(parts[i]);
        ok = value && *value >= 0 && *value <= 1;
        points[i] = ok ? *value : 0;
    }
    if (!ok) {
        throw UsageError(
            "--wb patch:X1,Y1,X2,Y2[,round] takes four fractions 0..1 of the picture's width "
            "and height (got '" +
            text + "')");
    }
    WBPatch patch;
    patch.ParcheX1 = points[0];
    patch.ParcheY1 = points[1];
    patch.ParcheX2 = points[2];
    patch.ParcheY2 = points[3];
    patch.ParcheCuadrado = !round;
    patch.ParcheDefinido = true;
    return patch;
}

// R,G,B: three numbers, as typed into the boxes (whether they can be developed with is checked
// as the boxes' texts are).
std::optional<std::array<std::string, 3>> MultiplierTexts(const std::string& text) {
    const auto parts = Split(text, ',');
    std::array<std::string, 3> texts;
    if (parts.size() != texts.size()) {
        return std::nullopt;
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!ToNumber(parts[i])) {
            return std::nullopt;
        }
        texts[i] = parts[i];
    }
    return texts;
}

void ReadWhiteBalance(const std::string& text, CliOptions& options) {
    WhiteBalanceSettings& wb = options.settings.develop.wb;
    if (Key(text) == kCameraWord) {
        wb.mode = WBMode::kCamera;
    } else if (const auto row = PresetRow(Key(text))) {
        ChooseWBPreset(wb, *row);
    } else if (IsPatch(text)) {
        options.wb_patch = PatchOf(text);
        wb.mode = WBMode::kPatch;
    } else if (const auto texts = MultiplierTexts(text)) {
        wb.txtWB = *texts;
        ClickInTxtWB(wb);
        if (const std::string problem = MultiplierProblem(wb); !problem.empty()) {
            throw UsageError("--wb: " + problem + " (got '" + text + "')");
        }
        for (std::string& coefficient : wb.txtWB) {
            coefficient = NormalizeTxtWB(coefficient);
        }
    } else {
        throw UsageError("--wb takes " + Listed(WhiteBalanceWords(false)) +
                         ", three multipliers R,G,B, or patch:X1,Y1,X2,Y2[,round] (got '" + text +
                         "')");
    }
}

// A camera's row of cmbSat, or a level typed into txtSat.
void ReadSaturation(const std::string& text, DevelopSettings& develop) {
    for (size_t row = 0; row < kSaturationRows.size(); ++row) {
        if (PutsACameraLevel(kSaturationRows[row]) &&
            Key(text) == Key(kSaturationRows[row].caption)) {
            ChooseSaturationRow(develop, static_cast<int>(row));
            return;
        }
    }
    const auto value = ToInteger(text);
    if (!value || *value < kLowestSaturationLevel || *value > kHighestSaturationLevel) {
        throw UsageError("--saturation takes a level " + std::to_string(kLowestSaturationLevel) +
                         ".." + std::to_string(kHighestSaturationLevel) + " or a camera: " +
                         Listed(SaturationCameraWords()) + " (got '" + text + "')");
    }
    develop.txtSat = std::to_string(*value);
    LeaveTxtSat(develop);
}

int ProfileRow(const Given& given) {
    for (size_t row = 0; row < kProfileWords.size(); ++row) {
        if (Key(given.text) == kProfileWords[row]) {
            return static_cast<int>(row);
        }
    }
    return Choice(given.option, given.text, Keys(kProfiles));
}

int GammaTimesTen(const std::string& text) {
    const auto value = ToNumber(text);
    const double tenths = value ? *value * 10 : 0;
    if (!value || tenths < kGammaRange.minimum - 1e-9 || tenths > kGammaRange.maximum + 1e-9 ||
        std::fabs(tenths - std::nearbyint(tenths)) > 1e-6) {
        throw UsageError("--gamma takes " + Tenths(kGammaRange.minimum) + " to " +
                         Tenths(kGammaRange.maximum) + " in steps of 0.1 (got '" + text + "')");
    }
    return static_cast<int>(std::nearbyint(tenths));
}

void ReadBlackAndWhite(const Given& given, CliOptions& options) {
    const auto [red, blue] = Pair(given.option, given.text, kBWRRange, kBWBRange,
                                  "two weights R,B in percent, " + Span(kBWRRange) + " each");
    if (red + blue > kWholeMix) {
        throw UsageError("--bw takes weights R,B that add up to at most " +
                         std::to_string(kWholeMix) + " (got '" + given.text + "')");
    }
    options.bw = true;
    options.settings.blend.BWR = red;
    options.settings.blend.BWB = blue;
}

void ReadBracket(const Given& given, BlendSettings& blend) {
    const auto [outputs, step] = Pair(given.option, given.text, kBracketNumRange, kBracketEVRange,
                                      "N,EV with N outputs " + Span(kBracketNumRange) +
                                          " and a step of " + Span(kBracketEVRange) + " EV");
    blend.NumBracketing = outputs;
    blend.PasoBracketing = step;
}

// ---- The options by the window's frames, read in this order (the first bad one is named) ----

void ReadRunOptions(const QCommandLineParser& parser, const OptionSet& o, CliOptions& options) {
    options.develop = !parser.isSet(o.no_develop);
    if (const auto given = ValueOf(parser, o.steps)) {
        options.last_step =
            static_cast<LastStep>(Choice(given->option, given->text, Keys(kStepWords)));
    }
    ReadInteger(parser, o.threads, 0, kMostThreads, options.threads);
}

void ReadDevelopOptions(const QCommandLineParser& parser, const OptionSet& o, CliOptions& options) {
    DevelopSettings& develop = options.settings.develop;
    if (const auto given = ValueOf(parser, o.wb)) {
        ReadWhiteBalance(given->text, options);
    }
    if (const auto given = ValueOf(parser, o.saturation)) {
        ReadSaturation(given->text, develop);
    }
    if (const auto given = ValueOf(parser, o.demosaic)) {
        develop.quality = Choice(given->option, given->text, Keys(kDemosaics));
    }
    if (const auto given = ValueOf(parser, o.profile)) {
        options.settings.blend.Gamma10 = ChooseProfile(develop, ProfileRow(*given));
    }
    if (const auto given = ValueOf(parser, o.dcraw_options)) {
        develop.txtDCRAW = CleanTxtDCRAW(given->text);
    }
    develop.hlRecovery = parser.isSet(o.hl);
    develop.headroom = parser.isSet(o.headroom);
}

void ReadMapOptions(const QCommandLineParser& parser, const OptionSet& o, CliOptions& options) {
    if (const auto given = ValueOf(parser, o.ev_method)) {
        options.settings.ev.average = Choice(given->option, given->text, Keys(kEvMethodWords)) == 1;
    }
    MapSettings& map = options.settings.map;
    ReadInteger(parser, o.threshold, kThresholdRange, map.threshold);
    ReadInteger(parser, o.antighost, kAntiGhostRange, map.antighost);
    ReadInteger(parser, o.progressive, kProgressiveRange, map.progressive);
    if (const auto given = ValueOf(parser, o.map)) {
        options.map = given->text;
    }
}

void ReadBlendOptions(const QCommandLineParser& parser, const OptionSet& o, CliOptions& options) {
    BlendSettings& blend = options.settings.blend;
    if (const auto given = ValueOf(parser, o.bw)) {
        ReadBlackAndWhite(*given, options);
    }
    if (const auto given = ValueOf(parser, o.gamma)) {
        blend.Gamma10 = GammaTimesTen(given->text);
    }
    blend.ETTR = parser.isSet(o.ettr);
    if (const auto given = ValueOf(parser, o.bracket)) {
        ReadBracket(*given, blend);
    }
    options.contact_sheet = parser.isSet(o.contact_sheet);
    blend.floatOutput = parser.isSet(o.float_output);
}

void CheckCombinations(const CliOptions& options) {
    if (options.settings.develop.headroom && options.settings.develop.wb.mode == WBMode::kCamera) {
        // The camera's multipliers are known only to dcraw: F cannot be formed beforehand.
        throw UsageError("--headroom needs fixed white balance multipliers, not --wb camera");
    }
    if (options.wb_patch && !options.develop) {
        // The patch is measured on a neutral development of the reference.
        throw UsageError(
            "--wb patch:... measures on a new development; it cannot be used with --no-develop");
    }
}

CliOptions OptionsFrom(const QCommandLineParser& parser, const OptionSet& o) {
    CliOptions options;
    options.reference = TheReference(parser);
    ReadRunOptions(parser, o, options);
    ReadDevelopOptions(parser, o, options);
    ReadMapOptions(parser, o, options);
    ReadBlendOptions(parser, o, options);
    CheckCombinations(options);
    return options;
}

// ---- Outcomes ----

QStringList Arguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

ParseResult Told(const std::string& message) {
    return {std::nullopt, message, kExitDone};
}

ParseResult BadUsage(const std::string& message) {
    return {std::nullopt, message + "\nTry '" + kProgram + " --help'.", kExitUsage};
}

}  // namespace

ParseResult ParseCliOptions(int argc, char** argv) {
    const OptionSet options;
    QCommandLineParser parser;
    Declare(parser, options);
    if (!parser.parse(Arguments(argc, argv))) {
        return BadUsage(parser.errorText().toStdString());
    }
    if (parser.isSet(options.help)) {
        return Told(HelpText(parser));
    }
    if (parser.isSet(options.version)) {
        return Told(std::string(kProgram) + " " + BRIMSAL_VERSION);
    }
    try {
        return {OptionsFrom(parser, options), "", kExitDone};
    } catch (const UsageError& error) {
        return BadUsage(std::string(kProgram) + ": " + error.what());
    }
}

}  // namespace brimsal::cli
