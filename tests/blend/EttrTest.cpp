// ETTR: the brightest value of the darkest frame and the correction it gives.
#include <gtest/gtest.h>

#include <vector>

#include "app/RecorderChannel.h"
#include "blend/Ettr.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using test::ConstantFrame;

const PesosMezcla kPesos33{0.33f, 0.33999994f, 0.33f};

// A dark frame with one bright pixel (r, g, b) somewhere inside.
Frame OscuroConPixel(uint16_t r, uint16_t g, uint16_t b) {
    Frame frame = ConstantFrame(37, 23, 100, 200, 150);
    uint16_t* p = frame.at(30, 17);
    p[0] = r;
    p[1] = g;
    p[2] = b;
    return frame;
}

struct Resultado {
    std::vector<std::string> log;
    std::vector<double> factores;
};

Resultado Corregir(const Frame& oscuro, bool bn, const PesosMezcla& pesos = kPesos33) {
    const std::vector<double> exp_relativas = {1.0, 0.25, 0.0625};
    Resultado r;
    r.factores = exp_relativas;
    RecorderChannel channel;
    CorreccionETTR(oscuro, bn, pesos, exp_relativas, r.factores, channel, 2);
    r.log = channel.log();
    return r;
}

TEST(EttrColour, HalfScaleGivesOneEvAndTheExactRatio) {
    const Resultado r = Corregir(OscuroConPixel(1000, 32768, 20), false);
    EXPECT_EQ(r.log, (std::vector<std::string>{"\nCalculating ETTR correction...",
                                               "Histogram correction by +1EV"}));
    // 65535 / 32768 = 1.99997; the factors are E(i) x 65535 / M, left to right.
    EXPECT_EQ(r.factores,
              (std::vector<double>{65535.0 / 32768, 0.25 * 65535 / 32768, 0.0625 * 65535 / 32768}));
}

TEST(EttrColour, TwoThirdsScaleGivesPoint585Ev) {
    const Resultado r = Corregir(OscuroConPixel(43690, 0, 0), false);
    EXPECT_EQ(r.log.back(), "Histogram correction by +0.585EV");
    EXPECT_EQ(r.factores[1], 0.25 * 65535 / 43690);
}

TEST(EttrColour, ClippedChannelLeavesFactorsAlone) {
    const Resultado r = Corregir(OscuroConPixel(0, 0, 65535), false);
    EXPECT_EQ(r.log.back(), "Already clipped highlights");
    EXPECT_EQ(r.factores, (std::vector<double>{1.0, 0.25, 0.0625}));
}

TEST(EttrColour, AllBlackFrameIsNotCorrected) {
    const Resultado r = Corregir(ConstantFrame(5, 4, 0, 0, 0), false);
    EXPECT_EQ(r.log, (std::vector<std::string>{"\nCalculating ETTR correction...",
                                               "No highlights to correct"}));
    EXPECT_EQ(r.factores, (std::vector<double>{1.0, 0.25, 0.0625}));
}

TEST(EttrBlackAndWhite, UsesTheRoundedMixedValue) {
    // One channel clipped: the mix 0.33 x 65535 = 21626.55... rounds to 21627, still corrected.
    EXPECT_EQ(BrilloMaximoETTR(OscuroConPixel(65535, 0, 0), true, kPesos33), 21627);
    const Resultado r = Corregir(OscuroConPixel(65535, 0, 0), true);
    EXPECT_EQ(r.factores[0], 65535.0 / 21627);
    // All three clipped: the float weights add up to a hair below 1, and the mix rounds back
    // to 65535.
    EXPECT_EQ(Corregir(OscuroConPixel(65535, 65535, 65535), true).log.back(),
              "Already clipped highlights");
    // Pure green weights see only the green channel.
    EXPECT_EQ(BrilloMaximoETTR(OscuroConPixel(65535, 300, 65535), true, {0.0f, 1.0f, 0.0f}), 300);
}

TEST(EttrBlackAndWhite, ColourTestIsTheLargestChannel) {
    EXPECT_EQ(BrilloMaximoETTR(OscuroConPixel(7, 9000, 8999), false, kPesos33), 9000);
    EXPECT_EQ(BrilloMaximoETTR(ConstantFrame(3, 3, 1, 2, 3), false, kPesos33), 3);
}

}  // namespace
}  // namespace brimsal
