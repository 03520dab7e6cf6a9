// The settings model: start values, the text clean-ups and the ties between settings.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "app/Settings.h"

namespace brimsal {
namespace {

// Runs a test body with a decimal-comma LC_NUMERIC when the system has one.
class ComaDecimal {
  public:
    ComaDecimal() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        previous_ = current != nullptr ? current : "C";
        available_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                     std::setlocale(LC_NUMERIC, "de_DE.utf8") != nullptr;
    }
    ~ComaDecimal() { std::setlocale(LC_NUMERIC, previous_.c_str()); }
    bool available() const { return available_; }

  private:
    std::string previous_;
    bool available_ = false;
};

class PointLocale {
  public:
    PointLocale() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        previous_ = current != nullptr ? current : "C";
        std::setlocale(LC_NUMERIC, "C");
    }
    ~PointLocale() { std::setlocale(LC_NUMERIC, previous_.c_str()); }

  private:
    std::string previous_;
};

TEST(SettingsStart, DevelopmentSettingsStartAsTheWindowDoes) {
    PointLocale point;
    const DevelopSettings settings;
    EXPECT_EQ(settings.wb.mode, WBMode::kPreset);
    EXPECT_EQ(settings.wb.preset, 2);  // "Daylight"
    EXPECT_EQ(settings.wb.txtWB[0], "2.132483");
    EXPECT_EQ(settings.wb.txtWB[1], "1");
    EXPECT_EQ(settings.wb.txtWB[2], "1.480864");
    EXPECT_EQ(settings.txtSat, "");
    EXPECT_EQ(settings.cmbSat, 0);
    EXPECT_EQ(settings.quality, 3);  // AHD
    EXPECT_EQ(settings.profile, 1);  // sRGB
    EXPECT_EQ(settings.txtDCRAW, "");
    EXPECT_FALSE(settings.hlRecovery);
}

TEST(SettingsStart, ProcessingRangesAndStartValues) {
    struct Row {
        RangoAjuste rango;
        int minimo, maximo, inicial;
    };
    const Row rows[] = {{kRangoTH, 0, 99, 90},         {kRangoAntiGhost, 0, 50, 0},
                        {kRangoProgressive, 0, 50, 3}, {kRangoGamma, 10, 30, 22},
                        {kRangoBWR, 0, 100, 33},       {kRangoBWB, 0, 100, 33},
                        {kRangoBracketNum, 1, 7, 1},   {kRangoBracketEV, 1, 4, 2},
                        {kRangoTemp, 0, 100, 50},      {kRangoTint, 0, 100, 50}};
    for (const Row& row : rows) {
        EXPECT_EQ(row.rango.minimo, row.minimo);
        EXPECT_EQ(row.rango.maximo, row.maximo);
        EXPECT_EQ(row.rango.inicial, row.inicial);
    }
    EXPECT_EQ(kRangoTH.Limitar(100), 99);
    EXPECT_EQ(kRangoGamma.Limitar(5), 10);
    EXPECT_EQ(kRangoBracketNum.Limitar(4), 4);
    EXPECT_STREQ(kTxtBracketInicial, "NO BRACKETING");
    EXPECT_EQ(kMetodoEVInicial, 'M');
    EXPECT_FALSE(kETTRInicial);
}

TEST(SettingsSaturation, TypingKeepsDigitsOnly) {
    EXPECT_EQ(FiltrarTxtSat("12a3"), "123");
    EXPECT_EQ(FiltrarTxtSat(" 4,5.6-"), "456");
    EXPECT_EQ(FiltrarTxtSat("abc"), "");
}

TEST(SettingsSaturation, LeavingRoundsAndSwitchesToUserValue) {
    DevelopSettings settings;
    settings.txtSat = FiltrarTxtSat("12a3");
    SalirDeTxtSat(settings);
    EXPECT_EQ(settings.txtSat, "123");
    EXPECT_EQ(settings.cmbSat, 1);

    settings.cmbSat = 4;
    settings.txtSat = "";
    SalirDeTxtSat(settings);  // empty stays empty (no -S) but the row still switches
    EXPECT_EQ(settings.txtSat, "");
    EXPECT_EQ(settings.cmbSat, 1);

    EXPECT_EQ(LimpiarTxtSat("007"), "7");
    EXPECT_EQ(LimpiarTxtSat("2.5"), "2");  // halves go to the even neighbour
    EXPECT_EQ(LimpiarTxtSat("3.5"), "4");
    EXPECT_EQ(LimpiarTxtSat("x"), "");
}

