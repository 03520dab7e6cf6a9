// Build map: headroom thresholds, GenerarMapa's log, failures and cancel; the disc mask and its
// chords, and the map passes against their offset-by-offset loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <tuple>

#include "base/Paths.h"
#include "base/UserChannel.h"
#include "maps/BlendingMap.h"
#include "maps/DiscMask.h"
#include "maps/MapPasses.h"
#include "maps/MapSettings.h"
#include "maps/MapState.h"
#include "maps/Thresholds.h"
#include "support/Fixtures.h"
#include "support/RecorderChannel.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {
namespace {

using test::ConstantFrame;
using test::MakeFrame;
using test::TempDir;

constexpr uint16_t kLow = 1000;      // valid everywhere
constexpr uint16_t kHeight = 65000;  // above every threshold

const WhiteBalanceSettings kCameraWB = {.mode = WBMode::kCamera};

MapSettings Radii(int antighost, int progressive) {
    MapSettings settings;
    settings.antighost = antighost;
    settings.progressive = progressive;
    return settings;
}

// Frames 1..n over w x h where frame k is valid in columns x < valid(k), clipped elsewhere.
ExposureSet Columns(int w, int h, int n, int (*valid)(int k)) {
    std::vector<Frame> frames;
    for (int k = 1; k <= n; ++k) {
        const int limit = valid(k);
        frames.push_back(MakeFrame(
            w, h, [limit](int x, int, int) -> uint16_t { return x < limit ? kLow : kHeight; }));
    }
    return test::SetOf(std::move(frames), "/nowhere/img");
}

// A headroom development saturates channel c at 65535 x its share of the largest multiplier:
// each threshold is the percentage of its own channel's saturation, in any mode, and Calc EV
// clips at the same levels; the normal development keeps the fixed 58982 in Calc EV.
TEST(Thresholds, HeadroomFollowsEachChannelsSaturation) {
    WhiteBalanceSettings wb;
    wb.txtWB = {"2.132483", "1", "1,480864"};
    MapSettings settings;
    EXPECT_EQ(EvClipLevels(settings, wb), (std::array<int32_t, 3>{58982, 58982, 58982}));
    settings.scale = HeadroomScale(wb);
    // 58981.5 x 1, x 0.4689370... = 27658.7, x 0.6944318... = 40958.6.
    EXPECT_EQ(OptimizarUmbrales(settings, wb), (std::array<int32_t, 3>{58982, 27659, 40959}));
    EXPECT_EQ(EvClipLevels(settings, wb), OptimizarUmbrales(settings, wb));
    settings.threshold = 99;  // 64879.65 x share
    EXPECT_EQ(OptimizarUmbrales(settings, wb), (std::array<int32_t, 3>{64880, 30424, 45054}));
    wb.txtWB = {"1", "2", "x"};
    EXPECT_THROW(HeadroomScale(wb), RunTimeError);
    wb.txtWB = {"1", "0", "1"};
    EXPECT_THROW(HeadroomScale(wb), RunTimeError);
}

// A normal development: 90 % is 58981.5, which rounds to the even 58982; each threshold is that
// level times its coefficient, capped at 65279 (2 T = 117963; 0.5 T = 29490.75); the Camera mode
// reads no coefficient, and one that is not a number is a type mismatch (error 13).
TEST(Thresholds, FromThePercentageAndTheCoefficients) {
    const struct {
        WBMode mode;
        std::array<std::string, 3> texts;
        int threshold;
        std::array<int32_t, 3> expected;
    } cases[] = {
        {WBMode::kCamera, {"not", "read", "here"}, 90, {58982, 58982, 58982}},
        {WBMode::kCoeffs, {"2.0", "1.0", "0.5"}, 90, {65279, 58982, 29491}},
        {WBMode::kCoeffs, {" 0.8 ", "1", "1"}, 99, {51904, 64880, 64880}},
    };
    for (const auto& test_case : cases) {
        MapSettings settings;
        settings.threshold = test_case.threshold;
        const WhiteBalanceSettings wb = {.mode = test_case.mode, .txtWB = test_case.texts};
        EXPECT_EQ(OptimizarUmbrales(settings, wb), test_case.expected) << test_case.texts[0];
    }
    EXPECT_EQ(kThresholdRange.Clamp(100), 99);  // a percentage given above the range
    try {
        CoefficientFromText("1.5x");
        ADD_FAILURE() << "'1.5x' must fail";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 13);
    }
}

