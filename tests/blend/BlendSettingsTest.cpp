// Derived values of the blend settings: weights, inverse gamma, bracket multipliers, read-out
// text and output names.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "blend/BlendSettings.h"

namespace brimsal {
namespace {

BlendSettings Ajustes(int bwr, int bwb, int gamma10 = 22, int num = 1, int paso = 2) {
    BlendSettings settings;
    settings.BWR = bwr;
    settings.BWB = bwb;
    settings.Gamma10 = gamma10;
    settings.NumBracketing = num;
    settings.PasoBracketing = paso;
    return settings;
}

TEST(BlendSettings, FloatWeightsAndInverseGamma) {
    // 0.33f is 11072963 x 2^-25; 1 - 0.33f falls halfway between two floats and goes to the
    // even one below (0.66999996f), so green ends at 11408505 x 2^-25 = 0.33999994f.
    EXPECT_EQ(PesoR(Ajustes(33, 10)), 0.33f);
    EXPECT_EQ(PesoB(Ajustes(10, 33)), 0.33f);
    EXPECT_EQ(PesoG(Ajustes(33, 33)), 0.33999994f);
    EXPECT_EQ(PesoG(Ajustes(0, 0)), 1.0f);    // pure green
    EXPECT_EQ(PesoG(Ajustes(50, 50)), 0.0f);  // no green
    // The double quotient stored as a float: 0.45454547 (the float quotient would be 0.45454544).
    EXPECT_EQ(GammaInversa(Ajustes(0, 0, 22)), 0.45454547f);
    EXPECT_EQ(GammaInversa(Ajustes(0, 0, 10)), 1.0f);
    EXPECT_EQ(GammaInversa(Ajustes(0, 0, 30)), 0.33333334f);
    for (int g10 = 10; g10 <= 30; ++g10) {
        const std::string esperado =
            g10 % 10 == 0 ? std::to_string(g10 / 10)
                          : std::to_string(g10 / 10) + "." + std::to_string(g10 % 10);
        EXPECT_EQ(TextoGammaNombre(GammaInversa(Ajustes(0, 0, g10))), esperado) << g10;
    }
}

TEST(BlendSettings, BracketMultiplierAndReadOut) {
    const BlendSettings settings = Ajustes(33, 33, 22, 3, 2);
    EXPECT_EQ(FactorBracketing(settings, 1), 1.0);
    EXPECT_NEAR(FactorBracketing(settings, 2), 1.87786, 1e-5);       // 4 ^ 0.45454547
    EXPECT_EQ(FactorBracketing(Ajustes(0, 0, 10, 5, 2), 5), 256.0);  // +8EV at gamma 1
    EXPECT_EQ(TextoBracket(1, 2), "NO BRACKETING");
    EXPECT_EQ(TextoBracket(5, 2), "0 +2 +4 +6 +8");
    EXPECT_EQ(TextoBracket(3, 4), "0 +4 +8");
}

TEST(BlendSettings, OutputNames) {
    BlendSettings settings = Ajustes(33, 33, 22, 3, 2);
    settings.Perfil = "Adobe RGB";
    const std::string base = NombreBaseSalida(settings, false, "143052");
    EXPECT_EQ(base + SufijoBracket(settings, 1) + ".tif", "BR_143052_AdobeRGB_g2.2_0EV.tif");
    EXPECT_EQ(base + SufijoBracket(settings, 2) + ".tif", "BR_143052_AdobeRGB_g2.2_+2EV.tif");
    EXPECT_EQ(base + SufijoBracket(settings, 3) + ".tif", "BR_143052_AdobeRGB_g2.2_+4EV.tif");
    settings.PasoBracketing = 4;
    EXPECT_EQ(SufijoBracket(settings, 1), "_0EV");
    EXPECT_EQ(SufijoBracket(settings, 2), "_+4EV");
    EXPECT_EQ(SufijoBracket(settings, 3), "_+8EV");
    settings = Ajustes(33, 33, 10);
    settings.Perfil = "sRGB";
    EXPECT_EQ(NombreBaseSalida(settings, true, "143052") + SufijoBracket(settings, 1) + ".tif",
              "BR_BW_143052_sRGB_g1.tif");
    settings.Perfil = "ProPhoto RGB";
    settings.Gamma10 = 18;
    EXPECT_EQ(NombreBaseSalida(settings, false, "090807"), "BR_090807_ProPhotoRGB_g1.8");
}

}  // namespace
}  // namespace brimsal
