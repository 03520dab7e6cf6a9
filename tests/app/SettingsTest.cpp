// The settings model: start values, the text clean-ups and the ties between settings.
#include <gtest/gtest.h>

#include <string>

#include "app/Settings.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using test::NumericLocale;

TEST(SettingsSaturation, TypingAndLeavingTheBox) {
    EXPECT_EQ(FiltrarTxtSat("12a3"), "123");
    EXPECT_EQ(FiltrarTxtSat(" 4,5.6-"), "456");
    EXPECT_EQ(FiltrarTxtSat("abc"), "");
    // Leaving: a number rounded half to even, anything else empty.
    const std::pair<const char*, const char*> cases[] = {
        {"007", "7"}, {"2.5", "2"}, {"3.5", "4"}, {"x", ""}, {"", ""}};
    for (const auto& [typed, left] : cases) {
        EXPECT_EQ(LimpiarTxtSat(typed), left) << typed;
    }
    // Both a typed number and an empty box switch the row to "User value".
    for (const char* typed : {"12a3", ""}) {
        DevelopSettings settings;
        settings.cmbSat = 4;
        settings.txtSat = FiltrarTxtSat(typed);
        SalirDeTxtSat(settings);
        EXPECT_EQ(settings.txtSat, *typed ? "123" : "");
        EXPECT_EQ(settings.cmbSat, 1);
    }
}

TEST(SettingsSaturation, CameraRowsPutTheirLevel) {
    DevelopSettings settings;
    const std::pair<int, const char*> steps[] = {
        {5, "15299"},  // Canon 7D ISO1600
        {1, "15299"},  // "User value" keeps the text
        {2, "3398"},   // Canon 30D
        {0, ""},       // "DCRAW value" empties it
    };
    for (const auto& [row, level] : steps) {
        ElegirFilaSat(settings, row);
        EXPECT_EQ(settings.cmbSat, row);
        EXPECT_EQ(settings.txtSat, level) << "row " << row;
    }
    ElegirFilaSat(settings, 7);  // no such row: nothing changes
    EXPECT_EQ(settings.cmbSat, 0);
}

TEST(SettingsUserOptions, BlanksCollapseAndTrimRangesClamp) {
    EXPECT_EQ(kRangoTH.Limitar(100), 99);
    EXPECT_EQ(kRangoGamma.Limitar(5), 10);
    EXPECT_EQ(kRangoBracketNum.Limitar(4), 4);
    EXPECT_EQ(LimpiarTxtDCRAW("  -k   512 "), "-k 512");
    EXPECT_EQ(LimpiarTxtDCRAW("   "), "");
    EXPECT_EQ(LimpiarTxtDCRAW("-n 100"), "-n 100");
}

TEST(SettingsProfile, ProfileSetsTheOutputGamma) {
    DevelopSettings settings;
    // ProPhoto RGB 1.8, CIE XYZ 1.0, back to sRGB 2.2, every other row 2.2.
    const std::pair<int, int> rows[] = {{4, 18}, {5, 10}, {1, 22}, {0, 22}, {2, 22}, {3, 22}};
    for (const auto& [row, gamma] : rows) {
        EXPECT_EQ(ElegirPerfil(settings, row), gamma) << "row " << row;
        EXPECT_EQ(settings.profile, row);
    }
}

TEST(SettingsWhiteBalance, PresetRowsAndModeChoices) {
    NumericLocale point("C");
    WhiteBalanceSettings wb;
    wb.mode = WBMode::kCoeffs;
    ElegirPresetWB(wb, 5);  // "Tungsten"
    EXPECT_EQ(wb.mode, WBMode::kPreset);
    EXPECT_EQ(wb.txtWB, (std::array<std::string, 3>{"1.392498", "1", "2.375114"}));
    ElegirPresetWB(wb, 0);  // "None"
    EXPECT_EQ(wb.txtWB, (std::array<std::string, 3>{"1", "1", "1"}));
    wb.preset = 8;  // no such row: nothing is written
    wb.txtWB = {"a", "b", "c"};
    AplicarPresetWB(wb);
    EXPECT_EQ(wb.txtWB[0], "a");

    wb = WhiteBalanceSettings();
    bool shown = false;
    EXPECT_TRUE(ElegirModoWB(wb, WBMode::kCamera, shown));  // the first time only
    EXPECT_TRUE(shown);
    EXPECT_FALSE(ElegirModoWB(wb, WBMode::kCoeffs, shown));
    EXPECT_FALSE(ElegirModoWB(wb, WBMode::kCamera, shown));
    EXPECT_EQ(wb.mode, WBMode::kCamera);

    // Coefficients typed by hand give way to the preset row when Preset is chosen again.
    wb.txtWB = {"3", "1", "3"};
    ElegirModoWB(wb, WBMode::kPreset, shown);
    EXPECT_EQ(wb.txtWB[0], "2.132483");

    // Clicking into a box switches Preset to Coeffs and keeps the values.
    ClicEnTxtWB(wb);
    EXPECT_EQ(wb.mode, WBMode::kCoeffs);
    EXPECT_EQ(wb.txtWB[2], "1.480864");
}

TEST(SettingsWhiteBalance, CoefficientTextNormalisation) {
    NumericLocale point("C");
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
