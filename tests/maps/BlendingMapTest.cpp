// Build map: thresholds, the pixel map, GenerarMapa's levels, log, failures and cancel; the disc
// mask and its chords, and the map passes against their offset-by-offset loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "app/Misc.h"
#include "app/RecorderChannel.h"
#include "image/Picture.h"
#include "maps/BlendingMap.h"
#include "maps/DiscMask.h"
#include "maps/MapPasses.h"
#include "maps/Thresholds.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using test::ConstantFrame;
using test::MakeFrame;
using test::TempDir;

constexpr uint16_t kBajo = 1000;     // valid everywhere
constexpr uint16_t kAlto = 65000;    // above every threshold
constexpr uint16_t kUmbral = 58982;  // the Camera threshold at 90 %

WhiteBalanceSettings Camara() {
    WhiteBalanceSettings wb;
    wb.mode = WBMode::kCamera;
    return wb;
}

MapSettings Radios(int antighost, int progressive) {
    MapSettings settings;
    settings.antighost = antighost;
    settings.progressive = progressive;
    return settings;
}

ExposureSet SetDe(std::vector<Frame> frames) {
    return test::SetOf(std::move(frames), "/nowhere/img");
}

// Frames 1..n over w x h where frame k is valid in columns x < valido(k), clipped elsewhere.
ExposureSet Columnas(int w, int h, int n, int (*valido)(int k)) {
    std::vector<Frame> frames;
    for (int k = 1; k <= n; ++k) {
        const int limite = valido(k);
        frames.push_back(MakeFrame(
            w, h, [limite](int x, int, int) -> uint16_t { return x < limite ? kBajo : kAlto; }));
    }
    return SetDe(std::move(frames));
}

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
    // A coefficient that is not a number is a type mismatch (error 13).
    for (const char* texto : {"abc", "", "1.5x"}) {
        try {
            CoeficienteDeTexto(texto);
            ADD_FAILURE() << "'" << texto << "' must fail";
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.number(), 13) << texto;
        }
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

// Every set size: the table Build map writes beside its map is the definition's.
TEST(BlendingMap, LevelTableForEverySetSize) {
    for (int n = 2; n <= 255; ++n) {
        ASSERT_EQ(ConstruirIndicePorNivel(n), test::TablaIndicePorNivel(n)) << n;
    }
}

// The index is the brightest frame 2..N at or below every threshold; frame 1 otherwise, never
// tested; a channel equal to its threshold is valid.
TEST(BlendingMap, PixelMapRule) {
    // Pixel 0: valid in frame 3. Pixel 1: only in frame 2 (equal to the threshold there).
    // Pixel 2: clipped in 2 and 3 -> 1. Pixel 3: one channel above in frame 3, valid in 2.
    Frame f3 = MakeFrame(4, 1, [](int x, int, int c) -> uint16_t {
        return x == 0 ? kBajo : x == 3 ? (c == 2 ? kUmbral + 1 : kBajo) : kAlto;
    });
    Frame f2 = MakeFrame(4, 1, [](int x, int, int) -> uint16_t {
        return x == 1 ? kUmbral : x == 2 ? kAlto : kBajo;
    });
    Frame f1 = ConstantFrame(4, 1, kAlto, kAlto, kAlto);  // clipped, yet taken untested
    const ExposureSet set = SetDe({std::move(f1), std::move(f2), std::move(f3)});
    const PlanoMapa indices = MapaDeIndices(set, {kUmbral, kUmbral, kUmbral}, 1);
    EXPECT_EQ(indices.data, (std::vector<uint8_t>{3, 2, 1, 2}));
}

TEST(BlendingMap, FullLogOfARun) {
    TempDir dir;
    const std::string ruta = dir.file("ref.CR2");
    const ExposureSet set = Columnas(30, 200, 2, [](int k) { return k == 2 ? 10 : 30; });
    RecorderChannel channel;
    MapState mapa;
    ASSERT_TRUE(GenerarMapa(ruta, Radios(0, 3), Camara(), set, mapa, channel));
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
    // Whole percentages, "100%" only at the end of each of the two passes.
    const auto progress = channel.progress();
    EXPECT_EQ(std::count(progress.begin(), progress.end(), "100%"), 2);
    EXPECT_EQ(progress.back(), "100%");
    for (const std::string& p : progress) {
        EXPECT_EQ(p.find_first_not_of("0123456789"), p.size() - 1) << p;
        EXPECT_EQ(p.back(), '%');
    }
    EXPECT_EQ(mapa.Umbrales, (std::array<int32_t, 3>{58982, 58982, 58982}));

    // No radius: neither pass is logged. Anti-ghosting alone: its radius is antighost + 0.
    RecorderChannel quiet;
    ASSERT_TRUE(GenerarMapa(ruta, Radios(0, 0), Camara(), set, mapa, quiet));
    const std::string otro = NombreArchivo(mapa.RutaMapa);
    EXPECT_EQ(quiet.log(),
              (std::vector<std::string>{log[0], log[1], log[2], log[5],
                                        "\nSaving PNG map as " + otro + "...", "DONE"}));
    RecorderChannel ag;
    ASSERT_TRUE(GenerarMapa(ruta, Radios(4, 0), Camara(), set, mapa, ag));
    EXPECT_EQ(ag.log().at(3), "Building anti ghosting map (4+0px) ...");
    EXPECT_EQ(ag.log().at(4), log[5]);
}