// The index is the brightest frame 2..N with every channel at or below its threshold (equal is
// valid); frame 1 otherwise, taken untested. Pixel 0: valid in frame 3. Pixel 1: equal to the
// threshold in frame 2. Pixel 2: clipped in 2 and 3. Pixel 3: one channel above in frame 3.
TEST(BlendingMap, PixelMapRule) {
    constexpr uint16_t kThreshold = 58982;
    Frame f3 = MakeFrame(4, 1, [](int x, int, int c) -> uint16_t {
        return x == 0 ? kLow : x == 3 ? (c == 2 ? kThreshold + 1 : kLow) : kHeight;
    });
    Frame f2 = MakeFrame(4, 1, [](int x, int, int) -> uint16_t {
        return x == 1 ? kThreshold : x == 2 ? kHeight : kLow;
    });
    std::vector<Frame> frames;
    frames.push_back(ConstantFrame(4, 1, kHeight, kHeight, kHeight));
    frames.push_back(std::move(f2));
    frames.push_back(std::move(f3));
    const ExposureSet set = test::SetOf(std::move(frames), "/nowhere/img");
    EXPECT_EQ(IndexMap(set, CameraClip({kThreshold, kThreshold, kThreshold}), 1).data,
              (std::vector<uint8_t>{3, 2, 1, 2}));
}

// The table Build map keeps with its map, for every set size: level 0 is frame N, level 255
// frame 1, the level of each frame k holds exactly k, and the index never rises with the level.
// Between frames a level holds N + (1 - N) L / 255 as a float, worked by hand for N = 3 and 5.
TEST(BlendingMap, LevelTableForEverySetSize) {
    for (int n = 2; n <= 255; ++n) {
        const std::array<float, 256> table = BuildIndicePorNivel(n);
        ASSERT_EQ(table[0], static_cast<float>(n));
        ASSERT_EQ(table[255], 1.0f) << n;
        for (int k = 1; k <= n; ++k) {
            ASSERT_EQ(table[MapLevel(k, n)], static_cast<float>(k)) << n << " " << k;
        }
        ASSERT_TRUE(std::is_sorted(table.rbegin(), table.rend())) << n;
    }
    // Frame levels: 127.5 (to even: 128) for frame 2 of 3; 63.75, 127.5, 191.25 for 4, 3, 2 of 5.
    const std::tuple<int, int, float> worked[] = {
        {3, 1, 2.9921569f},  {3, 127, 2.0039216f}, {3, 128, 2.0f},       {3, 129, 1.9882353f},
        {5, 63, 4.0117647f}, {5, 64, 4.0f},        {5, 127, 3.0078431f}, {5, 128, 3.0f},
        {5, 191, 2.0f},      {5, 192, 1.9882353f}};
    for (const auto& [n, level, index] : worked) {
        EXPECT_FLOAT_EQ(BuildIndicePorNivel(n)[static_cast<size_t>(level)], index)
            << n << " " << level;
    }
}

TEST(BlendingMap, FullLogOfARun) {
    TempDir dir;
    const std::string ruta = dir.file("ref.CR2");
    const ExposureSet set = Columns(30, 200, 2, [](int k) { return k == 2 ? 10 : 30; });
    RecorderChannel channel;
    MapState map;
    ASSERT_TRUE(GenerarMapa(ruta, Radii(0, 3), kCameraWB, set, map, channel));
    const std::string file = NombreArchivo(map.map_path);
    const std::vector<std::string> log = {
        "Threshold optimisation...",
        "R: 58982\nG: 58982\nB: 58982",
        "\nBuilding pixel map...",
        "Building anti ghosting map (0+3px) ...",
        "Building progressive map (3px) ...",
        "Generating PNG map...",
        "\nSaving PNG map as " + file + "...",
        "DONE",
    };
    EXPECT_EQ(channel.log(), log);
    EXPECT_EQ(map.map_path, dir.path() + "/" + file);
    EXPECT_EQ(file.substr(0, 4), "Map_");
    EXPECT_EQ(file.size(), std::string("Map_hhmmss.png").size());
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_EQ(channel.progress().back(), "100%");
    EXPECT_EQ(map.Umbrales, (std::array<int32_t, 3>{58982, 58982, 58982}));

    // No radius: neither pass is logged. Anti-ghosting alone: its radius is antighost + 0.
    RecorderChannel quiet;
    ASSERT_TRUE(GenerarMapa(ruta, Radii(0, 0), kCameraWB, set, map, quiet));
    const std::string other = NombreArchivo(map.map_path);
    EXPECT_EQ(quiet.log(),
              (std::vector<std::string>{log[0], log[1], log[2], log[5],
                                        "\nSaving PNG map as " + other + "...", "DONE"}));
    RecorderChannel ag;
    ASSERT_TRUE(GenerarMapa(ruta, Radii(4, 0), kCameraWB, set, map, ag));
    EXPECT_EQ(ag.log().at(3), "Building anti ghosting map (4+0px) ...");
    EXPECT_EQ(ag.log().at(4), log[5]);
}

