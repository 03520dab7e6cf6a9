// The settings model's text clean-ups and the ties between settings the window does not reach
// (the window tests drive the handlers themselves).
#include <gtest/gtest.h>

#include <string>

#include "app/Settings.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

TEST(SettingsSaturation, TypingLeavingAndCameraRows) {
    EXPECT_EQ(FiltrarTxtSat(" 4,5.6-"), "456");
    EXPECT_EQ(FiltrarTxtSat("abc"), "");
    // Leaving: a number rounded half to even, anything else empty.
    const std::pair<const char*, const char*> cases[] = {
        {"007", "7"}, {"2.5", "2"}, {"3.5", "4"}, {"x", ""}, {"", ""}};
    for (const auto& [typed, left] : cases) {
        EXPECT_EQ(LimpiarTxtSat(typed), left) << typed;
    }
    DevelopSettings settings;
    // A camera row puts its level, "User value" keeps the text, "DCRAW value" empties it.
    const std::pair<int, const char*> steps[] = {{5, "15299"}, {1, "15299"}, {2, "3398"}, {0, ""}};
    for (const auto& [row, level] : steps) {
        ElegirFilaSat(settings, row);
        EXPECT_EQ(settings.cmbSat, row);
        EXPECT_EQ(settings.txtSat, level) << "row " << row;
    }
    ElegirFilaSat(settings, 7);  // no such row: nothing changes
    EXPECT_EQ(settings.cmbSat, 0);
    EXPECT_EQ(kRangoTH.Limitar(100), 99);
    EXPECT_EQ(kRangoGamma.Limitar(5), 10);
    EXPECT_EQ(LimpiarTxtDCRAW("   "), "");
}

TEST(SettingsWhiteBalance, PresetRowsAndCoefficientTexts) {
    test::NumericLocale point("C");
    WhiteBalanceSettings wb;
    ElegirPresetWB(wb, 0);  // "None"
    EXPECT_EQ(wb.txtWB, (std::array<std::string, 3>{"1", "1", "1"}));
    wb.preset = 8;  // no such row: nothing is written
    wb.txtWB = {"a", "b", "c"};
    AplicarPresetWB(wb);
    EXPECT_EQ(wb.txtWB[0], "a");
    // Coefficients typed by hand give way to the preset row when Preset is chosen again.
    wb = WhiteBalanceSettings();
    bool shown = false;
    ElegirModoWB(wb, WBMode::kCoeffs, shown);
    wb.txtWB = {"3", "1", "3"};
    EXPECT_FALSE(ElegirModoWB(wb, WBMode::kPreset, shown));
    EXPECT_EQ(wb.txtWB[0], "2.132483");

    const std::pair<const char*, const char*> cases[] = {
        {"abc", "1"},   {"", "1"},      {"2.50", "2.5"}, {"2,500", "2.5"},   // decimal comma
        {" 3 ", "3"},   {"-1", "-1"},   {"0", "0"},      {"+1.25", "1.25"},  // no range check
        {"1,2,3", "1"}, {"1.2,3", "1"}, {"inf", "1"},    {"2x", "1"},
    };
    for (const auto& [typed, left] : cases) {
        EXPECT_EQ(NormalizarTxtWB(typed), left) << typed;
    }
}

}  // namespace
}  // namespace brimsal