TEST(SettingsSaturation, CameraRowsPutTheirLevel) {
    DevelopSettings settings;
    ElegirFilaSat(settings, 5);
    EXPECT_EQ(settings.txtSat, "15299");
    EXPECT_EQ(settings.cmbSat, 5);
    ElegirFilaSat(settings, 1);  // "User value" keeps the text
    EXPECT_EQ(settings.txtSat, "15299");
    ElegirFilaSat(settings, 2);
    EXPECT_EQ(settings.txtSat, "3398");
    ElegirFilaSat(settings, 0);  // "DCRAW value" empties it
    EXPECT_EQ(settings.txtSat, "");
    ElegirFilaSat(settings, 7);  // no such row: nothing changes
    EXPECT_EQ(settings.cmbSat, 0);
}

TEST(SettingsUserOptions, BlanksCollapseAndTrim) {
    EXPECT_EQ(LimpiarTxtDCRAW("  -k   512 "), "-k 512");
    EXPECT_EQ(LimpiarTxtDCRAW("   "), "");
    EXPECT_EQ(LimpiarTxtDCRAW("-n 100"), "-n 100");
}

TEST(SettingsProfile, ProfileSetsTheOutputGamma) {
    DevelopSettings settings;
    EXPECT_EQ(ElegirPerfil(settings, 4), 18);  // ProPhoto RGB: 1.8
    EXPECT_EQ(settings.profile, 4);
    EXPECT_EQ(ElegirPerfil(settings, 5), 10);  // CIE XYZ: 1.0
    EXPECT_EQ(ElegirPerfil(settings, 1), 22);  // back to sRGB: 2.2
    EXPECT_EQ(ElegirPerfil(settings, 0), 22);
    EXPECT_EQ(ElegirPerfil(settings, 2), 22);
}

TEST(SettingsWhiteBalance, PresetRowWritesItsValuesAndSelectsPreset) {
    PointLocale point;
    WhiteBalanceSettings wb;
    wb.mode = WBMode::kCoeffs;
    ElegirPresetWB(wb, 5);  // "Tungsten"
    EXPECT_EQ(wb.mode, WBMode::kPreset);
    EXPECT_EQ(wb.txtWB[0], "1.392498");
    EXPECT_EQ(wb.txtWB[1], "1");
    EXPECT_EQ(wb.txtWB[2], "2.375114");
    ElegirPresetWB(wb, 0);  // "None"
    EXPECT_EQ(wb.txtWB[0], "1");
    EXPECT_EQ(wb.txtWB[2], "1");
    wb.preset = 8;  // no such row: nothing is written
    wb.txtWB = {"a", "b", "c"};
    AplicarPresetWB(wb);
    EXPECT_EQ(wb.txtWB[0], "a");
}

TEST(SettingsWhiteBalance, ModeChoices) {
    PointLocale point;
    WhiteBalanceSettings wb;
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

TEST(SettingsWhiteBalance, PresetTextsUseTheLocaleSeparator) {
    ComaDecimal comma;
    if (!comma.available()) {
        GTEST_SKIP() << "no decimal-comma locale installed";
    }
    WhiteBalanceSettings wb;
    ElegirPresetWB(wb, 6);  // "Fluorescent"
    EXPECT_EQ(wb.txtWB[0], "1,78344");
    EXPECT_EQ(wb.txtWB[2], "1,997113");
}

TEST(SettingsWhiteBalance, CoefficientTextNormalisation) {
    PointLocale point;
    EXPECT_EQ(NormalizarTxtWB("abc"), "1");
    EXPECT_EQ(NormalizarTxtWB(""), "1");
    EXPECT_EQ(NormalizarTxtWB("2.50"), "2.5");
    EXPECT_EQ(NormalizarTxtWB("2,500"), "2.5");  // a decimal comma is accepted
    EXPECT_EQ(NormalizarTxtWB(" 3 "), "3");
    EXPECT_EQ(NormalizarTxtWB("-1"), "-1");  // no range check
    EXPECT_EQ(NormalizarTxtWB("0"), "0");
    EXPECT_EQ(NormalizarTxtWB("+1.25"), "1.25");
    EXPECT_EQ(NormalizarTxtWB("1,2,3"), "1");
    EXPECT_EQ(NormalizarTxtWB("1.2,3"), "1");
    EXPECT_EQ(NormalizarTxtWB("inf"), "1");
    EXPECT_EQ(NormalizarTxtWB("2x"), "1");
}

TEST(SettingsWhiteBalance, CoefficientTextInACommaLocale) {
    ComaDecimal comma;
    if (!comma.available()) {
        GTEST_SKIP() << "no decimal-comma locale installed";
    }
    EXPECT_EQ(NormalizarTxtWB("2,500"), "2,5");
    EXPECT_EQ(NormalizarTxtWB("2.50"), "2,5");
}

}  // namespace
}  // namespace brimsal