// N < 2, N > 255 and a coefficient that is not a number end in the report naming GenerarMapa,
// with no file written and the map state as it was.
TEST(BlendingMap, UnexpectedErrors) {
    TempDir dir;
    WhiteBalanceSettings letras;
    letras.txtWB = {"x", "1", "1"};
    const std::pair<int, WhiteBalanceSettings> casos[] = {
        {1, Camara()}, {256, Camara()}, {2, letras}};
    for (const auto& [n, wb] : casos) {
        const ExposureSet set = SetDe(
            std::vector<Frame>(static_cast<size_t>(n), ConstantFrame(2, 2, kBajo, kBajo, kBajo)));
        RecorderChannel channel;
        MapState mapa;
        mapa.RutaMapa = "old.png";
        EXPECT_FALSE(GenerarMapa(dir.file("ref.CR2"), Radios(0, 3), wb, set, mapa, channel));
        EXPECT_NE(test::OnlyBox(channel).find("module GenerarMapa "), std::string::npos);
        EXPECT_EQ(channel.log(), std::vector<std::string>{"An unexpected error occurred"});
        EXPECT_EQ(mapa.RutaMapa, "old.png");
        EXPECT_EQ(mapa.IndicePorNivel[0], 0.0f);
    }
    EXPECT_THROW(ConstruirIndicePorNivel(1), RunTimeError);
    EXPECT_THROW(ConstruirIndicePorNivel(256), RunTimeError);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// The level table is built before the file is written: a map that cannot be written leaves
// the old path, but the table is the new run's.
TEST(BlendingMap, UnwritableMapKeepsThePathButTakesTheNewLevelTable) {
    const ExposureSet set = Columnas(6, 4, 3, [](int k) { return 4 - k; });
    MapState mapa;
    mapa.RutaMapa = "/earlier/Map_000000.png";
    mapa.IndicePorNivel = ConstruirIndicePorNivel(5);
    RecorderChannel channel;
    EXPECT_FALSE(
        GenerarMapa("/no/such/folder/ref.CR2", Radios(0, 1), Camara(), set, mapa, channel));
    EXPECT_NE(test::OnlyBox(channel).find("module GenerarMapa "), std::string::npos);
    EXPECT_EQ(mapa.RutaMapa, "/earlier/Map_000000.png");
    EXPECT_EQ(mapa.IndicePorNivel, ConstruirIndicePorNivel(3));
}

TEST(BlendingMap, CancelledRunWritesNothingAndKeepsTheState) {
    TempDir dir;
    const ExposureSet set = Columnas(40, 300, 2, [](int k) { return k == 2 ? 20 : 40; });
    MapState mapa;
    mapa.RutaMapa = "/earlier/Map_000000.png";
    mapa.IndicePorNivel = ConstruirIndicePorNivel(5);
    mapa.Umbrales = {1, 2, 3};
    const MapState before = mapa;
    RecorderChannel channel;
    channel.CancelarTrasProgresos(1);
    EXPECT_THROW(GenerarMapa(dir.file("ref.CR2"), Radios(2, 2), Camara(), set, mapa, channel, 1),
                 Cancelled);
    EXPECT_EQ(mapa.RutaMapa, before.RutaMapa);
    EXPECT_EQ(mapa.IndicePorNivel, before.IndicePorNivel);
    EXPECT_EQ(mapa.Umbrales, before.Umbrales);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// The three corrected radii: 2 is 5 x 5 less its corners, 3 is 7 x 7 less 3 cells per corner, 5
// keeps 89 offsets reaching squared distance 26.
TEST(DiscMask, CorrectedRadii) {
    for (int r : {2, 3}) {
        const MascaraCircular m = CrearMascaraCircular(r);
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                const int ax = std::abs(dx);
                const int ay = std::abs(dy);
                const bool cut = (r == 2 && ax == 2 && ay == 2) || (r == 3 && ax + ay >= 5);
                EXPECT_EQ(m.at(dx, dy), cut ? 0 : 1) << r << ": " << dx << "," << dy;
            }
        }
    }
    const MascaraCircular five = CrearMascaraCircular(5);
    EXPECT_EQ(five.count(), 89);
    EXPECT_EQ(five.at(5, 1) + five.at(1, 5), 2);
    EXPECT_EQ(five.at(4, 4) + five.at(5, 2), 0);
}

