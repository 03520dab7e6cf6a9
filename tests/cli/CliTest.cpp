// brimsal-cli's options, exit codes and its first steps (listing, load and sort) on TIFFs; and
// brimsal-synth's series: names, settings, reproducible files, the DNG as dcraw reads it, and
// dcraw's development of the frames against the sensor model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <numeric>

#include "CliRunner.h"
#include "Scene.h"
#include "SceneChecks.h"
#include "Sensor.h"
#include "Series.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {
namespace {

const std::string kCli = BRIMSAL_CLI_PATH;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliUsage, OutOfRangeOrMalformedOptionsExitTwoNamingTheOption) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--threshold", "120"}, "--threshold"},
        {{"--antighost", "-1"}, "--antighost"},
        {{"--progressive", "abc"}, "--progressive"},
        {{"--gamma", "3.5"}, "--gamma"},
        {{"--gamma", "2.25"}, "--gamma"},
        {{"--bracket", "8,2"}, "--bracket"},
        {{"--bracket", "3"}, "--bracket"},
        {{"--bw", "80,33"}, "--bw"},
        {{"--wb", "purple"}, "--wb"},
        {{"--ev-method", "mode"}, "--ev-method"},
        {{"--steps", "print"}, "--steps"},
        {{"--no-develop", "--wb", "patch:0.1,0.1,0.2,0.2"}, "--no-develop"},
        {{"--no-such-option"}, "no-such-option"},
        {{"--saturation", "0"}, "--saturation"},
        {{"--wb", "2,0,1"}, "--wb"},
        {{"--wb", "1e-320,1,1"}, "--wb: The red white balance multiplier"},
        {{"--demosaic", "fast"}, "--demosaic"},
        // A bad option is named after good ones.
        {{"--bw", "30,30", "--bracket", "3,2", "--headroom", "--wb", "camera"}, "--headroom"},
        {{"a.cr2"}, "REFERENCE_RAW"},
    };
    for (auto [arguments, named] : cases) {
        arguments.push_back("x.cr2");
        const test::RunResult result = test::Run(kCli, arguments);
        EXPECT_EQ(result.exit_code, 2) << result.err;
        EXPECT_TRUE(Contains(result.err, named)) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
    for (const auto& [option, says] : {std::pair{"--help", "REFERENCE_RAW"}, {"--version", "1."}}) {
        const test::RunResult run = test::Run(kCli, {option});
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_TRUE(Contains(run.out, says)) << run.out;
    }
}

// Run under a display that is gone (ssh after the forwarding died, cron, tmux): the console
// program needs none and must not abort.
TEST(CliUsage, MissingReferenceExitsOneEvenUnderAStaleDisplay) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string saved_platform = platform != nullptr ? platform : "";
    unsetenv("QT_QPA_PLATFORM");
    setenv("DISPLAY", ":97", 1);
    setenv("WAYLAND_DISPLAY", "brimsal-gone-display", 1);
    test::TempDir dir;
    const test::RunResult result = test::Run(kCli, {"--no-develop", dir.file("none.cr2")});
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (platform != nullptr) {
        setenv("QT_QPA_PLATFORM", saved_platform.c_str(), 1);
    }
    EXPECT_EQ(result.exit_code, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "ERROR: Reference RAW file")) << result.err;
}

// A folder of three RAW stand-ins with their TIFFs, one of them an odd case.
class CliFirstSteps : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const auto& [name, level] : std::vector<std::pair<std::string, uint16_t>>{
                 {"IMG_1", 4000}, {"IMG_2", 1500}, {"IMG_3", 16000}}) {
            test::Touch(dir_.file(name + ".NEF"));
            WriteTiff(test::ConstantFrame(12, 8, level, level, level), dir_.file(name + ".tiff"));
        }
        test::Touch(dir_.file("notes.txt"));
    }
    test::TempDir dir_;
};

// Each failure of the first steps ends with exit code 1, the box on stderr, the log on stdout
// (the load's own failures are the exposure set's tests).
TEST_F(CliFirstSteps, FailuresExitOne) {
    const struct {
        std::vector<std::string> removed, arguments;  // files removed first; after --no-develop
        std::string err, out;                         // parts of stderr and stdout
    } cases[] = {
        {{"IMG_1.tiff", "IMG_3.tiff"},
         {"IMG_1.NEF"},
         "",
         "file IMG_1.tiff not found. Skipped\nfile IMG_3.tiff not found. Skipped\n\n"
         "Insufficient TIFF files\nDONE\n"},
        {{}, {"IMG_0"}, "Unexpected error occurred in module LeerArchivosRAW", ""},
        {{}, {"--map", "none.png", "IMG_1.NEF"}, "ERROR: Map file 'none.png' not found", ""},
    };
    test::Touch(dir_.file("IMG_0"));
    for (const auto& c : cases) {
        SetUp();
        std::vector<std::string> arguments = {"--no-develop"};
        for (const std::string& name : c.removed) {
            std::filesystem::remove(dir_.file(name));
        }
        for (const std::string& argument : c.arguments) {
            arguments.push_back(argument.starts_with("IMG") ? dir_.file(argument) : argument);
        }
        const test::RunResult result = test::Run(kCli, arguments);
        EXPECT_EQ(result.exit_code, 1) << result.err;
        EXPECT_TRUE(Contains(result.err, c.err)) << result.err;
        EXPECT_TRUE(Contains(result.err + result.out, c.out)) << result.out;
    }
}

