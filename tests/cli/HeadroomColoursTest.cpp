// The headroom road on a camera whose colour matrix mixes the channels, developed to sRGB:
// brimsal-synth's mixing camera and lamps scene through brimsal-cli --headroom --float, with
// every whole frame the map takes checked against the sensor the series was made with.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <algorithm>
#include <cmath>
#include <regex>

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

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kFrames = 4;
// Pixels whose radiance varies by more than this within kReach are skipped: the demosaic
// mixes neighbours there, so their developed channels are not their own photosites'.
constexpr double kSmooth = 0.02;
constexpr int kReach = 3;

class HeadroomColours : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        synth_ =
            test::Run(BRIMSAL_SYNTH_PATH, {"--out", dir_.path(), "--size", "800x600", "--frames",
                                           "4", "--camera", "mixing", "--scene", "lamps"});
        cli_ = test::Run(BRIMSAL_CLI_PATH, {"--headroom", "--float", "--gamma", "1", "--threshold",
                                            "99", "--progressive", "0", dir_.file("synth_01.dng")});
    }
    void SetUp() override {
        ASSERT_EQ(synth_.exit_code, 0) << synth_.err;
        ASSERT_EQ(cli_.exit_code, 0) << cli_.out << cli_.err;
    }
    static inline test::TempDir dir_;
    static inline test::RunResult synth_, cli_;
};

// Calc EV measures the exposures the series was made with, 2 EV apart, within the median's
// 1/1000 EV bins: no sample of a clipped camera channel biases them.
TEST_F(HeadroomColours, RelativeExposuresAreTheSeriesOwn) {
    const std::regex multiple(R"(tiff: ([0-9.]+) \(\+)");
    double expected = 4;
    for (auto m = std::sregex_iterator(cli_.out.begin(), cli_.out.end(), multiple);
         m != std::sregex_iterator(); ++m, expected *= 4) {
        EXPECT_NEAR(std::stod((*m)[1]) / expected, 1, 0.001) << cli_.out;
    }
    EXPECT_EQ(expected, 256);
}

// Where every camera channel of the darkest frame saturated, the channels stopped at heights
// the matrix mixed: the output is neutral there, whatever the lamp's colour.
TEST_F(HeadroomColours, LampsClippedInTheDarkestFrameComeOutNeutral) {
    const auto outputs = test::FilesLike(dir_.path(), "BR_", "_float.tif");
    ASSERT_EQ(outputs.size(), 1u);
    synth::RadianceImage output;
    output.rgb = ReadFloatTiff(outputs.front(), output.width, output.height);
    int lamps = 0;
    const synth::Scene scene(kWidth, kHeight, 1, synth::SceneStyle::kLamps);
    for (const synth::FlatRegion& region : scene.flatRegions()) {
        if (region.tone == synth::Tone::kLamp) {
            const auto mean = test::MeanLevels(output, test::Inside(region, 0.15, 12));
            const auto [low, high] = std::minmax_element(mean.begin(), mean.end());
            EXPECT_LE(*high / *low, 1.02)
                << region.name << ": " << mean[0] << " " << mean[1] << " " << mean[2];
            ++lamps;
        }
    }
    EXPECT_EQ(lamps, 4);
}

// The map never takes a frame in which a camera channel of the pixel clipped at the sensor,
// whatever the colour; every frame is taken somewhere. A pixel is judged where the radiance is
// flat within kReach (elsewhere the demosaic mixes neighbours into its channels) and its
// neighbours took its frame too (a lone pixel whose demosaiced channel dipped under the 99 %
// threshold is the threshold's tolerance, not a choice).
TEST_F(HeadroomColours, TheMapNeverTakesAFrameWhoseCameraChannelClipped) {
    const auto maps = test::FilesLike(dir_.path(), "Map_", ".png");
    ASSERT_EQ(maps.size(), 1u);
    const QImage map(QString::fromStdString(maps.front()));
    const synth::RadianceImage radiance = synth::ReadRadianceTiff(dir_.file("synth_radiance.tif"));
    const auto judged = [&](int x, int y) {
        for (int dy = -kReach; dy <= kReach; ++dy) {
            for (int dx = -kReach; dx <= kReach; ++dx) {
                for (int c = 0; c < 3; ++c) {
                    const float here = radiance.at(x, y)[c];
                    if (std::fabs(radiance.at(x + dx, y + dy)[c] - here) > kSmooth * here ||
                        (std::abs(dx) <= 1 && std::abs(dy) <= 1 &&
                         map.pixel(x + dx, y + dy) != map.pixel(x, y))) {
                        return false;
                    }
                }
            }
        }
        return true;
    };
    const std::array<float, 256> frame_of_level = BuildIndicePorNivel(kFrames);
    std::array<int, kFrames> taken{};
    int clipped = 0;
    for (int y = kReach; y < kHeight - kReach; ++y) {
        for (int x = kReach; x < kWidth - kReach; ++x) {
            const int rank = static_cast<int>(frame_of_level[qGray(map.pixel(x, y))]) - 1;
            if (rank == 0 || !judged(x, y)) {
                continue;  // the darkest frame is taken when no frame is free of clipping
            }
            ++taken[static_cast<size_t>(rank)];
            for (int c = 0; c < 3; ++c) {
                const double seen =
                    synth::SeenRadiance(radiance.at(x, y), c, synth::Camera::kMixing);
                clipped += synth::MeanElectrons(seen, c, std::exp2(2 * rank)) >
                           synth::kWhiteLevel - synth::kBlackLevel;
            }
        }
    }
    EXPECT_EQ(clipped, 0);
    EXPECT_GT(*std::min_element(taken.begin() + 1, taken.end()), 1000);
}

}  // namespace
}  // namespace brimsal
