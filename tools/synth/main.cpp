// brimsal-synth: writes a bracketed series of synthetic Bayer DNGs of a known scene, and the
// scene's radiance, for demos and end-to-end tests through the real dcraw. See --help.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "Scene.h"
#include "Sensor.h"
#include "Series.h"
#include "base/NumberText.h"

namespace {

using namespace brimsal;
using namespace brimsal::synth;

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kHelp =
    "Usage: brimsal-synth [OPTIONS]\n"
    "Writes a bracketed series of synthetic RAW files (DNG: 16-bit Bayer RGGB with shot and\n"
    "read noise, black and white level, EXIF exposure times) of one scene with deep shadows,\n"
    "fine texture, colour patches and a bright window (15 EV), and the scene's radiance as a\n"
    "32-bit float TIFF. Frame names are shuffled: name order is not exposure order. Files of\n"
    "the same names are replaced.\n"
    "\n"
    "  --out DIR        folder to write into, created if missing (default: .)\n"
    "  --size WxH       picture size, even numbers, or 24mp for 6000x4000 (default 1200x800)\n"
    "  --frames N       number of frames, 1..10 (default 5)\n"
    "  --ev-step EV     exposure step between frames; the series spans at most 20 EV\n"
    "                   (default 2)\n"
    "  --seed N         texture and noise seed (default 1)\n"
    "  --name BASE      file base name: BASE_01.dng ..., BASE_radiance.tif (default synth)\n"
    "  --scene warm     strongly red and blue bright areas (tungsten, sunset, blue sky)\n"
    "                   instead of the standard near-neutral scene\n"
    "  --scene lamps    the warm scene with lamps of several colours, clipped in every\n"
    "                   channel of the darkest frame, and lights clipped in one\n"
    "  --camera mixing  a camera whose channels mix as real ones do (the colour matrix of a\n"
    "                   Canon EOS 350D) instead of the diagonal one (default: diagonal)\n"
    "  --no-radiance    do not write the radiance TIFF\n"
    "  --threads N      worker threads (default: all cores)\n"
    "  -h, --help       show this help\n"
    "\n"
    "Develop a frame as brimsal-cli does: dcraw -v -4 -T -r 2.132483 1 1.480864 1 -q 3 -o 1 FILE\n"
    "Example: brimsal-synth --out ~/brimsal-sample && brimsal-cli ~/brimsal-sample/synth_01.dng\n";

struct UsageError {
    std::string message;
};

template <typename T>
T Number(const std::string& option, std::string text) {
    std::replace(text.begin(), text.end(), ',', '.');
    T value{};
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end) {
        throw UsageError{option + " takes a number (got '" + text + "')"};
    }
    return value;
}

void ParseSize(const std::string& text, SeriesSettings& settings) {
    if (text == "24mp" || text == "24MP") {
        settings.width = 6000;
        settings.height = 4000;
        return;
    }
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) {
        throw UsageError{"--size takes WxH, e.g. 1200x800, or 24mp (got '" + text + "')"};
    }
    settings.width = Number<int>("--size", text.substr(0, x));
    settings.height = Number<int>("--size", text.substr(x + 1));
}

SeriesSettings Parse(const std::vector<std::string>& args, bool& help) {
    SeriesSettings settings;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "-h" || option == "--help") {
            help = true;
            return settings;
        }
        if (option == "--no-radiance") {
            settings.radiance = false;
            continue;
        }
        if (i + 1 >= args.size()) {
            throw UsageError{"unknown option or missing value: '" + option + "'"};
        }
        const std::string& value = args[++i];
        if (option == "--out") {
            settings.folder = value;
        } else if (option == "--size") {
            ParseSize(value, settings);
        } else if (option == "--frames") {
            settings.frames = Number<int>(option, value);
        } else if (option == "--ev-step") {
            settings.ev_step = Number<double>(option, value);
        } else if (option == "--seed") {
            settings.seed = Number<uint64_t>(option, value);
        } else if (option == "--name") {
            settings.base_name = value;
        } else if (option == "--scene") {
            if (value != "warm" && value != "standard" && value != "lamps") {
                throw UsageError{"--scene takes standard, warm or lamps (got '" + value + "')"};
            }
            settings.style = value == "warm"    ? SceneStyle::kWarm
                             : value == "lamps" ? SceneStyle::kLamps
                                                : SceneStyle::kStandard;
        } else if (option == "--camera") {
            if (value != "diagonal" && value != "mixing") {
                throw UsageError{"--camera takes diagonal or mixing (got '" + value + "')"};
            }
            settings.camera = value == "mixing" ? Camera::kMixing : Camera::kDiagonal;
        } else if (option == "--threads") {
            settings.threads = Number<int>(option, value);
        } else {
            throw UsageError{"unknown option '" + option + "'"};
        }
    }
    if (const std::string problem = CheckSettings(settings); !problem.empty()) {
        throw UsageError{problem};
    }
    return settings;
}

// Shutter speeds as photographers write them: 1/1024 s, 1/362.1 s, 2 s.
std::string ExposureText(double seconds) {
    if (seconds < 1) {
        return "1/" + NumberText(std::nearbyint(10 / seconds) / 10, ".") + " s";
    }
    return NumberText(std::nearbyint(seconds * 10) / 10, ".") + " s";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    SeriesSettings settings;
    bool help = false;
    try {
        settings = Parse(args, help);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "brimsal-synth: %s\nTry 'brimsal-synth --help'.\n",
                     error.message.c_str());
        return kExitUsage;
    }
    if (help) {
        std::fputs(kHelp, stdout);
        return kExitDone;
    }
    try {
        std::filesystem::create_directories(settings.folder);
        const SeriesResult result = WriteSeries(settings);
        const Scene scene(settings.width, settings.height, settings.seed, settings.style);
        std::printf("brimsal-synth: %d frame%s of %dx%d, %s EV apart, seed %llu\n", settings.frames,
                    settings.frames == 1 ? "" : "s", settings.width, settings.height,
                    NumberText(settings.ev_step, ".").c_str(),
                    static_cast<unsigned long long>(settings.seed));
        for (const auto& frame : result.frames) {
            std::printf("  %s  %s  +%s EV\n", frame.path.c_str(),
                        ExposureText(frame.exposure_time).c_str(),
                        NumberText(settings.ev_step * frame.rank, ".").c_str());
        }
        if (!result.radiance_path.empty()) {
            std::printf("  %s  scene radiance, 32-bit float RGB (window = 1)\n",
                        result.radiance_path.c_str());
        }
        std::printf(
            "Scene: %s EV from the darkest grey patch to the window; sensor black %d, "
            "white %d, read noise %s e-\n",
            NumberText(std::nearbyint(scene.RangeEv() * 100) / 100, ".").c_str(), kBlackLevel,
            kWhiteLevel, NumberText(kReadNoiseElectrons, ".").c_str());
        return kExitDone;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brimsal-synth: %s\n", error.what());
        return kExitFailed;
    }
}
