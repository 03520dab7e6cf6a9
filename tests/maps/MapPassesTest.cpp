#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "app/RecorderChannel.h"
#include "maps/MapPasses.h"

namespace brimsal {
namespace {

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

// One pixel of frame 1 in a field of frame N grows into exactly the disc around it.
TEST(MapPasses, SingleDarkPixelGrowsIntoTheDisc) {
    SilentChannel channel;
    PlanoMapa in = Llenar(21, 21, 3);
    in.at(10, 10) = 1;
    auto ones = [](const PlanoMapa& p) { return std::count(p.data.begin(), p.data.end(), 1); };
    const PlanoMapa r1 = PasadaAntiGhost(in, 1, channel);
    EXPECT_EQ(ones(r1), 9);  // the 3 x 3 square
    EXPECT_EQ(r1.at(11, 11), 1);
    const PlanoMapa r2 = PasadaAntiGhost(in, 2, channel);
    EXPECT_EQ(ones(r2), 21);
    EXPECT_EQ(r2.at(12, 11), 1);
    EXPECT_EQ(r2.at(12, 12), 3);
    const PlanoMapa r4 = PasadaAntiGhost(in, 4, channel);
    EXPECT_EQ(ones(r4), 69);
    EXPECT_EQ(r4.at(14, 12), 1);  // offset (4, 2)
    EXPECT_EQ(r4.at(13, 13), 1);  // offset (3, 3)
    const PlanoMapa r5 = PasadaAntiGhost(in, 5, channel);
    EXPECT_EQ(ones(r5), 89);
    EXPECT_EQ(r5.at(14, 14), 3);  // offset (4, 4)
    EXPECT_EQ(r5.at(15, 13), 3);  // offset (5, 3)
    // At the corner the edges cut the disc: a quarter of radius 2, 3 x 3 less the cell (2, 2).
    PlanoMapa corner = Llenar(21, 21, 3);
    corner.at(0, 0) = 1;
    EXPECT_EQ(ones(PasadaAntiGhost(corner, 2, channel)), 8);
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
