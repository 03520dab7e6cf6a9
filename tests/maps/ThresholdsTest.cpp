#include <gtest/gtest.h>

#include <clocale>

#include "app/Misc.h"
#include "maps/Thresholds.h"

namespace brimsal {
namespace {

WhiteBalanceSettings Coeficientes(const std::string& r, const std::string& g,
                                  const std::string& b) {
    WhiteBalanceSettings wb;
    wb.mode = WBMode::kCoeffs;
    wb.txtWB = {r, g, b};
    return wb;
}

TEST(Thresholds, CameraWhiteBalanceGivesOneThreshold) {
    WhiteBalanceSettings wb;
    wb.mode = WBMode::kCamera;
    wb.txtWB = {"not", "read", "here"};
    MapSettings settings;
    settings.threshold = 90;
    // 90 * 65535 / 100 = 58981.5 -> 58982 (half to even).
    EXPECT_EQ(OptimizarUmbrales(settings, wb), (std::array<int32_t, 3>{58982, 58982, 58982}));
}

TEST(Thresholds, CoefficientsScaleEachChannelAndAreCapped) {
    MapSettings settings;
    settings.threshold = 90;
    // 2 * 58981.5 = 117963 -> capped at 65279; 1 * 58981.5 -> 58982; 0.5 * 58981.5 = 29490.75.
    EXPECT_EQ(OptimizarUmbrales(settings, Coeficientes("2.0", "1.0", "0.5")),
              (std::array<int32_t, 3>{65279, 58982, 29491}));
    settings.threshold = 0;
    EXPECT_EQ(OptimizarUmbrales(settings, Coeficientes("2", "1", "0.5")),
              (std::array<int32_t, 3>{0, 0, 0}));
    // 99 * 65535 / 100 = 64879.65 -> 64880: below the cap.
    settings.threshold = 99;
    EXPECT_EQ(OptimizarUmbrales(settings, Coeficientes("1", "1", "1"))[1], 64880);
}

TEST(Thresholds, PresetsReadTheirCoefficientTexts) {
    MapSettings settings;
    const WhiteBalanceSettings daylight;  // 2.132483, 1, 1.480864
    const auto u = OptimizarUmbrales(settings, daylight);
    EXPECT_EQ(u[0], 65279);
    EXPECT_EQ(u[1], 58982);
    EXPECT_EQ(u[2], 65279);
    // 0.8 * 58981.5 = 47185.2 -> 47185.
    EXPECT_EQ(OptimizarUmbrales(settings, Coeficientes("0.8", "1", "1"))[0], 47185);
}

TEST(Thresholds, CoefficientTextsFollowTheLocaleOrAPoint) {
    EXPECT_DOUBLE_EQ(CoeficienteDeTexto(" 1.5 "), 1.5);
    EXPECT_DOUBLE_EQ(CoeficienteDeTexto("2"), 2.0);
    try {
        CoeficienteDeTexto("abc");
        FAIL() << "a text that is not a number must fail";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 13);
    }
    EXPECT_THROW(CoeficienteDeTexto(""), RunTimeError);
    EXPECT_THROW(CoeficienteDeTexto("1.5x"), RunTimeError);
}

}  // namespace
}  // namespace brimsal
