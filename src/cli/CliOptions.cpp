#include "cli/CliOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "develop/DevelopSettings.h"
#include "develop/DevelopTables.h"
#include "whitebalance/WBPatch.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal::cli {

namespace {

// A usage error: the message names the option and what it accepts.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Lower case without blanks, dashes or underscores: "Adobe RGB", "adobe-rgb" -> "adobergb".
std::string Key(const std::string& text) {
    std::string key;
    for (unsigned char c : text) {
        if (c != ' ' && c != '-' && c != '_') {
            key += static_cast<char>(std::tolower(c));
        }
    }
    return key;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) {
            return parts;
        }
        from = at + 1;
    }
}

std::optional<long long> ToInteger(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

// A decimal number with a point or a comma as the separator.
std::optional<double> ToNumber(std::string text) {
    std::replace(text.begin(), text.end(), ',', '.');
    double value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

int IntegerInRange(const std::string& option, const std::string& text, int low, int high) {
    const auto value = ToInteger(text);
    if (!value || *value < low || *value > high) {
        throw UsageError("--" + option + " takes a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high) + " (got '" + text + "')");
    }
    return static_cast<int>(*value);
}

// Index of `text` among `names` (compared by Key), or of a row number 0..size-1.
int Choice(const std::string& option, const std::string& text,
           const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (Key(text) == Key(names[i])) {
            return static_cast<int>(i);
        }
    }
    if (const auto row = ToInteger(text);
        row && *row >= 0 && *row < static_cast<long long>(names.size())) {
        return static_cast<int>(*row);
    }
    std::string list;
    for (const auto& name : names) {
        list += (list.empty() ? "" : ", ") + Key(name);
    }
    throw UsageError("--" + option + " takes one of " + list + " (got '" + text + "')");
}

std::vector<std::string> Names(const auto& table) {
    return std::vector<std::string>(table.begin(), table.end());
}

// Short names accepted for the profiles, in cmbProfile row order.
const std::vector<std::string> kProfileAliases = {"none",      "srgb",     "adobe",
                                                  "widegamut", "prophoto", "xyz"};

void ParseWhiteBalance(const std::string& text, CliOptions& options) {
    const std::string key = Key(text);
    if (key == "camera") {
        options.wb.mode = WBMode::kCamera;
        return;
    }
    for (size_t i = 0; i < kWBPresets.size(); ++i) {
        const std::string caption = Key(kWBPresets[i].caption);
        if (key == caption || (i == 1 && key == "default")) {
            // As the preset list does: the row's values into the coefficient texts.
            ChooseWBPreset(options.wb, static_cast<int>(i));
            return;
        }
    }
    if (Lower(text).rfind("patch:", 0) == 0) {
        const auto parts = Split(text.substr(6), ',');
        const bool round = parts.size() == 5 && Lower(parts[4]) == "round";
        bool ok = parts.size() == 4 || round;
        std::array<double, 4> points{};
        for (size_t i = 0; ok && i < 4; ++i) {
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
        options.wb.mode = WBMode::kPatch;
        WBPatch patch;
        patch.ParcheX1 = points[0];
        patch.ParcheY1 = points[1];
        patch.ParcheX2 = points[2];
        patch.ParcheY2 = points[3];
        patch.ParcheCuadrado = !round;
        patch.ParcheDefinido = true;
        options.wb_patch = patch;
        return;
    }
    const auto parts = Split(text, ',');
    if (parts.size() == 3) {
        std::array<std::string, 3> texts;
        bool ok = true;
        for (size_t i = 0; i < 3 && ok; ++i) {
            const auto value = ToNumber(parts[i]);
            ok = value && *value > 0;
            if (ok) {
                texts[i] = NormalizeTxtWB(parts[i]);
            }
        }
        if (ok) {
            options.wb.mode = WBMode::kCoeffs;
            options.wb.txtWB = texts;
            return;
        }
    }
    throw UsageError(
        "--wb takes camera, none, default, daylight, cloudy, shade, tungsten, fluorescent, flash, "
        "three positive multipliers R,G,B, or patch:X1,Y1,X2,Y2[,round] (got '" +
        text + "')");
}

void ParseSaturation(const std::string& text, CliOptions& options) {
    for (size_t row = 2; row < kSaturationRows.size(); ++row) {
        if (Key(text) == Key(kSaturationRows[row].caption)) {
            options.saturation_row = static_cast<int>(row);
            options.saturation = kSaturationRows[row].level;
            return;
        }
    }
    const auto value = ToInteger(text);
    if (!value || *value < 1 || *value > 65535) {
        throw UsageError(
            "--saturation takes a level 1..65535 or a camera: canon30d, canon40d, canon50d, "
            "canon7diso1600, olympuse510 (got '" +
            text + "')");
    }
    options.saturation_row = 1;
    options.saturation = std::to_string(*value);
}

int GammaTimesTen(const std::string& text) {
    const auto value = ToNumber(text);
    const double tenths = value ? *value * 10 : 0;
    if (!value || tenths < 10 - 1e-9 || tenths > 30 + 1e-9 ||
        std::fabs(tenths - std::nearbyint(tenths)) > 1e-6) {
        throw UsageError("--gamma takes 1.0 to 3.0 in steps of 0.1 (got '" + text + "')");
    }
    return static_cast<int>(std::nearbyint(tenths));
}

std::pair<int, int> Pair(const std::string& option, const std::string& text, int low1, int high1,
                         int low2, int high2, const std::string& shape) {
    const auto parts = Split(text, ',');
    if (parts.size() != 2) {
        throw UsageError("--" + option + " takes " + shape + " (got '" + text + "')");
    }
    return {IntegerInRange(option, parts[0], low1, high1),
            IntegerInRange(option, parts[1], low2, high2)};
}

}  // namespace

ParseResult ParseCliOptions(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Blends a bracketed series of RAW photographs of one static scene into one linear 16-bit "
        "TIFF with the shadows of the brightest frame and the highlights of the darkest.\n\n"
        "Give one RAW file of the series: every file of its folder with the same extension (at "
        "most 10) is developed with dcraw, sorted by exposure, measured (Calc EV), mapped (Build "
        "map) and blended. Outputs are written beside the RAW files.\n\n"
        "Steps: develop, ev, map, blend.");
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version("version", "Show the version and exit.");
    parser.addOption(help);
    parser.addOption(version);

    const QCommandLineOption no_develop(
        "no-develop", "Skip development: use the TIFFs already beside the RAW files.");
    const QCommandLineOption steps(
        "steps", "Stop after this step: develop, ev, map or blend (default: blend).", "STEP");
    const QCommandLineOption wb(
        "wb",
        "White balance: camera, none, default, daylight (default), cloudy, shade, tungsten, "
        "fluorescent, flash; three multipliers R,G,B (e.g. 2.1,1,1.5); or "
        "patch:X1,Y1,X2,Y2[,round], a neutral patch given as fractions of the picture (corners, "
        "or centre and rim point with ',round'), measured on a neutral development.",
        "MODE");
    const QCommandLineOption saturation(
        "saturation",
        "Saturation level passed to dcraw (-S): a number, or canon30d, canon40d, canon50d, "
        "canon7diso1600, olympuse510. Default: dcraw's own value.",
        "LEVEL");
    const QCommandLineOption demosaic(
        "demosaic", "Demosaic algorithm: bilinear, vng, ppg or ahd (default).", "NAME");
    const QCommandLineOption profile(
        "profile",
        "Output colour profile: none, srgb (default), adobe, widegamut, prophoto, xyz. ProPhoto "
        "sets the output gamma to 1.8 and CIE XYZ to 1.0 unless --gamma is given.",
        "NAME");
    const QCommandLineOption dcraw_options(
        "dcraw-options", "Extra dcraw options, appended last, unchecked. Use at your own risk.",
        "TEXT");
    const QCommandLineOption hl(
        "hl", "Highlight recovery: develop the darkest frame again with dcraw -H 2.");
    const QCommandLineOption headroom(
        "headroom",
        "Headroom development: every development adds dcraw -H 1 with the same multipliers, so "
        "red and blue no longer clip before the sensor does; the map thresholds and Calc EV "
        "follow each channel's own saturation and the blend restores the normal scale. Needs "
        "fixed multipliers (not --wb camera).");
    const QCommandLineOption ev_method(
        "ev-method", "Relative exposure method: median (default, with histogram GIF) or average.",
        "METHOD");
    const QCommandLineOption threshold(
        "threshold", "Map threshold to saturation, percent 0..99 (default 90).", "PERCENT");
    const QCommandLineOption antighost("antighost",
                                       "Anti-ghosting radius in pixels, 0..50 (default 0).", "PX");
    const QCommandLineOption progressive(
        "progressive", "Progressive blending radius in pixels, 0..50 (default 3).", "PX");
    const QCommandLineOption map(
        "map", "Blend with this map PNG instead of building one (it must have the set's size).",
        "FILE");
    const QCommandLineOption bw(
        "bw",
        "Black-and-white output with red and blue weights in percent (green takes the "
        "rest; R + B <= 100), e.g. 33,33. Colour output by default.",
        "R,B");
    const QCommandLineOption gamma("gamma", "Output gamma 1.0..3.0 in steps of 0.1 (default 2.2).",
                                   "G");
    const QCommandLineOption ettr(
        "ettr", "Expose to the right: raise the output so its brightest value reaches 65535.");
    const QCommandLineOption bracket(
        "bracket",
        "Bracketed outputs: N outputs (1..7) EV stops apart (1..4), e.g. 3,2 (default 1,2).",
        "N,EV");
    const QCommandLineOption contact_sheet(
        "contact-sheet", "Also write the B&W channel-mix contact sheet (BWTest_hhmmss.gif).");
    const QCommandLineOption float_output(
        "float",
        "Write 32-bit floating-point linear TIFFs (1.0 = 65535 of the 16-bit scale, no clamp), "
        "named like the 16-bit ones with '_float' before '.tif'.");
    const QCommandLineOption threads(
        "threads", "Worker threads for the image steps (default: all cores).", "N");
    for (const auto* option :
         {&no_develop,    &steps,        &wb,       &saturation, &demosaic,  &profile,
          &dcraw_options, &hl,           &headroom, &ev_method,  &threshold, &antighost,
          &progressive,   &map,          &bw,       &gamma,      &ettr,      &bracket,
          &contact_sheet, &float_output, &threads}) {
        parser.addOption(*option);
    }
    parser.addPositionalArgument("REFERENCE_RAW", "One RAW file of the bracketed series.");

    ParseResult result;
    if (!parser.parse(arguments)) {
        result.message = parser.errorText().toStdString() + "\nTry 'brimsal-cli --help'.";
        result.exit_code = 2;
        return result;
    }
    if (parser.isSet(help)) {
        result.message = parser.helpText().toStdString() +
                         "\nExample:\n  brimsal-cli --wb daylight --progressive 3 "
                         "--bracket 3,2 ~/Photos/bracket/IMG_0412.CR2\n\nExit status: 0 done, "
                         "1 the run ended in an error, 2 bad usage.";
        return result;
    }
    if (parser.isSet(version)) {
        result.message = "brimsal-cli 1.1";
        return result;
    }
    try {
        CliOptions options;
        const QStringList positional = parser.positionalArguments();
        if (positional.size() != 1) {
            throw UsageError("give exactly one REFERENCE_RAW file");
        }
        options.reference = positional.front().toStdString();
        auto value = [&](const QCommandLineOption& option) {
            return parser.value(option).toStdString();
        };
        options.develop = !parser.isSet(no_develop);
        if (parser.isSet(steps)) {
            options.last_step = static_cast<LastStep>(
                Choice("steps", value(steps), {"develop", "ev", "map", "blend"}));
        }
        if (parser.isSet(threads)) {
            options.threads = IntegerInRange("threads", value(threads), 0, 1024);
        }
        if (parser.isSet(wb)) {
            ParseWhiteBalance(value(wb), options);
        }
        if (parser.isSet(saturation)) {
            ParseSaturation(value(saturation), options);
        }
        if (parser.isSet(demosaic)) {
            options.demosaic = Choice("demosaic", value(demosaic), Names(kDemosaics));
        }
        if (parser.isSet(profile)) {
            const std::string text = value(profile);
            bool alias = false;
            for (size_t i = 0; i < kProfileAliases.size(); ++i) {
                if (Key(text) == kProfileAliases[i]) {
                    options.profile = static_cast<int>(i);
                    alias = true;
                }
            }
            if (!alias) {
                options.profile = Choice("profile", text, Names(kProfiles));
            }
        }
        options.gamma10 = GammaOfProfile(options.profile);
        if (parser.isSet(dcraw_options)) {
            options.dcraw_options = CleanTxtDCRAW(value(dcraw_options));
        }
        options.highlight_recovery = parser.isSet(hl);
        if (parser.isSet(ev_method)) {
            options.ev_average = Choice("ev-method", value(ev_method), {"median", "average"}) == 1;
        }
        if (parser.isSet(threshold)) {
            options.threshold = IntegerInRange("threshold", value(threshold), 0, 99);
        }
        if (parser.isSet(antighost)) {
            options.antighost = IntegerInRange("antighost", value(antighost), 0, 50);
        }
        if (parser.isSet(progressive)) {
            options.progressive = IntegerInRange("progressive", value(progressive), 0, 50);
        }
        if (parser.isSet(map)) {
            options.map = value(map);
        }
        if (parser.isSet(bw)) {
            const auto [red, blue] =
                Pair("bw", value(bw), 0, 100, 0, 100, "two weights R,B in percent, 0..100 each");
            if (red + blue > 100) {
                throw UsageError("--bw takes weights R,B that add up to at most 100 (got '" +
                                 value(bw) + "')");
            }
            options.bw = true;
            options.bw_red = red;
            options.bw_blue = blue;
        }
        if (parser.isSet(gamma)) {
            options.gamma10 = GammaTimesTen(value(gamma));
        }
        options.ettr = parser.isSet(ettr);
        if (parser.isSet(bracket)) {
            const auto [num, ev] = Pair("bracket", value(bracket), 1, 7, 1, 4,
                                        "N,EV with N outputs 1..7 and a step of 1..4 EV");
            options.bracket_num = num;
            options.bracket_ev = ev;
        }
        options.contact_sheet = parser.isSet(contact_sheet);
        options.headroom = parser.isSet(headroom);
        options.float_output = parser.isSet(float_output);
        if (options.headroom && options.wb.mode == WBMode::kCamera) {
            // The camera's multipliers are known only to dcraw: F cannot be formed beforehand.
            throw UsageError("--headroom needs fixed white balance multipliers, not --wb camera");
        }
        if (options.wb_patch && !options.develop) {
            // The patch is measured on a neutral development of the reference.
            throw UsageError(
                "--wb patch:... measures on a new development; it cannot be used "
                "with --no-develop");
        }
        result.options = options;
    } catch (const UsageError& error) {
        result.message =
            std::string("brimsal-cli: ") + error.what() + "\nTry 'brimsal-cli --help'.";
        result.exit_code = 2;
    }
    return result;
}

RoadSettings RoadSettingsFromControls(const CliOptions& options) {
    RoadSettings settings;
    settings.develop.wb = options.wb;
    settings.develop.txtSat = options.saturation;
    settings.develop.cmbSat = options.saturation_row;
    settings.develop.quality = options.demosaic;
    settings.develop.profile = options.profile;
    settings.develop.txtDCRAW = options.dcraw_options;
    settings.develop.hlRecovery = options.highlight_recovery;
    settings.develop.headroom = options.headroom;
    settings.ev.average = options.ev_average;
    settings.map.threshold = options.threshold;
    settings.map.antighost = options.antighost;
    settings.map.progressive = options.progressive;
    settings.blend.BWR = options.bw_red;
    settings.blend.BWB = options.bw_blue;
    settings.blend.Gamma10 = options.gamma10;
    settings.blend.ETTR = options.ettr;
    settings.blend.NumBracketing = options.bracket_num;
    settings.blend.PasoBracketing = options.bracket_ev;
    settings.blend.floatOutput = options.float_output;
    return settings;
}

}  // namespace brimsal::cli
