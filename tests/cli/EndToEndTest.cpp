// The whole road with the real dcraw: brimsal-synth writes a bracketed series of a known scene,
// brimsal-cli develops, measures, maps and blends it, and the output must give back the scene's
// radiance on the exposure scale of the darkest frame, region by region, within the noise of
// the frame the map chose there (tolerances below, each beside its reason).
#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <cmath>
#include <filesystem>
#include <memory>
#include <set>

#include "CliRunner.h"
#include "RadianceTiff.h"
#include "Scene.h"
#include "SceneChecks.h"
#include "Sensor.h"
#include "image/TiffIO.h"
#include "maps/BlendingMap.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

const std::string kCli = BRIMSAL_CLI_PATH;
const std::string kSynth = BRIMSAL_SYNTH_PATH;

constexpr int kWidth = 1200;
constexpr int kHeight = 800;
constexpr int kFrames = 5;
constexpr double kEvStep = 2.0;
constexpr uint64_t kSeed = 11;
// brimsal-cli's start values: Daylight preset, map threshold 90 %, anti-ghosting 0 px,
// progressive blending 3 px, gamma 2.2.
constexpr std::array<double, 3> kDaylight = {2.132483, 1.0, 1.480864};
constexpr double kThresholdLevel = 90 * 65535 / 100.0;
constexpr int kHighestThreshold = 65279;
constexpr float kDefaultInverseGamma = 1.0f / 2.2f;
// Flat regions are measured inside: 15 % of their size and at least 12 pixels from their edges,
// well beyond the anti-ghosting and progressive radii (3 + 3 px) and the demosaic's reach.
constexpr double kInsideFraction = 0.15;
constexpr int kInsidePixels = 12;

// A patch whose level is 5 % away from a threshold is clear of it: single samples scatter by
// less than 0.5 % at those levels (shot noise of tens of thousands of electrons).
constexpr double kClearOfThreshold = 1.05;

// Standard errors of a region's mean: shot and read noise of the chosen frame, divided by its
// exposure factor (the blend scales it down).
constexpr double kSigmas = 5.0;
// The median method measures each 2 EV step in 1/1000 EV bins from noisy samples: per step,
// accumulated over the steps up to the chosen frame.
constexpr double kEvErrorPerStep = 0.005;
constexpr double kDcrawTruncation = 2.0;  // levels: dcraw truncates at its integer steps
constexpr double kOutputRounding = 0.5;   // whole output levels, through the inverse gamma
constexpr double kMatrixRelative = 1e-4;  // the colour matrix is stored as fractions

struct Road {
    test::TempDir dir;
    test::RunResult synth;
    test::RunResult cli;
    std::string first_frame;
};

std::string Transcript(const test::RunResult& run) {
    return "exit code " + std::to_string(run.exit_code) + "\n--- stdout\n" + run.out +
           "--- stderr\n" + run.err;
}

double ExposureFactor(int rank) {
    return std::exp2(kEvStep * rank);
}

// The brightest frame (rank, 0 = darkest) whose developed levels of `radiance` stay at or below
// the map's thresholds (the Daylight multiplier times 90 % of full scale, at most 65279), and how
// clear of them the choice is: the smallest threshold / level in the chosen frame and
// level / threshold in the next brighter one.
struct Choice {
    int rank = 0;
    double clearance = 1e9;
};

Choice ExpectedChoice(const synth::Rgb& radiance) {
    Choice choice;
    for (int rank = kFrames - 1; rank >= 0; --rank) {
        double worst = 0;  // the largest level / threshold
        for (int c = 0; c < 3; ++c) {
            const double threshold =
                std::min<double>(kHighestThreshold, std::nearbyint(kDaylight[c] * kThresholdLevel));
            const double level =
                synth::DevelopedRadiance(radiance[c], c, ExposureFactor(rank), kDaylight);
            worst = std::max(worst, level / threshold);
        }
        if (worst <= 1 || rank == 0) {
            choice.rank = rank;
            choice.clearance = std::min(choice.clearance, 1 / worst);
            return choice;
        }
        choice.clearance = worst;
    }
    return choice;
}

// The frame index (1 = darkest) of a whole-frame map level, 0 for a transition level.
int FrameOfLevel(int level) {
    const float m = BuildIndicePorNivel(kFrames)[static_cast<size_t>(level)];
    return m == std::floor(m) ? static_cast<int>(m) : 0;
}

