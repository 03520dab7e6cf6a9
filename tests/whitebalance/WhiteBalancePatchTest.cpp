// White balance: the preset rows and typed coefficients; the WB patch: the pixels a square or
// round patch sums, each shape's clip rule, the coefficients, and the outcomes of CalcularWBPatch
// (the window's tests toggle the shape).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "develop/DcrawCommand.h"
#include "develop/DevelopSettings.h"
#include "image/TiffIO.h"
#include "road/Road.h"
#include "support/Fixtures.h"
#include "support/RecorderChannel.h"
#include "whitebalance/WBPatch.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {
namespace {

using Lines = std::vector<std::string>;
using Texts = std::array<std::string, 3>;

// A patch from (x1, y1) to (x2, y2): a square's corners, or a round one's centre and rim point.
WBPatch Patch(double x1, double y1, double x2, double y2, bool square = true) {
    return {x1, y1, x2, y2, square, true};
}

TEST(WBPatchSums, PixelsEachShapeTakesAndTheirCoefficients) {
    const Frame grey = test::ConstantFrame(10, 10, 100, 200, 150);
    // Every pixel different: red = 1 + x + 100 y, green twice that, blue three times.
    auto number = [](int x, int y, int c) {
        return static_cast<uint16_t>((1 + x + 100 * y) * (c + 1));
    };
    const Frame numbered = test::MakeFrame(10, 10, number);
    const Frame numbered8 = test::MakeFrame(8, 8, number);
    const Frame flat16 = test::ConstantFrame(16, 16, 10, 10, 10);
    const Frame red_at_clip = test::ConstantFrame(4, 4, 58982, 1000, 1000);
    const Frame green_over = test::ConstantFrame(4, 4, 1000, 58983, 1000);
    // Name, frame, patch, and the red and green sums.
    const std::tuple<const char*, const Frame&, WBPatch, int64_t, int64_t> cases[] = {
        // Columns and rows Round(10 * 0.1) = 1 .. Round(10 * 0.3) = 3, from either corner.
        {"3 x 3", grey, Patch(0.1, 0.1, 0.3, 0.3), 900, 1800},
        {"3 x 3 dragged back", grey, Patch(0.3, 0.3, 0.1, 0.1), 900, 1800},
        // Round(10 * 1) = 10 is kept at 9.
        {"to the edge", grey, Patch(0.8, 0.8, 1.0, 1.0), 400, 800},
        // Bounds on a half go to the even neighbour: 8 * 0.3125 = 2.5 -> 2, 8 * 0.5625 = 4.5 -> 4,
        // so columns and rows 2..4 (halves away from zero would take 3..5).
        {"halves to even", numbered8, Patch(0.3125, 0.3125, 0.5625, 0.5625), 612 + 912 + 1212,
         2 * (612 + 912 + 1212)},
        {"one pixel", numbered, Patch(0.5, 0.2, 0.5, 0.2), 206, 412},
        // Round with both points equal: radius 1 around (5, 2), the centre and its 4 neighbours.
        {"round, one point", numbered, Patch(0.5, 0.2, 0.5, 0.2, false),
         206 + 205 + 207 + 106 + 306, 2 * (206 + 205 + 207 + 106 + 306)},
        // Radius exactly 2 pixels: dx^2 + dy^2 <= 4 holds 13 pixels.
        {"disc", flat16, Patch(0.5, 0.5, 0.625, 0.5, false), 130, 130},
        // Past the corner the disc is clipped to the image: (0,0) (1,0) (2,0) (0,1) (1,1) (0,2).
        {"corner disc", flat16, Patch(0.0, 0.0, 0.0, 0.125, false), 60, 60},
        // The square accepts the clip level; the round patch leaves out the whole pixel.
        {"square at the clip level", red_at_clip, Patch(0.5, 0.5, 0.5, 0.5), 58982, 1000},
        {"round at the clip level", red_at_clip, Patch(0.5, 0.5, 0.5, 0.5, false), 0, 0},
        {"square over the clip level", green_over, Patch(0.5, 0.5, 0.5, 0.5), 0, 0}};
    for (const auto& [name, frame, patch, r, g] : cases) {
        const SumasCanal sums = SumPatch(frame, patch);
        EXPECT_EQ(sums.r, r) << name;
        EXPECT_EQ(sums.g, g) << name;
    }
    // The largest sum gets 1, the others three decimals: 2000 / 1600 = 1.25 exactly, 2000 / 3.
    EXPECT_EQ(PatchCoefficients({1600, 2000, 3}), (Texts{"1.25", "1", "666.667"}));
}

// Coefficients typed by hand give way to the preset row when Preset is chosen again. Typed texts
// are held with a point whatever the locale; only their boxes show the locale's separator.
TEST(WhiteBalanceSettings, PresetRowsAndTypedCoefficients) {
    test::NumericLocale point("C");
    WhiteBalanceSettings wb;
    wb.preset = 8;  // no such row: nothing is written
    wb.txtWB = {"a", "b", "c"};
    AplicarPresetWB(wb);
    EXPECT_EQ(wb.txtWB[0], "a");
    wb = WhiteBalanceSettings();
    bool shown = false;
    ChooseWBMode(wb, WBMode::kCoeffs, shown);
    wb.txtWB = {"3", "1", "3"};
    EXPECT_FALSE(ChooseWBMode(wb, WBMode::kPreset, shown));
    EXPECT_EQ(wb.txtWB[0], "2.132483");
    ClickInTxtWB(wb);  // clicking into a box: Coeffs, the values kept
    EXPECT_EQ(wb.mode, WBMode::kCoeffs);
    EXPECT_EQ(wb.txtWB[0], "2.132483");
    const std::pair<const char*, const char*> coefficients[] = {
        {"abc", "abc"},     {"", ""},       {"2.50", "2.5"}, {"2,500", "2.5"},   // decimal comma
        {" 3 ", "3"},       {"-1", "-1"},   {"0", "0"},      {"+1.25", "1.25"},  // no range check
        {"1,2,3", "1,2,3"}, {"inf", "inf"}, {"2x", "2x"}};  // not numbers: kept as typed
    for (const auto& [typed, left] : coefficients) {
        EXPECT_EQ(NormalizeTxtWB(typed), left) << typed;
    }
    for (const auto& [locale, separator] :
         {std::pair{"de_DE.UTF-8", ","}, std::pair{"ps_AF.UTF-8", "\u066B"}}) {
        test::NumericLocale numeric(locale);
        const std::string sep = separator;
        if (numeric.available()) {
            EXPECT_EQ(NormalizeTxtWB("2" + sep + "500"), "2.5");
            EXPECT_EQ(NormalizeTxtWB("2.50"), "2.5");
            EXPECT_EQ(PresetWBTexts(6), (Texts{"1.78344", "1", "1.997113"}));
            EXPECT_EQ(CoefficientForDisplay("1.997113"), "1" + sep + "997113");
            EXPECT_EQ(CoefficientFromDisplay("1" + sep + "997113"), "1.997113");
        }
    }
}

// Multipliers outside 0.001..1000, or no numbers at all, are named before any development; the
// Camera mode develops with the camera's own whatever the boxes hold.
TEST(WhiteBalanceSettings, MultipliersThatCannotBeDevelopedWithAreNamed) {
    // The coefficients and the box named (-1: none).
    const std::pair<Texts, int> cases[] = {{{"2.132483", "1", "1,480864"}, -1},
                                           {{"0.001", "1", "1000"}, -1},
                                           {{"0", "1", "1"}, 0},
                                           {{"1", "1e-320", "1"}, 1},
                                           {{"1", "-1", "1"}, 1},
                                           {{"1", "1", "1000.5"}, 2},
                                           {{"1", "1", "inf"}, 2},
                                           {{"1", "1", ""}, 2}};
    const char* const names[] = {"red", "green", "blue"};
    for (const auto& [texts, named] : cases) {
        WhiteBalanceSettings wb;
        wb.mode = WBMode::kCoeffs;
        wb.txtWB = texts;
        const std::string problem = MultiplierProblem(wb);
        if (named < 0) {
            EXPECT_EQ(problem, "");
            continue;
        }
        const auto box = static_cast<size_t>(named);
        EXPECT_EQ(problem.rfind(std::string("The ") + names[box] + " white balance multiplier '" +
                                    texts[box] + "'",
                                0),
                  0u)
            << problem;
        EXPECT_THROW(HeadroomScale(wb), RunTimeError);
        wb.mode = WBMode::kCamera;
        EXPECT_EQ(MultiplierProblem(wb), "");
    }
}

// CalcularWBPatch refusing a patch or failing on the TIFF beside the reference: the coefficients
// stay, with the log and box of each failure (the road test below measures a grey patch).
TEST(CalcularWBPatch, Outcomes) {
    const Lines refused = {"earlier line", "Calculating WB in patch...", "Impossible to WB patch",
                           "DONE"};
    const std::string impossible =
        "ERROR: Impossible to WB patch, some channel is very low and/or insufficient sample";
    const WBPatch whole = Patch(0.1, 0.1, 0.9, 0.9);
    // Name, the developed frame (empty: a file that is no TIFF), patch, log, the box's start.
    const std::tuple<const char*, Frame, WBPatch, Lines, std::string> cases[] = {
        // Every pixel has a channel at or above the clip level.
        {"clipped", test::ConstantFrame(10, 10, 60000, 59000, 65535), whole, refused, impossible},
        {"no blue", test::ConstantFrame(10, 10, 500, 500, 0), Patch(0.5, 0.5, 0.7, 0.5, false),
         refused, impossible},
        {"unreadable", Frame(), whole, {"Error reading tiff file, please try again", "DONE"}, ""},
        {"no extension",
         test::ConstantFrame(4, 4, 1, 1, 1),
         whole,
         {"An unexpected error occurred", "DONE"},
         "ERROR: Unexpected error occurred in module CalcularWBPatch"}};
    for (const auto& [name, developed, patch, log, box] : cases) {
        test::TempDir dir;
        if (developed.empty()) {
            test::WriteBytes(dir.file("IMG_1.tiff"), {'n', 'o', 't', ' ', 'a', ' ', 't', 'i'});
        } else {
            WriteTiff(developed, dir.file("IMG_1.tiff"));
        }
        WhiteBalanceSettings wb;
        RecorderChannel channel;
        channel.AnadirLog("earlier line", false);
        const bool named = std::string(name) != "no extension";
        EXPECT_EQ(CalcularWBPatch(dir.file(named ? "IMG_1.CR2" : "IMG_1"), patch, wb, channel), -1);
        EXPECT_EQ(channel.log(), log) << name;
        EXPECT_EQ(test::OnlyBox(channel).rfind(box.empty() ? "<0 boxes>" : box, 0), 0u)
            << test::OnlyBox(channel);
        EXPECT_EQ(wb.txtWB, WhiteBalanceSettings().txtWB) << name;
    }
}

// Calc WB while the neutral development is the one shown: the TIFF beside the reference is
// measured at once, nothing is developed (no dcraw is needed).
TEST(WBPatchRoad, NeutralDevelopmentShownIsMeasuredAtOnce) {
    test::TempDir dir;
    Session session;
    session.Ruta = dir.file("ref.cr2");
    WriteTiff(test::ConstantFrame(8, 8, 1000, 2000, 1500), dir.file("ref.tiff"));
    DevelopSettings settings;
    RecorderChannel channel;
    ASSERT_TRUE(RunMeasurePatch(session, Patch(0.1, 0.1, 0.5, 0.5), settings, channel,
                                QuickLine(settings, true)));
    EXPECT_EQ(settings.wb.txtWB, (Texts{"2", "1", "1.333"}));
    EXPECT_EQ(channel.log(), (Lines{"Calculating WB in patch...", "DONE"}));
}

}  // namespace
}  // namespace brimsal