// Without --no-develop the TIFFs would be deleted before dcraw is run on them.
TEST_F(CliFirstSteps, TiffGivenAsReferenceDeletesNothing) {
    const auto contents = [this] {
        std::vector<std::string> files;
        for (const char* name : {"IMG_1.tiff", "IMG_2.tiff", "IMG_3.tiff", "IMG_1.NEF"}) {
            files.push_back(test::FileBytes(dir_.file(name)));
        }
        return files;
    };
    const std::vector<std::string> before = contents();
    const test::RunResult result = test::Run(kCli, {dir_.file("IMG_2.tiff")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(Contains(result.err, "ERROR: 'IMG_2.tiff' is a TIFF file")) << result.err;
    EXPECT_EQ(contents(), before);
}

// A reference given relative to the working folder; the set listed, loaded and sorted.
TEST_F(CliFirstSteps, RelativeReferenceListsLoadsAndSorts) {
    const test::RunResult result = test::Run(
        "/bin/sh",
        {"-c", "cd '" + dir_.path() + "' && '" + kCli + "' --no-develop --steps ev IMG_1.NEF"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(Contains(result.out,
                         "3 RAW files selected in path\nLoading 3 TIFF files...\n\n"
                         "Calculating absolute exposure...\nIMG_1.tiff: 6.1%\nIMG_2.tiff: 2.3%\n"
                         "IMG_3.tiff: 24.4%\nSorting images by exposure...\n"
                         "Reloading sorted images...\n"))
        << result.out;
}

constexpr std::array<double, 3> kDaylight = {2.132483, 1.0, 1.480864};

// Name order is never exposure order (nor, from three frames on, its reverse), and the same seed
// gives the same order.
TEST(SynthNames, NameOrderIsNeverExposureOrder) {
    for (int frames = 1; frames <= synth::kMaxFrames; ++frames) {
        std::vector<int> exposure_order(static_cast<size_t>(frames));
        std::iota(exposure_order.begin(), exposure_order.end(), 1);
        for (uint64_t seed = 0; seed < 30; ++seed) {
            const std::vector<int> names = synth::ShuffledNameIndices(frames, seed);
            ASSERT_TRUE(std::is_permutation(names.begin(), names.end(), exposure_order.begin(),
                                            exposure_order.end()));
            EXPECT_EQ(std::is_sorted(names.begin(), names.end()), frames == 1) << seed;
            EXPECT_EQ(std::is_sorted(names.rbegin(), names.rend()), frames < 3) << seed;
            EXPECT_EQ(names, synth::ShuffledNameIndices(frames, seed)) << "not reproducible";
        }
    }
}

TEST(SynthSettings, UnusableSettingsAreRefusedBeforeAnyFileIsWritten) {
    test::TempDir dir;
    auto with = [&](auto change) {
        synth::SeriesSettings settings;
        settings.folder = dir.path();
        change(settings);
        return settings;
    };
    const std::vector<synth::SeriesSettings> bad = {
        with([](auto& s) { s.width = 601; }),       with([](auto& s) { s.height = 2; }),
        with([](auto& s) { s.frames = 0; }),        with([](auto& s) { s.frames = 11; }),
        with([](auto& s) { s.ev_step = 0; }),       with([](auto& s) { s.ev_step = -1; }),
        with([](auto& s) { s.ev_step = 5.5; }),  // 5 frames 5.5 EV apart span 22 EV
        with([](auto& s) { s.base_name = "a/b"; }), with([](auto& s) { s.base_name = ""; }),
    };
    for (const auto& settings : bad) {
        EXPECT_FALSE(synth::CheckSettings(settings).empty());
        EXPECT_THROW(synth::WriteSeries(settings), std::invalid_argument);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// What the sample series is for: dcraw, run as brimsal-cli runs it, gives in every flat region
// (raw - black) x multiplier x 65535 / (white - black), with no mixing of channels. A mean off by
// more than 5 standard errors is a fault; dcraw keeps whole numbers and truncates at its integer
// steps (means sit up to about 1.5 levels low), and the DNG stores the colour matrix as fractions
// over 10^6 (the camera-to-sRGB transform is a few 10^-6 from the identity).
void ExpectDevelopedAsModelled(const Frame& developed, const synth::Scene& scene,
                               double exposure_factor, const std::array<double, 3>& multipliers) {
    for (const synth::FlatRegion& region : scene.flatRegions()) {
        const test::Rect r = test::Inside(region, 0.15, 4);
        const auto mean = test::MeanLevels(developed, r);
        for (int c = 0; c < 3; ++c) {
            const double expected =
                synth::DevelopedRadiance(region.radiance[c], c, exposure_factor, multipliers);
            const double sigma = synth::DevelopedNoise(expected, c, multipliers);
            if (expected > 1.2 * 65535) {
                EXPECT_GT(mean[c], 65000) << region.name << " channel " << c << " clips";
                continue;
            }
            if (expected > 0.85 * 65535 || expected < 4 * sigma) {
                continue;  // noise cut off at 0 or 65535 biases the mean
            }
            const double tolerance =
                5.0 * test::StandardError(sigma, r.area()) + 2.0 + 1e-4 * expected;
            EXPECT_NEAR(mean[c], expected, tolerance) << region.name << " channel " << c;
        }
    }
}

// The same seed writes the same files whatever the thread count (400 rows: bands of 64 rows, the
// last one short), another seed other noise.
TEST(SynthDcraw, SeriesIsReproducibleAndDevelopsToTheModelledLevels) {
    test::TempDir dir, two, three;
    const auto write = [](const test::TempDir& folder, int threads, uint64_t seed) {
        synth::SeriesSettings settings{folder.path(), 600, 400, 3};  // 600 x 400, 3 frames
        settings.threads = threads;
        settings.seed = seed;
        return synth::WriteSeries(settings);
    };
    const auto series = write(dir, 1, 7);
    const auto same = write(two, 2, 7);
    const auto other = write(three, 2, 2);
    for (size_t i = 0; i < series.frames.size(); ++i) {
        EXPECT_EQ(test::FileBytes(series.frames[i].path), test::FileBytes(same.frames[i].path));
    }
    EXPECT_EQ(test::FileBytes(series.radiance_path), test::FileBytes(same.radiance_path));
    EXPECT_NE(test::FileBytes(series.frames[0].path), test::FileBytes(other.frames[0].path));

    // dcraw identifies every frame; one frame developed as brimsal-cli does (AHD, sRGB) with the
    // camera's white balance gives the modelled levels (AsShotNeutral is the inverse of the
    // sensitivities: the Daylight multipliers up to dcraw's printing of them).
    const char* const shutters[] = {"Shutter: 1/1024.0 sec", "Shutter: 1/256.0 sec",
                                    "Shutter: 1/64.0 sec"};
    for (const auto& frame : series.frames) {
        const test::RunResult info = test::Run("dcraw", {"-i", "-v", frame.path});
        for (const std::string line :
             {"Camera: Brimsal Synthetic Bayer 16", "DNG Version: 1.1.0.0", "ISO speed: 100",
              "Aperture: f/8.0", " 600 x 400\nImage size:", "Filter pattern: RG/GB",
              "Camera multipliers: 2.132483 1.000000 1.480865", shutters[frame.rank]}) {
            EXPECT_NE(info.out.find(line), std::string::npos) << line << " in\n" << info.out;
        }
    }
    const auto& frame = series.frames[1];
    const test::RunResult run =
        test::Run("dcraw", {"-v", "-4", "-T", "-w", "-q", "3", "-o", "1", frame.path});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const Frame developed = ReadTiff(frame.path.substr(0, frame.path.size() - 4) + ".tiff");
    ASSERT_EQ(developed.width * developed.height, 600 * 400);
    ExpectDevelopedAsModelled(developed, synth::Scene(600, 400, 7), frame.exposure_factor,
                              kDaylight);

    // With -H 1 dcraw divides the same multipliers by their largest, as the headroom scale does.
    WhiteBalanceSettings daylight;
    daylight.txtWB = {"2.132483", "1", "1.480864"};
    const DevelopScale scale = HeadroomScale(daylight);
    const test::RunResult headroom = test::Run(
        "dcraw", {"-v", "-H", "1", "-r", "2.132483", "1", "1.480864", "1", "-c", frame.path});
    EXPECT_NE(headroom.err.find("multipliers 1.000000 0.468937 0.694432 0.468937"),
              std::string::npos)
        << headroom.err;
    EXPECT_DOUBLE_EQ(scale.factor, 2.132483);
    EXPECT_NEAR(scale.saturation[1], 0.468937, 1e-6);
    EXPECT_NEAR(scale.saturation[2], 0.694432, 1e-6);
}

}  // namespace
}  // namespace brimsal