class EndToEnd : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        road_ = std::make_unique<Road>();
        road_->synth = test::Run(
            kSynth, {"--out", road_->dir.path(), "--size",
                     std::to_string(kWidth) + "x" + std::to_string(kHeight), "--frames",
                     std::to_string(kFrames), "--ev-step", "2", "--seed", std::to_string(kSeed)});
        const auto frames = test::FilesLike(road_->dir.path(), "synth_", ".dng");
        if (road_->synth.exit_code != 0 || frames.empty()) {
            return;
        }
        // The reference is the first file by name, which is not the darkest frame.
        road_->first_frame = frames.front();
        road_->cli = test::Run(kCli, {road_->first_frame});
    }
    static void TearDownTestSuite() { road_.reset(); }
    void SetUp() override {
        ASSERT_EQ(road_->synth.exit_code, 0)
            << "brimsal-synth failed: " << Transcript(road_->synth);
        ASSERT_EQ(road_->cli.exit_code, 0)
            << "brimsal-cli did not run the whole road over the sample series:\n"
            << Transcript(road_->cli);
    }

    static const std::string& Folder() { return road_->dir.path(); }

    // Compares every flat region of `output` (written with `inverse_gamma`) with the radiance
    // on frame 1's scale, each region against the noise of the frame `chosen(region)`.
    void ExpectRadianceAtFrameOneScale(const Frame& output, float inverse_gamma,
                                       const std::vector<int>& chosen_ranks) {
        const synth::RadianceImage radiance =
            synth::ReadRadianceTiff(Folder() + "/synth_radiance.tif");
        ASSERT_EQ(output.width, radiance.width);
        ASSERT_EQ(output.height, radiance.height);
        const synth::Scene scene(kWidth, kHeight, kSeed);
        std::set<synth::Tone> tones;
        for (size_t i = 0; i < scene.flatRegions().size(); ++i) {
            const synth::FlatRegion& region = scene.flatRegions()[i];
            const int rank = chosen_ranks[i];
            const double factor = ExposureFactor(rank);
            const test::Rect r = test::Inside(region, kInsideFraction, kInsidePixels);
            const auto light = test::MeanLevels(radiance, r);
            const auto measured = test::MeanLevels(output, r, inverse_gamma);
            for (int c = 0; c < 3; ++c) {
                const double expected = synth::DevelopedRadiance(light[c], c, 1.0, kDaylight);
                const double sigma =
                    synth::DevelopedNoise(expected * factor, c, kDaylight) / factor;
                // d(linear) / d(output sample) at the expected level, for the output's rounding.
                const double slope = inverse_gamma == 1.0f
                                         ? 1.0
                                         : expected / (inverse_gamma * 65535.0 *
                                                       std::pow(expected / 65535.0, inverse_gamma));
                const double tolerance = kSigmas * test::StandardError(sigma, r.area()) +
                                         expected * (std::exp2(kEvErrorPerStep * rank) - 1) +
                                         kDcrawTruncation / factor + kOutputRounding * slope +
                                         kMatrixRelative * expected;
                EXPECT_NEAR(measured[c], expected, tolerance)
                    << region.name << ", channel " << c << ", frame " << rank + 1;
            }
            tones.insert(region.tone);
        }
        EXPECT_EQ(tones.size(), 4u) << "shadow, midtone, highlight and colour regions checked";
    }

    // The frame (rank) the map chose inside each flat region.
    std::vector<int> MapChoices() {
        auto maps = test::FilesLike(Folder(), "Map_", ".png");
        std::erase_if(maps, [](const std::string& m) { return m.ends_with("_PB.png"); });
        EXPECT_EQ(maps.size(), 1u);
        std::vector<int> ranks;
        if (maps.empty()) {
            return ranks;
        }
        const QImage map(QString::fromStdString(maps.front()));
        EXPECT_EQ(map.width(), kWidth);
        EXPECT_EQ(map.height(), kHeight);
        const synth::Scene scene(kWidth, kHeight, kSeed);
        for (const synth::FlatRegion& region : scene.flatRegions()) {
            const test::Rect r = test::Inside(region, kInsideFraction, kInsidePixels);
            const int level = qRed(map.pixel(r.x0, r.y0));
            bool uniform = true;
            for (int y = r.y0; y < r.y1 && uniform; ++y) {
                for (int x = r.x0; x < r.x1 && uniform; ++x) {
                    uniform = qRed(map.pixel(x, y)) == level;
                }
            }
            EXPECT_TRUE(uniform) << region.name << ": the map changes inside a flat region";
            const int frame = FrameOfLevel(level);
            EXPECT_GE(frame, 1) << region.name << ": transition level " << level;
            ranks.push_back(std::max(frame, 1) - 1);
        }
        return ranks;
    }

    static inline std::unique_ptr<Road> road_;
};

