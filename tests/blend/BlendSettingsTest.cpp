// Derived values of the blend settings: weights, inverse gamma, bracket multipliers, read-out
// text and output names.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "blend/BlendSettings.h"

namespace brimsal {
namespace {

BlendSettings Ajustes(int bwr, int bwb, int gamma10 = 22) {
    BlendSettings settings;
    settings.BWR = bwr;
    settings.BWB = bwb;
    settings.Gamma10 = gamma10;
    return settings;
}

TEST(BlendSettingsWeights, GreenIsWhatRedAndBlueLeaveInFloatArithmetic) {
    // 0.33f is 11072963 x 2^-25; 1 - 0.33f falls halfway between two floats and goes to the
    // even one below (0.66999996f), so green ends at 11408505 x 2^-25 = 0.33999994f.
    EXPECT_EQ(PesoR(Ajustes(33, 33)), 0.33f);
    EXPECT_EQ(PesoB(Ajustes(33, 33)), 0.33f);
    EXPECT_EQ(PesoG(Ajustes(33, 33)), 0.33999994f);
    EXPECT_EQ(PesoG(Ajustes(0, 0)), 1.0f);    // pure green
    EXPECT_EQ(PesoG(Ajustes(50, 50)), 0.0f);  // no green
    EXPECT_EQ(PesoR(Ajustes(100, 0)), 1.0f);
}

TEST(BlendSettingsGamma, InverseIsAFloatOfTheDoubleQuotient) {
    EXPECT_EQ(GammaInversa(Ajustes(33, 33, 22)), static_cast<float>(1.0 / 2.2));
    EXPECT_FLOAT_EQ(GammaInversa(Ajustes(33, 33, 22)), 0.45454547f);
    EXPECT_EQ(GammaInversa(Ajustes(33, 33, 10)), 1.0f);
    EXPECT_EQ(GammaInversa(Ajustes(33, 33, 30)), 0.33333334f);
}

TEST(BlendSettingsGamma, NameCarriesTheChosenDecimalWithAPoint) {
    for (int g10 = 10; g10 <= 30; ++g10) {
        const std::string esperado =
            g10 % 10 == 0 ? std::to_string(g10 / 10)
                          : std::to_string(g10 / 10) + "." + std::to_string(g10 % 10);
        EXPECT_EQ(TextoGammaNombre(GammaInversa(Ajustes(0, 0, g10))), esperado) << g10;
    }
}

TEST(BlendSettingsBracketing, MultiplierIsExposureRaisedToTheInverseGamma) {
    BlendSettings settings = Ajustes(33, 33, 22);
    settings.NumBracketing = 3;
    settings.PasoBracketing = 2;
    EXPECT_EQ(FactorBracketing(settings, 1), 1.0);
    EXPECT_NEAR(FactorBracketing(settings, 2), 1.87786, 1e-5);
    EXPECT_DOUBLE_EQ(FactorBracketing(settings, 3),
                     std::pow(16.0, static_cast<double>(0.45454547f)));
    settings.Gamma10 = 10;
    settings.NumBracketing = 5;
    EXPECT_EQ(FactorBracketing(settings, 5), 256.0);  // +8EV at gamma 1
}

TEST(BlendSettingsBracketing, ReadOutText) {
    EXPECT_EQ(TextoBracket(1, 2), "NO BRACKETING");
    EXPECT_EQ(TextoBracket(1, 4), "NO BRACKETING");
    EXPECT_EQ(TextoBracket(5, 2), "0 +2 +4 +6 +8");
    EXPECT_EQ(TextoBracket(3, 4), "0 +4 +8");
    EXPECT_EQ(TextoBracket(7, 4), "0 +4 +8 +12 +16 +20 +24");
}

TEST(BlendSettingsNames, ColourBracketedOutputs) {
    BlendSettings settings = Ajustes(33, 33, 22);
    settings.Perfil = "Adobe RGB";
    settings.NumBracketing = 3;
    settings.PasoBracketing = 2;
    const std::string base = NombreBaseSalida(settings, false, "143052");
    EXPECT_EQ(base, "BR_143052_AdobeRGB_g2.2");
    EXPECT_EQ(base + SufijoBracket(settings, 1) + ".tif", "BR_143052_AdobeRGB_g2.2_0EV.tif");
    EXPECT_EQ(base + SufijoBracket(settings, 2) + ".tif", "BR_143052_AdobeRGB_g2.2_+2EV.tif");
    EXPECT_EQ(base + SufijoBracket(settings, 3) + ".tif", "BR_143052_AdobeRGB_g2.2_+4EV.tif");
    settings.NumBracketing = 3;
    settings.PasoBracketing = 4;
    EXPECT_EQ(SufijoBracket(settings, 1), "_0EV");
    EXPECT_EQ(SufijoBracket(settings, 2), "_+4EV");
    EXPECT_EQ(SufijoBracket(settings, 3), "_+8EV");
}

TEST(BlendSettingsNames, BlackAndWhiteSingleOutput) {
    BlendSettings settings = Ajustes(33, 33, 10);
    settings.Perfil = "sRGB";
    EXPECT_EQ(NombreBaseSalida(settings, true, "143052") + SufijoBracket(settings, 1) + ".tif",
              "BR_BW_143052_sRGB_g1.tif");
    settings.Perfil = "ProPhoto RGB";
    settings.Gamma10 = 18;
    EXPECT_EQ(NombreBaseSalida(settings, false, "090807"), "BR_090807_ProPhotoRGB_g1.8");
    settings.Perfil = "None";
    settings.Gamma10 = 30;
    EXPECT_EQ(NombreBaseSalida(settings, false, "000000"), "BR_000000_None_g3");
}

}  // namespace
}  // namespace brimsal
