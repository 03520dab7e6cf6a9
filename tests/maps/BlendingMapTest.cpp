// Build map: headroom thresholds, GenerarMapa's log, failures and cancel; the disc mask and its
// chords, and the map passes against their offset-by-offset loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <stdexcept>

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

constexpr uint16_t kBajo = 1000;   // valid everywhere
constexpr uint16_t kAlto = 65000;  // above every threshold

const WhiteBalanceSettings kCamara = {.mode = WBMode::kCamera};

MapSettings Radios(int antighost, int progressive) {
    MapSettings settings;
    settings.antighost = antighost;
    settings.progressive = progressive;
    return settings;
}

// Frames 1..n over w x h where frame k is valid in columns x < valido(k), clipped elsewhere.
ExposureSet Columnas(int w, int h, int n, int (*valido)(int k)) {
    std::vector<Frame> frames;
    for (int k = 1; k <= n; ++k) {
        const int limite = valido(k);
        frames.push_back(MakeFrame(
            w, h, [limite](int x, int, int) -> uint16_t { return x < limite ? kBajo : kAlto; }));
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

// A normal development: 90 % is 58981.5, which rounds to the even 58982; each threshold is that
// level times its coefficient, capped at 65279 (2 T = 117963; 0.5 T = 29490.75); the Camera mode
// reads no coefficient, and one that is not a number is a type mismatch (error 13).
TEST(Thresholds, FromThePercentageAndTheCoefficients) {
    const struct {
        WBMode mode;
        std::array<std::string, 3> texts;
        int threshold;
        std::array<int32_t, 3> expected;
    } casos[] = {
        {WBMode::kCamera, {"not", "read", "here"}, 90, {58982, 58982, 58982}},
        {WBMode::kCoeffs, {"2.0", "1.0", "0.5"}, 90, {65279, 58982, 29491}},
        {WBMode::kCoeffs, {" 0.8 ", "1", "1"}, 99, {51904, 64880, 64880}},
    };
    for (const auto& caso : casos) {
        MapSettings settings;
        settings.threshold = caso.threshold;
        const WhiteBalanceSettings wb = {.mode = caso.mode, .txtWB = caso.texts};
        EXPECT_EQ(OptimizarUmbrales(settings, wb), caso.expected) << caso.texts[0];
    }
    try {
        CoeficienteDeTexto("1.5x");
        ADD_FAILURE() << "'1.5x' must fail";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 13);
    }
}

// The index is the brightest frame 2..N with every channel at or below its threshold (equal is
// valid); frame 1 otherwise, taken untested. Pixel 0: valid in frame 3. Pixel 1: equal to the
// threshold in frame 2. Pixel 2: clipped in 2 and 3. Pixel 3: one channel above in frame 3.
TEST(BlendingMap, PixelMapRule) {
    constexpr uint16_t kUmbral = 58982;
    Frame f3 = MakeFrame(4, 1, [](int x, int, int c) -> uint16_t {
        return x == 0 ? kBajo : x == 3 ? (c == 2 ? kUmbral + 1 : kBajo) : kAlto;
    });
    Frame f2 = MakeFrame(4, 1, [](int x, int, int) -> uint16_t {
        return x == 1 ? kUmbral : x == 2 ? kAlto : kBajo;
    });
    std::vector<Frame> frames;
    frames.push_back(ConstantFrame(4, 1, kAlto, kAlto, kAlto));
    frames.push_back(std::move(f2));
    frames.push_back(std::move(f3));
    const ExposureSet set = test::SetOf(std::move(frames), "/nowhere/img");
    EXPECT_EQ(MapaDeIndices(set, {kUmbral, kUmbral, kUmbral}, 1).data,
              (std::vector<uint8_t>{3, 2, 1, 2}));
}

// Every set size: the table Build map writes beside its map is the definition's.
TEST(BlendingMap, LevelTableForEverySetSize) {
    for (int n = 2; n <= 255; ++n) {
        ASSERT_EQ(ConstruirIndicePorNivel(n), test::TablaIndicePorNivel(n)) << n;
    }
}

TEST(BlendingMap, FullLogOfARun) {
    TempDir dir;
    const std::string ruta = dir.file("ref.CR2");
    const ExposureSet set = Columnas(30, 200, 2, [](int k) { return k == 2 ? 10 : 30; });
    RecorderChannel channel;
    MapState mapa;
    ASSERT_TRUE(GenerarMapa(ruta, Radios(0, 3), kCamara, set, mapa, channel));
    const std::string archivo = NombreArchivo(mapa.RutaMapa);
    const std::vector<std::string> log = {
        "Threshold optimisation...",
        "R: 58982\nG: 58982\nB: 58982",
        "\nBuilding pixel map...",
        "Building anti ghosting map (0+3px) ...",
        "Building progressive map (3px) ...",
        "Generating PNG map...",
        "\nSaving PNG map as " + archivo + "...",
        "DONE",
    };
    EXPECT_EQ(channel.log(), log);
    EXPECT_EQ(mapa.RutaMapa, dir.path() + "/" + archivo);
    EXPECT_EQ(archivo.substr(0, 4), "Map_");
    EXPECT_EQ(archivo.size(), std::string("Map_hhmmss.png").size());
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_EQ(channel.progress().back(), "100%");
    EXPECT_EQ(mapa.Umbrales, (std::array<int32_t, 3>{58982, 58982, 58982}));

    // No radius: neither pass is logged. Anti-ghosting alone: its radius is antighost + 0.
    RecorderChannel quiet;
    ASSERT_TRUE(GenerarMapa(ruta, Radios(0, 0), kCamara, set, mapa, quiet));
    const std::string otro = NombreArchivo(mapa.RutaMapa);
    EXPECT_EQ(quiet.log(),
              (std::vector<std::string>{log[0], log[1], log[2], log[5],
                                        "\nSaving PNG map as " + otro + "...", "DONE"}));
    RecorderChannel ag;
    ASSERT_TRUE(GenerarMapa(ruta, Radios(4, 0), kCamara, set, mapa, ag));
    EXPECT_EQ(ag.log().at(3), "Building anti ghosting map (4+0px) ...");
    EXPECT_EQ(ag.log().at(4), log[5]);
}

// N < 2, N > 255, a coefficient that is not a number and a folder that cannot be written end in
// the report naming GenerarMapa, a cancel in Cancelled: no file is written and the old map's path
// stays. Thresholds and level table are set before the file is written: the unwritable map
// takes them.
TEST(BlendingMap, FailuresAndCancelKeepTheOldMap) {
    TempDir dir;
    WhiteBalanceSettings letras;
    letras.txtWB = {"x", "1", "1"};
    const auto flat = [](int n) {
        return test::SetOf(std::vector<Frame>(static_cast<size_t>(n), ConstantFrame(2, 2, 9, 9, 9)),
                           "/nowhere/img");
    };
    const ExposureSet three = Columnas(40, 300, 3, [](int k) { return 50 - 10 * k; });
    const struct {
        ExposureSet set;
        WhiteBalanceSettings wb;
        std::string ruta;
        bool cancel;
        int tabla;  // the frames of the level table afterwards
    } casos[] = {
        {flat(1), kCamara, dir.file("ref.CR2"), false, 5},
        {flat(256), kCamara, dir.file("ref.CR2"), false, 5},
        {flat(2), letras, dir.file("ref.CR2"), false, 5},
        {three, kCamara, "/no/such/folder/ref.CR2", false, 3},
        {three, kCamara, dir.file("ref.CR2"), true, 5},
    };
    for (const auto& caso : casos) {
        MapState mapa;
        mapa.RutaMapa = "/earlier/Map_000000.png";
        mapa.IndicePorNivel = ConstruirIndicePorNivel(5);
        mapa.Umbrales = {1, 2, 3};
        RecorderChannel channel;
        if (caso.cancel) {
            channel.CancelarTrasProgresos(1);
            EXPECT_THROW(GenerarMapa(caso.ruta, Radios(2, 2), caso.wb, caso.set, mapa, channel, 1),
                         Cancelled);
        } else {
            EXPECT_FALSE(GenerarMapa(caso.ruta, Radios(0, 1), caso.wb, caso.set, mapa, channel));
            EXPECT_NE(test::OnlyBox(channel).find("module GenerarMapa "), std::string::npos);
            EXPECT_EQ(channel.log().back(), "An unexpected error occurred");
        }
        EXPECT_EQ(mapa.RutaMapa, "/earlier/Map_000000.png");
        EXPECT_EQ(mapa.Umbrales[1], caso.tabla == 3 ? 58982 : 2);
        EXPECT_EQ(mapa.IndicePorNivel, ConstruirIndicePorNivel(caso.tabla)) << caso.set.N();
    }
    EXPECT_THROW(ConstruirIndicePorNivel(1), RunTimeError);
    EXPECT_THROW(ConstruirIndicePorNivel(256), RunTimeError);
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
        ASSERT_NO_THROW(half = SemiCuerdas(m)) << "radius " << r;
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
    EXPECT_THROW(SemiCuerdas(holed), std::logic_error);
    EXPECT_THROW(CrearMascaraCircular(0), std::invalid_argument);
}

// Random indices 1..n in runs of varied length: zone borders and isolated pixels both occur.
PlanoMapa PlanoAleatorio(int w, int h, int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> indice(1, n);
    std::uniform_int_distribution<int> chance(0, 9);
    PlanoMapa plano(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool keep = x > 0 && chance(rng) < 6;
            plano.at(x, y) = keep ? plano.at(x - 1, y) : static_cast<uint8_t>(indice(rng));
        }
    }
    return plano;
}

