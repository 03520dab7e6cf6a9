// ETTR: the brightest value of the darkest frame and the correction it gives.
#include <gtest/gtest.h>

#include <vector>

#include "app/RecorderChannel.h"
#include "blend/Ettr.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

const PesosMezcla kPesos33{0.33f, 0.33999994f, 0.33f};
const PesosMezcla kVerde{0.0f, 1.0f, 0.0f};

// A dark frame with one bright pixel (r, g, b) somewhere inside.
Frame OscuroConPixel(uint16_t r, uint16_t g, uint16_t b) {
    Frame frame = test::ConstantFrame(37, 23, 100, 200, 150);
    uint16_t* p = frame.at(30, 17);
    p[0] = r;
    p[1] = g;
    p[2] = b;
    return frame;
}

struct CasoEttr {
    const char* nombre;
    Frame oscuro;
    bool bn;
    PesosMezcla pesos;
    std::string linea;  // the line after "Calculating ETTR correction..."
    double m;           // the brightest value the factors are scaled by; 0: factors unchanged
};

TEST(Ettr, CorrectionLineAndFactors) {
    const CasoEttr casos[] = {
        // 65535 / 32768 = 1.99997: C = 0.99998, logged +1EV; the largest channel counts.
        {"half scale", OscuroConPixel(1000, 32768, 20), false, kPesos33,
         "Histogram correction by +1EV", 32768},
        {"two thirds", OscuroConPixel(43690, 0, 0), false, kPesos33,
         "Histogram correction by +0.585EV", 43690},
        {"clipped", OscuroConPixel(0, 0, 65535), false, kPesos33, "Already clipped highlights", 0},
        {"all black", test::ConstantFrame(5, 4, 0, 0, 0), false, kPesos33,
         "No highlights to correct", 0},
        // B&W tests the mix: one clipped channel, 0.33 x 65535 = 21626.55 rounds to 21627, and
        // log2(65535 / 21627) = 1.5994.
        {"B&W one channel", OscuroConPixel(65535, 0, 0), true, kPesos33,
         "Histogram correction by +1.599EV", 21627},
        // All three clipped: the float weights add up to a hair below 1; the mix rounds back.
        {"B&W all clipped", OscuroConPixel(65535, 65535, 65535), true, kPesos33,
         "Already clipped highlights", 0},
        {"B&W pure green", OscuroConPixel(65535, 300, 65535), true, kVerde,
         "Histogram correction by +7.771EV", 300},
        {"B&W green black", test::ConstantFrame(5, 4, 900, 0, 900), true, kVerde,
         "No highlights to correct", 0},
    };
    const std::vector<double> exp_relativas = {1.0, 0.25, 0.0625};
    for (const CasoEttr& caso : casos) {
        std::vector<double> factores = exp_relativas;
        RecorderChannel channel;
        CorreccionETTR(caso.oscuro, caso.bn, caso.pesos, exp_relativas, factores, channel, 2);
        EXPECT_EQ(channel.log(),
                  (std::vector<std::string>{"\nCalculating ETTR correction...", caso.linea}))
            << caso.nombre;
        std::vector<double> esperados = exp_relativas;
        if (caso.m > 0) {
            EXPECT_EQ(BrilloMaximoETTR(caso.oscuro, caso.bn, caso.pesos), caso.m) << caso.nombre;
            for (double& e : esperados) {
                e = e * 65535 / caso.m;  // E(i) x 65535 / M, left to right
            }
        }
        EXPECT_EQ(factores, esperados) << caso.nombre;
    }
}

}  // namespace
}  // namespace brimsal
