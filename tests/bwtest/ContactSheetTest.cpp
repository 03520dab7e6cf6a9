// TestImagenesBN: sheet size, cell layout and weights, grey levels, labels, report and failures.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "base/Paths.h"
#include "blend/BlendFixtures.h"
#include "bwtest/ContactSheet.h"
#include "image/Picture.h"
#include "support/RecorderChannel.h"

namespace brimsal {
namespace {

using test::ConstantFrame;
using test::FixtureSession;

// The colour of a rendered pixel of mixed value s.
uint32_t Grey(double s) {
    const int level = SheetGreyLevel(s);
    return RGB(level, level, level);
}

// A run's result and log, and the sheet it wrote (the newest in the folder) with its path.
struct Sheet {
    int result = 0;
    RecorderChannel channel;
    Picture image;
    std::string ruta;
};

std::unique_ptr<Sheet> Generate(FixtureSession& fixture, int threads = 2) {
    auto sheet = std::make_unique<Sheet>();
    sheet->result = TestImagenesBN(fixture.session.Ruta, fixture.session.set, fixture.session.map,
                                   sheet->channel, threads);
    const auto sheets = test::FilesLike(fixture.dir.path(), "BWTest_");
    if (sheet->result == 1 && !sheets.empty()) {
        sheet->ruta = sheets.back();
        sheet->image.LoadFromFile(sheet->ruta);
    }
    return sheet;
}

TEST(ContactSheetSize, DecimationBySevenDropsTheRemainderAndGreyClampsToWhite) {
    const SheetSize sheet = SheetSizeOf(706, 496);
    EXPECT_EQ(std::tie(sheet.cell_width, sheet.cell_height, sheet.width, sheet.height),
              std::tuple(100, 70, 1110, 780));
    EXPECT_EQ(SheetGreyLevel(32768.0), 186);  // 255 x 0.5^(1/2.2) = 186.1
    // Above full scale (only exposure factors above 1 can give it): white, not a wrapped value.
    EXPECT_EQ(SheetGreyLevel(70000.0), 255);
    EXPECT_EQ(SheetGreyLevel(1e12), 255);
}

// A set of two frames: `one` and a black frame 2 with factor 0.5, with the map `levels`.
std::unique_ptr<FixtureSession> MakeSet(const Frame& one, const std::vector<uint8_t>& levels) {
    return std::make_unique<FixtureSession>(
        std::vector<Frame>{one, ConstantFrame(one.width, one.height, 0, 0, 0)},
        std::vector<double>{1.0, 0.5}, levels);
}

// Pixels of one colour inside a rectangle.
int CountPixels(const Picture& image, int x0, int y0, int width, int height, uint32_t color) {
    int n = 0;
    for (int y = y0; y < y0 + height; ++y) {
        for (int x = x0; x < x0 + width; ++x) {
            n += image.GetPixelColor(x, y) == color ? 1 : 0;
        }
    }
    return n;
}

// Red, green and blue thirds of a scene in columns: each drawn cell renders each third with its
// weight (red kMixWeights[i], blue kMixWeights[j], green the rest) and carries its labels. The
// decimated pixel (0, 0) is a transition halfway to the black frame 2 (factor 0.5).
TEST(ContactSheetRun, LogSizeCellWeightsTransitionAndLabelsWhereTheyBelong) {
    const Frame one = test::MakeFrame(420, 280, [](int x, int, int c) {
        return static_cast<uint16_t>(c == x / 140 ? 65535 : 0);
    });
    std::vector<uint8_t> levels(420 * 280, 255);
    levels[0] = 77;
    auto fixture = MakeSet(one, levels);
    fixture->session.map.IndicePorNivel[77] = 1.5f;
    const auto sheet = Generate(*fixture);
    ASSERT_EQ(sheet->result, 1);
    EXPECT_EQ(sheet->channel.log(),
              (std::vector<std::string>{
                  "Loading blending map...", "Decimating blending map to 60x40...",
                  "Decimated image contribution...", "IMG_1.tiff: 100%", "IMG_2.tiff: 0%",
                  "100% genuine pixels", "\nGenerating B&W contact sheet...",
                  "\nSaving B&W samples as " + NombreArchivo(sheet->ruta) + "...", "DONE"}));
    EXPECT_EQ(sheet->channel.beeps(), 1);
    // Progress per drawn cell: 33 of 66 is 50%.
    ASSERT_EQ(sheet->channel.progress().size(), 66u);
    EXPECT_EQ(sheet->channel.progress()[32], "50%");
    ASSERT_EQ(std::pair(sheet->image.GetWidth(), sheet->image.GetHeight()), std::pair(670, 450));

    // Renderings of 60 x 40 on a black sheet, the thirds sampled on their bottom row, below the
    // labels; cells whose weights would add up to more than 100 are not drawn.
    for (int i = 0; i <= 10; ++i) {
        for (int j = 0; j <= 10; ++j) {
            const int weights[3] = {kMixWeights[i], 100 - kMixWeights[i] - kMixWeights[j],
                                    kMixWeights[j]};
            // The transition pixel sits in the first column of each cell, which no label touches:
            // 65535 x 0.5 of frame 1 and nothing of frame 2 in its red.
            EXPECT_EQ(sheet->image.GetPixelColor(61 * i, 41 * j),
                      j > 10 - i ? kBlack : Grey(kMixWeights[i] * 32767.5 / 100.0));
            for (int third = 0; third < 3; ++third) {
                EXPECT_EQ(sheet->image.GetPixelColor(61 * i + 10 + 20 * third, 41 * j + 39),
                          j > 10 - i ? kBlack : Grey(weights[third] * 65535 / 100.0))
                    << i << "," << j << " " << third;
            }
        }
    }
    // Separator lines stay black.
    EXPECT_EQ(sheet->image.GetPixelColor(60, 20), kBlack);
    EXPECT_EQ(sheet->image.GetPixelColor(20, 40), kBlack);
    // Cell (3, 2): three lines of white text in the corner, nothing white below them.
    for (int line = 0; line < 3; ++line) {
        EXPECT_GT(CountPixels(sheet->image, 61 * 3 + 1, 41 * 2 + 12 * line, 49, 12, kWhite), 10)
            << line;
    }
    EXPECT_EQ(CountPixels(sheet->image, 61 * 3, 41 * 2 + 37, 60, 3, kWhite), 0);
}

TEST(ContactSheetFailures, MapOfAnotherSizeOrLevelOutsideTheSet) {
    auto fixture = MakeSet(ConstantFrame(70, 70, 1, 2, 3), std::vector<uint8_t>(70 * 70, 0));
    test::WriteMap(fixture->session.map.map_path, 70, 69, std::vector<uint8_t>(70 * 69, 0));
    const auto before = fixture->Files();
    const auto sheet = Generate(*fixture);
    EXPECT_EQ(sheet->result, -1);
    EXPECT_EQ(sheet->channel.log(), (std::vector<std::string>{"Loading blending map...",
                                                              "Map dimensions mismatch", "DONE"}));
    EXPECT_EQ(test::OnlyBox(sheet->channel), "ERROR: Map dimensions do not match image dimensions");
    EXPECT_EQ(fixture->Files(), before);
    // The right size, but level 0 read with a table built for four frames: frame 4 of two.
    test::WriteMap(fixture->session.map.map_path, 70, 70, std::vector<uint8_t>(70 * 70, 0));
    fixture->session.map.IndicePorNivel = BuildIndicePorNivel(4);
    const auto outside = Generate(*fixture);
    EXPECT_EQ(outside->result, -1);
    EXPECT_NE(test::OnlyBox(outside->channel).find("module TestImagenesBN "), std::string::npos);
    EXPECT_EQ(fixture->Files(), before);
}

TEST(ContactSheetState, ReleasedDarkestFrameIsReloadedAndThreadsDoNotMatter) {
    const Frame one = test::MakeFrame(140, 77, [](int x, int y, int c) {
        return static_cast<uint16_t>((x * 409 + y * 97 + c) % 65536);
    });
    auto fixture = MakeSet(one, std::vector<uint8_t>(140 * 77, 255));
    const auto first_sheet = Generate(*fixture, 1);
    fixture->session.set.Imagenes[0].release();
    const auto second_sheet = Generate(*fixture, 3);
    ASSERT_EQ(second_sheet->result, 1);
    EXPECT_EQ(fixture->session.set.Imagenes[0].at(1, 0)[0], 409);
    EXPECT_NE(first_sheet->ruta, second_sheet->ruta);
    EXPECT_EQ(test::FileBytes(first_sheet->ruta), test::FileBytes(second_sheet->ruta));
}

}  // namespace
}  // namespace brimsal