// The chord passes against the offset-by-offset loops, edges included, on one thread and on
// all: sizes that are multiples of nothing, one wider than a column tile and one taller than
// several bands of rows.
TEST(MapPasses, FastPassesEqualTheNaiveLoops) {
    const std::vector<int> todos = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 20, 50, 100};
    struct Caso {
        int w;
        int h;
        std::vector<int> radios;
    };
    const Caso casos[] = {{37, 23, todos},   {101, 7, todos}, {1, 50, todos},
                          {50, 1, todos},    {13, 13, todos}, {2100, 9, {3, 12, 50}},
                          {29, 300, {3, 40}}};
    SilentChannel channel;
    unsigned seed = 1;
    for (const Caso& caso : casos) {
        for (int r : caso.radios) {
            const int n = 2 + static_cast<int>(seed % 9);
            const PlanoMapa in = PlanoAleatorio(caso.w, caso.h, n, seed++);
            const PlanoMapa ag = PasadaAntiGhostIngenua(in, n, r);
            const PlanoMapa pr = PasadaProgresivaIngenua(ag, n, r);
            for (int threads : {1, 0}) {
                EXPECT_EQ(PasadaAntiGhost(in, r, channel, threads).data, ag.data)
                    << caso.w << "x" << caso.h << " r=" << r;
                EXPECT_EQ(PasadaProgresiva(ag, n, r, channel, threads).data, pr.data)
                    << caso.w << "x" << caso.h << " r=" << r;
            }
        }
    }
}

