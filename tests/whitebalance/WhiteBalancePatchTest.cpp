// The WB patch: which pixels a square or round patch sums, the clip rule of each shape, the
// coefficients, and the failure paths of CalcularWBPatch.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "app/RecorderChannel.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {
namespace {

using Lista = std::vector<std::string>;
using Textos = std::array<std::string, 3>;

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

ParcheWB Square(double x1, double y1, double x2, double y2) {
    ParcheWB patch;
    patch.ParcheX1 = x1;
    patch.ParcheY1 = y1;
    patch.ParcheX2 = x2;
    patch.ParcheY2 = y2;
    patch.ParcheDefinido = true;
    return patch;
}

ParcheWB Round(double cx, double cy, double rx, double ry) {
    ParcheWB patch = Square(cx, cy, rx, ry);
    patch.ParcheCuadrado = false;
    return patch;
}

// Every pixel different: red = 1 + x + 100 y, green twice that, blue three times.
Frame Numbered(int w, int h) {
    return test::MakeFrame(w, h, [](int x, int y, int c) {
        return static_cast<uint16_t>((1 + x + 100 * y) * (c + 1));
    });
}

TEST(WBPatchCoefficients, LargestSumGetsOneOthersThreeDecimals) {
    PointLocale point;
    EXPECT_EQ(CoeficientesParche({1000, 2000, 1500}), (Textos{"2", "1", "1.333"}));
    EXPECT_EQ(CoeficientesParche({3000, 3000, 3000}), (Textos{"1", "1", "1"}));
    // 2000 / 1600 * 1000 = 1250 exactly: no rounding; 7 / 3 * 1000 = 2333.3 -> 2.333.
    EXPECT_EQ(CoeficientesParche({1600, 2000, 3}), (Textos{"1.25", "1", "666.667"}));
}

TEST(WBPatchSums, SquareTakesTheRoundedRectangle) {
    const Frame frame = test::ConstantFrame(10, 10, 100, 200, 150);
    // Columns and rows Round(10 * 0.1) = 1 .. Round(10 * 0.3) = 3: 3 x 3 pixels, whichever
    // corner the drag started from.
    for (const ParcheWB& patch : {Square(0.1, 0.1, 0.3, 0.3), Square(0.3, 0.3, 0.1, 0.1)}) {
        const SumasCanal sums = SumarParche(frame, patch);
        EXPECT_EQ(sums.r, 900);
        EXPECT_EQ(sums.g, 1800);
        EXPECT_EQ(sums.b, 1350);
    }
    // Up to the right and bottom edge: Round(10 * 1) = 10 is kept at 9.
    const SumasCanal edge = SumarParche(frame, Square(0.8, 0.8, 1.0, 1.0));
    EXPECT_EQ(edge.r, 100 * 4);
    // Bounds on a half go to the even neighbour: 8 * 0.3125 = 2.5 -> 2, 8 * 0.5625 = 4.5 -> 4,
    // so columns and rows 2..4 (halves away from zero would take 3..5: red sum 3645).
    const SumasCanal tie = SumarParche(Numbered(8, 8), Square(0.3125, 0.3125, 0.5625, 0.5625));
    EXPECT_EQ(tie.r, 612 + 912 + 1212);  // per row y: 3 (1 + 100 y) + 2 + 3 + 4
}

TEST(WBPatchSums, OnePointPatches) {
    const Frame frame = Numbered(10, 10);
    const SumasCanal one = SumarParche(frame, Square(0.5, 0.2, 0.5, 0.2));
    EXPECT_EQ(one.r, 1 + 5 + 200);  // the single pixel (5, 2)
    EXPECT_EQ(one.g, 2 * (1 + 5 + 200));
    // Round with both points equal: radius 1 around (5, 2): the centre and its 4 neighbours.
    const SumasCanal disc = SumarParche(frame, Round(0.5, 0.2, 0.5, 0.2));
    EXPECT_EQ(disc.r, 206 + 205 + 207 + 106 + 306);
    EXPECT_EQ(disc.b, 3 * (206 + 205 + 207 + 106 + 306));
}

TEST(WBPatchSums, RoundTakesTheDisc) {
    // Sizes and fractions exact in binary, so the radius is exactly 2 pixels.
    const Frame frame = test::ConstantFrame(16, 16, 10, 10, 10);
    // Centre (8, 8), rim 2 pixels to the right: r^2 = 4; the pixels with dx^2 + dy^2 <= 4
    // number 13 (the centre, 4 at distance 1, 4 at sqrt 2, 4 at distance 2).
    const SumasCanal sums = SumarParche(frame, Round(0.5, 0.5, 0.625, 0.5));
    EXPECT_EQ(sums.r, 13 * 10);
    // A disc past the corner is clipped to the image: quarter disc of radius 2 at (0, 0).
    const SumasCanal corner = SumarParche(frame, Round(0.0, 0.0, 0.0, 0.125));
    EXPECT_EQ(corner.r, 6 * 10);  // (0,0), (1,0), (2,0), (0,1), (1,1), (0,2)
}

TEST(WBPatchSums, SquareAcceptsTheClipLevelRoundDoesNot) {
    const Frame frame = test::ConstantFrame(4, 4, 58982, 1000, 1000);
    const SumasCanal square = SumarParche(frame, Square(0.5, 0.5, 0.5, 0.5));
    EXPECT_EQ(square.r, 58982);
    const SumasCanal round = SumarParche(frame, Round(0.5, 0.5, 0.5, 0.5));
    EXPECT_EQ(round.r, 0);
    EXPECT_EQ(round.g, 0);  // the whole pixel is left out, not just the clipped channel
    const Frame over = test::ConstantFrame(4, 4, 1000, 58983, 1000);
    EXPECT_EQ(SumarParche(over, Square(0.5, 0.5, 0.5, 0.5)).g, 0);
}

TEST(WBPatchShape, ToggleKeepsThePlace) {
    ParcheWB patch = Square(0.25, 0.25, 0.75, 0.5);
    CambiarFormaParche(patch);
    EXPECT_FALSE(patch.ParcheCuadrado);
    EXPECT_DOUBLE_EQ(patch.ParcheX1, 0.5);  // the centre
    EXPECT_DOUBLE_EQ(patch.ParcheY1, 0.375);
    EXPECT_DOUBLE_EQ(patch.ParcheX2, 0.75);  // the old corner on the rim
    CambiarFormaParche(patch);
    EXPECT_TRUE(patch.ParcheCuadrado);
    EXPECT_DOUBLE_EQ(patch.ParcheX1, 0.25);
    EXPECT_DOUBLE_EQ(patch.ParcheY1, 0.25);
    EXPECT_DOUBLE_EQ(patch.ParcheX2, 0.75);
    EXPECT_DOUBLE_EQ(patch.ParcheY2, 0.5);
}

class CalcularWBPatchTest : public ::testing::Test {
  protected:
    std::string Reference() const { return dir_.file("IMG_1.CR2"); }
    void Developed(const Frame& frame) { EscribirTIFF(frame, dir_.file("IMG_1.tiff")); }