// N < 2, N > 255, a coefficient that is not a number and a folder that cannot be written end in
// the report naming GenerarMapa, a cancel in Cancelled: no file is written and the old map's path
// stays. Thresholds and level table are set before the file is written: the unwritable map
// takes them.
TEST(BlendingMap, FailuresAndCancelKeepTheOldMap) {
    TempDir dir;
    WhiteBalanceSettings letters;
    letters.txtWB = {"x", "1", "1"};
    const auto flat = [](int n) {
        return test::SetOf(std::vector<Frame>(static_cast<size_t>(n), ConstantFrame(2, 2, 9, 9, 9)),
                           "/nowhere/img");
    };
    const ExposureSet three = Columns(40, 300, 3, [](int k) { return 50 - 10 * k; });
    const struct {
        ExposureSet set;
        WhiteBalanceSettings wb;
        std::string ruta;
        bool cancel;
        int table;  // the frames of the level table afterwards
    } cases[] = {
        {flat(1), kCameraWB, dir.file("ref.CR2"), false, 5},
        {flat(256), kCameraWB, dir.file("ref.CR2"), false, 5},
        {flat(2), letters, dir.file("ref.CR2"), false, 5},
        {three, kCameraWB, "/no/such/folder/ref.CR2", false, 3},
        {three, kCameraWB, dir.file("ref.CR2"), true, 5},
    };
    for (const auto& test_case : cases) {
        MapState map;
        map.map_path = "/earlier/Map_000000.png";
        map.IndicePorNivel = BuildIndicePorNivel(5);
        map.Umbrales = {1, 2, 3};
        RecorderChannel channel;
        if (test_case.cancel) {
            channel.CancelAfterProgressReports(1);
            EXPECT_THROW(GenerarMapa(test_case.ruta, Radii(2, 2), test_case.wb, test_case.set, map,
                                     channel, 1),
                         Cancelled);
        } else {
            EXPECT_FALSE(GenerarMapa(test_case.ruta, Radii(0, 1), test_case.wb, test_case.set, map,
                                     channel));
            EXPECT_NE(test::OnlyBox(channel).find("module GenerarMapa "), std::string::npos);
            EXPECT_EQ(channel.log().back(), "An unexpected error occurred");
        }
        EXPECT_EQ(map.map_path, "/earlier/Map_000000.png");
        EXPECT_EQ(map.Umbrales[1], test_case.table == 3 ? 58982 : 2);
        EXPECT_EQ(map.IndicePorNivel, BuildIndicePorNivel(test_case.table)) << test_case.set.N();
    }
    EXPECT_THROW(BuildIndicePorNivel(1), RunTimeError);
    EXPECT_THROW(BuildIndicePorNivel(256), RunTimeError);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Every radius the settings allow is the disc dx^2 + dy^2 < (r + 1)^2 but for the corrected radii
// 2 (5 x 5 less its corners), 3 (7 x 7 less 3 cells per corner) and 5 (89 offsets, squared
// distance up to 26); each row is one symmetric chord (what the fast passes rest on).
TEST(DiscMask, CorrectedRadiiOpenDiscAndChords) {
    for (int r = 1; r <= 100; ++r) {
        const MascaraCircular m = CrearMascaraCircular(r);
        const int reach = r == 2 ? 5 : r == 3 ? 10 : r == 5 ? 26 : (r + 1) * (r + 1) - 1;
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                ASSERT_EQ(m.at(dx, dy), dx * dx + dy * dy <= reach ? 1 : 0)
                    << "radius " << r << " at " << dx << "," << dy;
            }
        }
        std::vector<int> half;
        ASSERT_NO_THROW(half = HalfChords(m)) << "radius " << r;
        ASSERT_EQ(half.size(), static_cast<size_t>(2 * r + 1));
        int total = 0;
        for (int dy = -r; dy <= r; ++dy) {
            const int h = half[static_cast<size_t>(dy + r)];
            EXPECT_EQ(h, half[static_cast<size_t>(-dy + r)]);
            total += 2 * h + 1;
        }
        EXPECT_EQ(total, m.count()) << "radius " << r;
    }
    MascaraCircular holed = CrearMascaraCircular(4);
    holed.set(2, 0, 0);
    EXPECT_THROW(HalfChords(holed), std::logic_error);
    EXPECT_THROW(CrearMascaraCircular(0), std::invalid_argument);
}

