// brimsal-synth's series: names, settings, reproducible files, the DNG as dcraw reads it, and
// dcraw's development of the frames against the sensor model (the radiance TIFF is the ground
// truth of the end-to-end test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numeric>

#include "CliRunner.h"
#include "Scene.h"
#include "SceneChecks.h"
#include "Sensor.h"
#include "Series.h"
#include "app/Misc.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {
namespace {

using synth::FlatRegion;

constexpr std::array<double, 3> kDaylight = {2.132483, 1.0, 1.480864};
constexpr double kSigmas = 5.0;  // a mean off by more than this many standard errors is a fault
// dcraw keeps whole numbers and truncates at its integer steps (scaling, demosaic, colour
// conversion): measured means sit up to about 1.5 levels low. The DNG stores the colour matrix as
// fractions over 10^6, which leaves the camera-to-sRGB transform a few 10^-6 from the identity.
constexpr double kRoundingLevels = 2.0;
constexpr double kMatrixRelative = 1e-4;

synth::SeriesResult MakeSeries(const test::TempDir& dir, int width, int height, int frames,
                               bool radiance = false, double ev_step = 2.0) {
    synth::SeriesSettings settings;
    settings.folder = dir.path();
    settings.width = width;
    settings.height = height;
    settings.frames = frames;
    settings.radiance = radiance;
    settings.seed = 7;
    settings.ev_step = ev_step;
    return synth::WriteSeries(settings);
}

// Develops `dng` as brimsal-cli does (AHD, sRGB), with `wb` in place of the multipliers.
Frame Develop(const std::string& dng, const std::vector<std::string>& wb) {
    std::vector<std::string> arguments = {"-v", "-4", "-T"};
    arguments.insert(arguments.end(), wb.begin(), wb.end());
    for (const char* option : {"-q", "3", "-o", "1"}) {
        arguments.push_back(option);
    }
    arguments.push_back(dng);
    const test::RunResult run = test::Run("dcraw", arguments);
    EXPECT_EQ(run.exit_code, 0) << "dcraw " << dng << ": " << run.err;
    const std::string tiff = dng.substr(0, dng.size() - 4) + ".tiff";
    return LeerTIFF(tiff);
}

std::vector<std::string> Multipliers(const std::array<double, 3>& m) {
    auto text = [](double v) { return TextoNumero(v, "."); };
    return {"-r", text(m[0]), text(m[1]), text(m[2]), text(m[1])};
}

TEST(SynthNames, NameOrderIsNeverExposureOrder) {
    for (int frames = 2; frames <= synth::kMaxFrames; ++frames) {
        for (uint64_t seed = 0; seed < 30; ++seed) {
            const std::vector<int> names = synth::ShuffledNameIndices(frames, seed);
            std::vector<int> sorted = names;
            std::sort(sorted.begin(), sorted.end());
            std::vector<int> expected(static_cast<size_t>(frames));
            std::iota(expected.begin(), expected.end(), 1);
            ASSERT_EQ(sorted, expected) << "not a permutation";
            EXPECT_FALSE(std::is_sorted(names.begin(), names.end())) << frames << " " << seed;
            if (frames >= 3) {
                EXPECT_FALSE(std::is_sorted(names.rbegin(), names.rend())) << frames;
            }
            EXPECT_EQ(names, synth::ShuffledNameIndices(frames, seed)) << "not reproducible";
        }
    }
    EXPECT_EQ(synth::ShuffledNameIndices(1, 0), std::vector<int>{1});
    EXPECT_EQ(synth::FrameFileName("synth", 3), "synth_03.dng");
    EXPECT_EQ(synth::FrameFileName("s", 10), "s_10.dng");
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

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SynthSeries, SameSeedGivesTheSameFilesWhateverTheThreadCount) {
    test::TempDir one, two;
    synth::SeriesSettings settings;
    settings.width = 256;
    settings.height = 130;  // two bands of rows, the second short
    settings.frames = 3;
    settings.folder = one.path();
    settings.threads = 1;
    const auto first = synth::WriteSeries(settings);
    settings.folder = two.path();
    settings.threads = 2;
    const auto second = synth::WriteSeries(settings);
    ASSERT_EQ(first.frames.size(), second.frames.size());
    for (size_t i = 0; i < first.frames.size(); ++i) {
        EXPECT_EQ(FileBytes(first.frames[i].path), FileBytes(second.frames[i].path));
    }
    EXPECT_EQ(FileBytes(first.radiance_path), FileBytes(second.radiance_path));
    // Another seed changes the noise.
    test::TempDir three;
    settings.folder = three.path();
    settings.seed = 2;
    const auto other = synth::WriteSeries(settings);
    EXPECT_NE(FileBytes(first.frames[0].path), FileBytes(other.frames[0].path));
}

TEST(SynthDng, DcrawIdentifiesCameraPatternLevelsAndShutter) {
    test::TempDir dir;
    const auto series = MakeSeries(dir, 256, 192, 3);
    ASSERT_EQ(series.frames.size(), 3u);
    const char* const shutters[] = {"Shutter: 1/1024.0 sec", "Shutter: 1/256.0 sec",
                                    "Shutter: 1/64.0 sec"};
    for (const auto& frame : series.frames) {
        const test::RunResult info = test::Run("dcraw", {"-i", "-v", frame.path});
        ASSERT_EQ(info.exit_code, 0) << info.err;
        for (const std::string line :
             {"Camera: Brimsal Synthetic Bayer 16", "DNG Version: 1.1.0.0", "ISO speed: 100",
              "Aperture: f/8.0", " 256 x 192\nImage size:", "Filter pattern: RG/GB",
              "Camera multipliers: 2.132483 1.000000 1.480865"}) {
            EXPECT_NE(info.out.find(line), std::string::npos) << line << " in\n" << info.out;
        }
        EXPECT_NE(info.out.find(shutters[frame.rank]), std::string::npos) << info.out;
    }
}

// What the sample series is for: dcraw, run as brimsal-cli runs it, gives in every flat region
// (raw - black) x multiplier x 65535 / (white - black), with no mixing of channels.
void ExpectDevelopedAsModelled(const Frame& developed, const synth::Scene& scene,
                               double exposure_factor, const std::array<double, 3>& multipliers) {
    for (const FlatRegion& region : scene.flatRegions()) {
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
            const double tolerance = kSigmas * test::StandardError(sigma, r.area()) +
                                     kRoundingLevels + kMatrixRelative * expected;
            EXPECT_NEAR(mean[c], expected, tolerance) << region.name << " channel " << c;
        }
    }
}