    test::TempDir dir_;
    PointLocale point_;
};

TEST_F(CalcularWBPatchTest, GreyPatchWritesTheCoefficients) {
    // 10 x 10 pixels of (10, 20, 15) in the patch: sums 1000, 2000, 1500.
    Developed(test::ConstantFrame(40, 40, 10, 20, 15));
    WhiteBalanceSettings wb;
    RecorderChannel channel;
    channel.AnadirLog("Quick developing IMG_1.CR2...", false);
    EXPECT_EQ(CalcularWBPatch(Reference(), Square(0.25, 0.25, 0.475, 0.475), wb, channel), 1);
    EXPECT_EQ(wb.txtWB, (std::array<std::string, 3>{"2", "1", "1.333"}));
    EXPECT_EQ(channel.log(),
              (Lista{"Quick developing IMG_1.CR2...", "Calculating WB in patch...", "DONE"}));
    EXPECT_TRUE(channel.boxes().empty());
}

TEST_F(CalcularWBPatchTest, ImpossiblePatches) {
    struct Case {
        Frame developed;
        ParcheWB patch;
    };
    const Case cases[] = {
        // Fully clipped: every pixel has a channel at or above the clip level.
        {test::ConstantFrame(10, 10, 60000, 59000, 65535), Square(0.1, 0.1, 0.9, 0.9)},
        // Blue sums to nothing.
        {test::ConstantFrame(10, 10, 500, 500, 0), Round(0.5, 0.5, 0.7, 0.5)},
    };
    for (const Case& c : cases) {
        Developed(c.developed);
        WhiteBalanceSettings wb;
        const auto before = wb.txtWB;
        RecorderChannel channel;
        EXPECT_EQ(CalcularWBPatch(Reference(), c.patch, wb, channel), -1);
        EXPECT_EQ(wb.txtWB, before);
        EXPECT_EQ(channel.log(),
                  (Lista{"Calculating WB in patch...", "Impossible to WB patch", "DONE"}));
        ASSERT_EQ(channel.boxes().size(), 1u);
        EXPECT_EQ(channel.boxes()[0].title, "ERROR");
        EXPECT_EQ(channel.boxes()[0].text,
                  "Impossible to WB patch, some channel is very low and/or insufficient sample");
    }
}

TEST_F(CalcularWBPatchTest, UnreadableTiffStartsAFreshLog) {
    test::WriteBytes(dir_.file("IMG_1.tiff"), {'n', 'o', 't', ' ', 'a', ' ', 't', 'i', 'f'});
    WhiteBalanceSettings wb;
    const auto before = wb.txtWB;
    RecorderChannel channel;
    EXPECT_EQ(CalcularWBPatch(Reference(), Square(0.1, 0.1, 0.2, 0.2), wb, channel), -1);
    EXPECT_EQ(channel.log(), (Lista{"Error reading tiff file, please try again", "DONE"}));
    EXPECT_EQ(wb.txtWB, before);
    EXPECT_TRUE(channel.boxes().empty());
}

TEST_F(CalcularWBPatchTest, ReferenceWithoutExtensionIsAnUnexpectedError) {
    WhiteBalanceSettings wb;
    RecorderChannel channel;
    EXPECT_EQ(CalcularWBPatch(dir_.file("IMG_1"), Square(0.1, 0.1, 0.2, 0.2), wb, channel), -1);
    EXPECT_EQ(channel.log(), (Lista{"An unexpected error occurred", "DONE"}));
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(
        channel.boxes()[0].text.rfind("Unexpected error occurred in module CalcularWBPatch", 0),
        0u);
}

}  // namespace
}  // namespace brimsal