// Along a row of more than 8.4 M high indices the running sums pass 2^31: the fast pass still
// equals the offset-by-offset loop.
TEST(MapPasses, VeryWideRowSumsDoNotOverflow) {
    SilentChannel channel;
    const int w = 8'500'000;
    PlanoMapa in(w, 1);
    for (int x = 0; x < w; ++x) {
        in.at(x, 0) = static_cast<uint8_t>(253 + x % 3);
    }
    EXPECT_TRUE(PasadaProgresiva(in, 255, 1, channel, 1).data ==
                PasadaProgresivaIngenua(in, 255, 1).data);
}

// At (0, 0) with radius 1 the mean is over the 4 pixels inside the image: (3 + 3 + 3 + 1) / 4 =
// 2.5 with N = 3 -> (2.5 - 3) * 255 / -2 = 63.75 -> 64 (over all nine cells it would differ).
TEST(MapPasses, CornerMeanOverInsidePixelsOnly) {
    SilentChannel channel;
    PlanoMapa in(6, 6);
    std::fill(in.data.begin(), in.data.end(), 3);
    in.at(1, 1) = 1;
    const PlanoMapa levels = PasadaProgresiva(in, 3, 1, channel);
    EXPECT_EQ(levels.at(0, 0), 64);
    // Edge pixel (2, 0): sum 16 over 6 pixels. Exactly 42.5 would go to 42, but the double
    // 16 / 6 lies just below 8/3, the level is 42.50000000000002 and rounds to 43.
    EXPECT_EQ(levels.at(2, 0), 43);
    EXPECT_EQ(NivelMapa(2, 3), 128);  // 127.5 goes to the even 128
}

}  // namespace
}  // namespace brimsal