// Every frame with the Daylight multipliers; one frame with unity multipliers (the sensor's own
// colour: green most sensitive), another preset, and the camera's white balance (AsShotNeutral
// is the inverse of the sensitivities: the Daylight multipliers up to dcraw's printing of them).
TEST(SynthDcraw, DevelopmentGivesTheModelledLevels) {
    test::TempDir dir;
    const auto series = MakeSeries(dir, 600, 400, 3);
    const synth::Scene scene(600, 400, 7);
    for (const auto& frame : series.frames) {
        SCOPED_TRACE(frame.path);
        const Frame developed = Develop(frame.path, Multipliers(kDaylight));
        ASSERT_EQ(developed.width, 600);
        ASSERT_EQ(developed.height, 400);
        ExpectDevelopedAsModelled(developed, scene, frame.exposure_factor, kDaylight);
    }
    const auto& frame = series.frames[1];
    const std::array<double, 3> unity = {1, 1, 1};
    const std::array<double, 3> tungsten = {1.392498, 1.0, 2.375114};
    for (const auto& [wb, multipliers] : {std::pair{Multipliers(unity), unity},
                                          {Multipliers(tungsten), tungsten},
                                          {std::vector<std::string>{"-w"}, kDaylight}}) {
        SCOPED_TRACE(wb[0] + " " + (wb.size() > 1 ? wb[1] : ""));
        ExpectDevelopedAsModelled(Develop(frame.path, wb), scene, frame.exposure_factor,
                                  multipliers);
    }
}

// What the headroom road relies on: with -H 1 dcraw divides the same multipliers by their
// largest (and says so), each channel of a fully saturated area stops at 65535 times its share,
// and an unclipped area is darker than the normal development by F in every channel.
TEST(SynthDcraw, HeadroomDividesByTheLargestMultiplier) {
    test::TempDir dir;
    const auto series = MakeSeries(dir, 400, 300, 2, false, 3.0);
    const synth::Scene scene(400, 300, 7);
    WhiteBalanceSettings wb;
    wb.txtWB = {"2.132483", "1", "1.480864"};
    const DevelopScale scale = HeadroomScale(wb);
    EXPECT_DOUBLE_EQ(scale.factor, 2.132483);
    const std::string dng = series.frames[1].path;  // 3 EV up: the window clips everywhere
    std::vector<std::string> arguments = Multipliers(kDaylight);
    const Frame normal = Develop(dng, arguments);
    arguments.insert(arguments.end(), {"-H", "1"});
    const Frame headroom = Develop(dng, arguments);

    const test::RunResult run =
        test::Run("dcraw", {"-v", "-H", "1", "-r", "2.132483", "1", "1.480864", "1", "-c", dng});
    EXPECT_NE(run.err.find("multipliers 1.000000 0.468937 0.694432 0.468937"), std::string::npos)
        << run.err;
    EXPECT_NEAR(scale.saturation[1], 0.468937, 1e-6);
    EXPECT_NEAR(scale.saturation[2], 0.694432, 1e-6);
    for (const FlatRegion& region : scene.flatRegions()) {
        const test::Rect r = test::Inside(region, 0.15, 4);
        const auto mean_normal = test::MeanLevels(normal, r);
        const auto mean_headroom = test::MeanLevels(headroom, r);
        for (int c = 0; c < 3; ++c) {
            const double saturation = std::floor(65535 * scale.saturation[static_cast<size_t>(c)]);
            if (region.name.starts_with("window pane")) {
                EXPECT_NEAR(mean_headroom[c], saturation, 2.0) << region.name << " channel " << c;
            } else if (mean_normal[c] > 1000 && mean_normal[c] < 60000) {
                EXPECT_NEAR(mean_headroom[c] * scale.factor, mean_normal[c],
                            0.001 * mean_normal[c] + 3.0)
                    << region.name << " channel " << c;
            }
        }
    }
}

}  // namespace
}  // namespace brimsal
