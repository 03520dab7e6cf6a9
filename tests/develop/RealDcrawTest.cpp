// The jobs with the real dcraw on a real camera file: the quick half-size development and a
// white-balance patch measured on the colour chart's grey row.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "app/Misc.h"
#include "app/RecorderChannel.h"
#include "develop/DcrawCommand.h"
#include "develop/DevelopJobs.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {
namespace {

class RealDcraw : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string data = test::SharedDataDir();
        const std::string chart = data.empty() ? "" : data + "/real/colorchart.dng";
        if (chart.empty() || !ExisteArchivo(chart)) {
            GTEST_SKIP() << "real camera data not available";
        }
        if (!BuscarDCRAW(RutaBusquedaDCRAW())) {
            GTEST_SKIP() << "dcraw not installed";
        }
        raw_ = dir_.file("chart one.dng");  // a blank in the name: one argument all the same
        std::filesystem::copy_file(chart, raw_);
        ::chmod(raw_.c_str(), 0644);
    }

    test::TempDir dir_;
    std::string raw_;
};

// The chart's fourth grey patch (a mid grey), as fractions of the developed picture.
ParcheWB MidGreyPatch() {
    ParcheWB patch;
    patch.ParcheX1 = 452.0 / 867;
    patch.ParcheY1 = 456.0 / 578;
    patch.ParcheX2 = 468.0 / 867;
    patch.ParcheY2 = 472.0 / 578;
    patch.ParcheDefinido = true;
    return patch;
}

TEST_F(RealDcraw, HalfSizeQuickDevelopmentAndAPatchThatBalancesTheGrey) {
    DevelopSettings settings;
    settings.profile = 0;  // raw colour, so balanced grey reads as equal channels
    RecorderChannel channel;
    const ResultadoRevelado neutral = ReveladoRapido(raw_, true, settings, channel);
    ASSERT_TRUE(neutral.terminado) << test::OnlyBox(channel);
    // dcraw reports an output of 1734 x 1156 for this file; the quick development halves both.
    EXPECT_EQ(neutral.tiff, dir_.file("chart one.tiff"));
    const Frame half = LeerTIFF(neutral.tiff);
    EXPECT_EQ(half.width, 867);
    EXPECT_EQ(half.height, 578);
    const ParcheWB patch = MidGreyPatch();
    ASSERT_EQ(CalcularWBPatch(raw_, patch, settings.wb, channel), 1);
    EXPECT_EQ(channel.log().back(), "DONE");

    // Green is the strongest raw channel under this light: it gets 1, the others more.
    const auto red = NumeroDeTexto(settings.wb.txtWB[0]);
    const auto blue = NumeroDeTexto(settings.wb.txtWB[2]);
    ASSERT_TRUE(red && blue);
    EXPECT_EQ(settings.wb.txtWB[1], "1");
    EXPECT_GT(*red, 1.0);
    EXPECT_GT(*blue, 1.0);

    // Developed again with the measured multipliers, the patch is grey within 2 %.
    settings.wb.mode = WBMode::kPatch;
    const ResultadoRevelado balanced = ReveladoRapido(raw_, false, settings, channel);
    ASSERT_TRUE(balanced.terminado);
    const auto [red_ratio, blue_ratio] = test::RedAndBlueOverGreen(LeerTIFF(balanced.tiff), patch);
    EXPECT_NEAR(red_ratio, 1.0, 0.02);
    EXPECT_NEAR(blue_ratio, 1.0, 0.02);
}

}  // namespace
}  // namespace brimsal
