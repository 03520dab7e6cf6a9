#include <gtest/gtest.h>

#include "app/Misc.h"
#include "maps/Thresholds.h"

namespace brimsal {
namespace {

TEST(Thresholds, FromThePercentageAndTheCoefficients) {
    struct Caso {
        WBMode mode;
        std::array<std::string, 3> texts;
        int threshold;
        std::array<int32_t, 3> expected;
    };
    // T = threshold * 65535 / 100; 90 % gives 58981.5, which rounds to the even 58982.
    const Caso casos[] = {
        {WBMode::kCamera, {"not", "read", "here"}, 90, {58982, 58982, 58982}},
        // 2 T = 117963 is capped at 65279; 0.5 T = 29490.75.
        {WBMode::kCoeffs, {"2.0", "1.0", "0.5"}, 90, {65279, 58982, 29491}},
        {WBMode::kCoeffs, {"2", "1", "0.5"}, 0, {0, 0, 0}},
        // 64879.65 stays below the cap; 0.8 T = 47185.2.
        {WBMode::kCoeffs, {" 0.8 ", "1", "1"}, 99, {51904, 64880, 64880}},
        {WBMode::kPreset, {"2.132483", "1", "1.480864"}, 90, {65279, 58982, 65279}},
    };
    for (const Caso& caso : casos) {
        WhiteBalanceSettings wb;
        wb.mode = caso.mode;
        wb.txtWB = caso.texts;
        MapSettings settings;
        settings.threshold = caso.threshold;
        EXPECT_EQ(OptimizarUmbrales(settings, wb), caso.expected) << caso.texts[0];
    }
}

// A headroom development saturates channel c at 65535 x its share of the largest multiplier:
// each threshold is the percentage of its own channel's saturation, in any mode, and Calc EV
// clips at the same levels; the normal development keeps the fixed 58982 in Calc EV.
TEST(Thresholds, HeadroomFollowsEachChannelsSaturation) {
    WhiteBalanceSettings wb;
    wb.txtWB = {"2.132483", "1", "1,480864"};
    MapSettings settings;
    EXPECT_EQ(NivelesRecorteEV(settings, wb), (std::array<int32_t, 3>{58982, 58982, 58982}));
    settings.scale = HeadroomScale(wb);
    // 58981.5 x 1, x 0.4689370... = 27658.7, x 0.6944318... = 40958.6.
    EXPECT_EQ(OptimizarUmbrales(settings, wb), (std::array<int32_t, 3>{58982, 27659, 40959}));
    EXPECT_EQ(NivelesRecorteEV(settings, wb), OptimizarUmbrales(settings, wb));
    settings.threshold = 99;  // 64879.65 x share
    EXPECT_EQ(OptimizarUmbrales(settings, wb), (std::array<int32_t, 3>{64880, 30424, 45054}));
    wb.txtWB = {"1", "2", "x"};
    EXPECT_THROW(HeadroomScale(wb), RunTimeError);
    wb.txtWB = {"1", "0", "1"};
    EXPECT_THROW(HeadroomScale(wb), RunTimeError);
}

TEST(Thresholds, CoefficientTextThatIsNotANumberIsATypeMismatch) {
    for (const char* texto : {"abc", "", "1.5x"}) {
        try {
            CoeficienteDeTexto(texto);
            ADD_FAILURE() << "'" << texto << "' must fail";
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.number(), 13) << texto;
        }
    }
}

}  // namespace
}  // namespace brimsal
