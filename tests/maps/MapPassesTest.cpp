// The disc mask and its chords, and the map passes against their offset-by-offset loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <stdexcept>

#include "app/RecorderChannel.h"
#include "maps/DiscMask.h"
#include "maps/MapPasses.h"

namespace brimsal {
namespace {

// Offsets, largest squared distance kept, and the shapes the small radii are known by.
TEST(DiscMask, SmallRadii) {
    const int counts[] = {9, 21, 37, 69, 89, 145, 193};
    const int largest[] = {2, 5, 10, 20, 26};
    for (int r = 1; r <= 7; ++r) {
        const MascaraCircular m = CrearMascaraCircular(r);
        EXPECT_EQ(m.count(), counts[r - 1]) << "radius " << r;
        int far = 0;
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                far = m.at(dx, dy) ? std::max(far, dx * dx + dy * dy) : far;
                const int ax = std::abs(dx);
                const int ay = std::abs(dy);
                if (r <= 3) {  // 3 x 3 square; 5 x 5 less its corners; 7 x 7 less 3 per corner
                    const bool cut = (r == 2 && ax == 2 && ay == 2) || (r == 3 && ax + ay >= 5);
                    EXPECT_EQ(m.at(dx, dy), cut ? 0 : 1) << r << ": " << dx << "," << dy;
                }
            }
        }
        if (r <= 5) {
            EXPECT_EQ(far, largest[r - 1]) << "radius " << r;
        }
    }
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