// The map takes, in every flat region, the brightest frame whose channels all stay at or below
// the thresholds; the scene keeps its patches clear of the thresholds so the choice is sharp.
TEST_F(EndToEnd, MapTakesTheBrightestUnclippedFrameInEveryFlatRegion) {
    const std::vector<int> ranks = MapChoices();
    const synth::Scene scene(kWidth, kHeight, kSeed);
    ASSERT_EQ(ranks.size(), scene.flatRegions().size());
    std::set<int> frames_used;
    for (size_t i = 0; i < ranks.size(); ++i) {
        const synth::FlatRegion& region = scene.flatRegions()[i];
        const Choice expected = ExpectedChoice(region.radiance);
        EXPECT_GE(expected.clearance, kClearOfThreshold) << region.name << " is near a threshold";
        EXPECT_EQ(ranks[i] + 1, expected.rank + 1) << region.name;
        frames_used.insert(ranks[i]);
    }
    EXPECT_EQ(frames_used.size(), static_cast<size_t>(kFrames)) << "every frame supplies a region";
}

// Written with gamma 2.2 by the road (beside the histogram of the relative exposures), then
// linear (--gamma 1) from the developed TIFFs there.
TEST_F(EndToEnd, OutputGivesTheRadianceOnTheDarkestFramesScale) {
    EXPECT_EQ(test::FilesLike(Folder(), "His_", ".gif").size(), 1u);
    const std::vector<int> ranks = MapChoices();
    ASSERT_FALSE(ranks.empty());
    const auto outputs = test::FilesLike(Folder(), "BR_", "_sRGB_g2.2.tif");
    ASSERT_EQ(outputs.size(), 1u);
    ExpectRadianceAtFrameOneScale(ReadTiff(outputs.front()), kDefaultInverseGamma, ranks);
    const test::RunResult linear =
        test::Run(kCli, {"--no-develop", "--gamma", "1", road_->first_frame});
    ASSERT_EQ(linear.exit_code, 0) << Transcript(linear);
    const auto linear_outputs = test::FilesLike(Folder(), "BR_", "_sRGB_g1.tif");
    ASSERT_EQ(linear_outputs.size(), 1u);
    ExpectRadianceAtFrameOneScale(ReadTiff(linear_outputs.front()), 1.0f, ranks);
}

// The headroom road with float output on a copy of the series: thresholds at 90 % of each
// channel's own saturation, F in the log, and an unclamped linear output on the normal scale.
TEST_F(EndToEnd, HeadroomFloatOutputKeepsTheNormalScale) {
    const std::string folder = Folder() + "/headroom";
    std::filesystem::create_directory(folder);
    for (const std::string& dng : test::FilesLike(Folder(), "synth_", ".dng")) {
        std::filesystem::copy_file(dng,
                                   folder + "/" + std::filesystem::path(dng).filename().string());
    }
    const test::RunResult run =
        test::Run(kCli, {"--headroom", "--float", "--gamma", "1", folder + "/synth_01.dng"});
    ASSERT_EQ(run.exit_code, 0) << Transcript(run);
    for (const char* line :
         {"R: 58982\nG: 27659\nB: 40959\n", "Set developed with headroom: F = 2.132483\n"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }
    const auto outputs = test::FilesLike(folder, "BR_", "_sRGB_g1_float.tif");
    ASSERT_EQ(outputs.size(), 1u) << Transcript(run);
    synth::RadianceImage output;  // the same layout: interleaved floats
    output.rgb = ReadFloatTiff(outputs.front(), output.width, output.height);
    ASSERT_EQ(output.width, kWidth);
    const synth::Scene scene(kWidth, kHeight, kSeed);
    for (const synth::FlatRegion& region : scene.flatRegions()) {
        const auto mean =
            test::MeanLevels(output, test::Inside(region, kInsideFraction, kInsidePixels));
        for (int c = 0; c < 3; ++c) {
            const double expected = synth::DevelopedRadiance(region.radiance[c], c, 1.0, kDaylight);
            EXPECT_NEAR(mean[c] * 65535, expected, 0.02 * expected + 4)
                << region.name << ", channel " << c;
        }
    }
}

}  // namespace
}  // namespace brimsal