// Away from the three corrected radii the disc is exactly dx^2 + dy^2 < (r + 1)^2; and every row
// of every disc the settings allow is one symmetric chord (what the fast passes rest on).
TEST(DiscMask, OpenDiscAndChords) {
    for (int r = 1; r <= 100; ++r) {
        const MascaraCircular m = CrearMascaraCircular(r);
        if (r != 2 && r != 3 && r != 5) {
            for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx) {
                    ASSERT_EQ(m.at(dx, dy), dx * dx + dy * dy < (r + 1) * (r + 1) ? 1 : 0)
                        << "radius " << r << " at " << dx << "," << dy;
                }
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

PlanoMapa Llenar(int w, int h, uint8_t valor) {
    PlanoMapa plano(w, h);
    std::fill(plano.data.begin(), plano.data.end(), valor);
    return plano;
}

// The chord passes against the offset-by-offset loops, edges included, on one thread and on
// all: sizes that are multiples of nothing, one wider than a column tile and one taller than
// several bands of rows.
TEST(MapPasses, FastPassesEqualTheNaiveLoops) {
    std::vector<int> todos;
    for (int r = 1; r <= 12; ++r) {
        todos.push_back(r);
    }
    todos.insert(todos.end(), {20, 50, 100});
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

// One pixel of frame 1 in a field of frame N grows into exactly the disc around it; at the
// corner the edges cut the disc (a quarter of radius 2: 3 x 3 less the cell (2, 2)).
TEST(MapPasses, SingleDarkPixelGrowsIntoTheDisc) {
    SilentChannel channel;
    PlanoMapa in = Llenar(21, 21, 3);
    in.at(10, 10) = 1;
    for (int r = 1; r <= 9; ++r) {
        const MascaraCircular disc = CrearMascaraCircular(r);
        const PlanoMapa out = PasadaAntiGhost(in, r, channel);
        for (int dy = -10; dy <= 10; ++dy) {
            for (int dx = -10; dx <= 10; ++dx) {
                const bool inside = std::abs(dx) <= r && std::abs(dy) <= r && disc.at(dx, dy);
                ASSERT_EQ(out.at(10 + dx, 10 + dy), inside ? 1 : 3) << r << ": " << dx << "," << dy;
            }
        }
    }
    PlanoMapa corner = Llenar(21, 21, 3);
    corner.at(0, 0) = 1;
    const PlanoMapa cut = PasadaAntiGhost(corner, 2, channel);
    EXPECT_EQ(std::count(cut.data.begin(), cut.data.end(), 1), 8);
}

// N = 2, anti-ghosting 0 + progressive 1: frame 2 for x < 10, frame 1 from x = 10.
TEST(MapPasses, WorkedBorder) {
    SilentChannel channel;
    PlanoMapa in(16, 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 16; ++x) {
            in.at(x, y) = x < 10 ? 2 : 1;
        }
    }
    const PlanoMapa ag = PasadaAntiGhost(in, 1, channel);
    const PlanoMapa levels = PasadaProgresiva(ag, 2, 1, channel);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(ag.at(x, y), x < 9 ? 2 : 1);  // the border moves one column left
            // Means 2, 5/3 (column 8), 4/3 (column 9), 1: levels 0, 85, 170, 255.
            EXPECT_EQ(levels.at(x, y), x <= 7 ? 0 : x == 8 ? 85 : x == 9 ? 170 : 255) << x;
        }
    }
}

// Along a row of more than 8.4 M high indices the running sums pass 2^31.
TEST(MapPasses, VeryWideRowSumsDoNotOverflow) {
    SilentChannel channel;
    const int w = 8'500'000;
    PlanoMapa in(w, 1);
    for (int x = 0; x < w; ++x) {
        in.at(x, 0) = static_cast<uint8_t>(253 + x % 3);
    }
    const PlanoMapa levels = PasadaProgresiva(in, 255, 1, channel, 1);
    int wrong = 0;
    for (int x = 0; x < w; ++x) {  // a one-row disc of radius 1 is the chord [x - 1, x + 1]
        const int a = std::max(0, x - 1);
        const int b = std::min(w - 1, x + 1);
        int sum = 0;
        for (int xs = a; xs <= b; ++xs) {
            sum += in.at(xs, 0);
        }
        wrong += levels.at(x, 0) != NivelMapa(static_cast<double>(sum) / (b - a + 1), 255);
    }
    EXPECT_EQ(wrong, 0);
}

// At (0, 0) with radius 1 the mean is over the 4 pixels inside the image: (3 + 3 + 3 + 1) / 4 =
// 2.5 with N = 3 -> (2.5 - 3) * 255 / -2 = 63.75 -> 64 (over all nine cells it would differ).
TEST(MapPasses, CornerMeanOverInsidePixelsOnly) {
    SilentChannel channel;
    PlanoMapa in = Llenar(6, 6, 3);
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