// Random indices 1..n in runs of varied length: zone borders and isolated pixels both occur.
MapPlane RandomPlane(int w, int h, int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> index(1, n);
    std::uniform_int_distribution<int> chance(0, 9);
    MapPlane plane(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool keep = x > 0 && chance(rng) < 6;
            plane.at(x, y) = keep ? plane.at(x - 1, y) : static_cast<uint8_t>(index(rng));
        }
    }
    return plane;
}

// The chord passes against the offset-by-offset loops, edges included, on one thread and on
// all: sizes that are multiples of nothing, one wider than a column tile and one taller than
// several bands of rows.
TEST(MapPasses, FastPassesEqualTheNaiveLoops) {
    const std::vector<int> every_radius = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 20, 50, 100};
    struct Case {
        int w;
        int h;
        std::vector<int> radii;
    };
    const Case cases[] = {{37, 23, every_radius}, {101, 7, every_radius}, {1, 50, every_radius},
                          {50, 1, every_radius},  {13, 13, every_radius}, {2100, 9, {3, 12, 50}},
                          {29, 300, {3, 40}}};
    SilentChannel channel;
    unsigned seed = 1;
    for (const Case& test_case : cases) {
        for (int r : test_case.radii) {
            const int n = 2 + static_cast<int>(seed % 9);
            const MapPlane in = RandomPlane(test_case.w, test_case.h, n, seed++);
            const MapPlane ag = NaiveAntiGhostPass(in, n, r);
            const MapPlane pr = NaiveProgressivePass(ag, n, r);
            for (int threads : {1, 0}) {
                EXPECT_EQ(AntiGhostPass(in, r, channel, threads).data, ag.data)
                    << test_case.w << "x" << test_case.h << " r=" << r;
                EXPECT_EQ(ProgressivePass(ag, n, r, channel, threads).data, pr.data)
                    << test_case.w << "x" << test_case.h << " r=" << r;
            }
        }
    }
}

// Along a row of more than 8.4 M high indices the running sums pass 2^31: the fast pass still
// equals the offset-by-offset loop.
TEST(MapPasses, VeryWideRowSumsDoNotOverflow) {
    SilentChannel channel;
    const int w = 8'500'000;
    MapPlane in(w, 1);
    for (int x = 0; x < w; ++x) {
        in.at(x, 0) = static_cast<uint8_t>(253 + x % 3);
    }
    EXPECT_TRUE(ProgressivePass(in, 255, 1, channel, 1).data ==
                NaiveProgressivePass(in, 255, 1).data);
}

// At (0, 0) with radius 1 the mean is over the 4 pixels inside the image: (3 + 3 + 3 + 1) / 4 =
// 2.5 with N = 3 -> (2.5 - 3) * 255 / -2 = 63.75 -> 64 (over all nine cells it would differ).
TEST(MapPasses, CornerMeanOverInsidePixelsOnly) {
    SilentChannel channel;
    MapPlane in(6, 6);
    std::fill(in.data.begin(), in.data.end(), 3);
    in.at(1, 1) = 1;
    const MapPlane levels = ProgressivePass(in, 3, 1, channel);
    EXPECT_EQ(levels.at(0, 0), 64);
    // Edge pixel (2, 0): sum 16 over 6 pixels. Exactly 42.5 would go to 42, but the double
    // 16 / 6 lies just below 8/3, the level is 42.50000000000002 and rounds to 43.
    EXPECT_EQ(levels.at(2, 0), 43);
    EXPECT_EQ(MapLevel(2, 3), 128);  // 127.5 goes to the even 128
}

}  // namespace
}  // namespace brimsal
