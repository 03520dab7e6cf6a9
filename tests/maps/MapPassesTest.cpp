#include <gtest/gtest.h>

#include <random>

#include "app/RecorderChannel.h"
#include "maps/MapPasses.h"

namespace brimsal {
namespace {

// Random indices 1..n in blobs of varied size, so that both zone borders and isolated pixels
// occur.
PlanoMapa PlanoAleatorio(int w, int h, int n, unsigned seed) {
    std::mt19937 rng(seed);
    PlanoMapa plano(w, h);
    std::uniform_int_distribution<int> indice(1, n);
    std::uniform_int_distribution<int> chance(0, 9);
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

struct Tamano {
    int w;
    int h;
};

TEST(MapPasses, FastPassesEqualTheNaiveLoops) {
    const Tamano tamanos[] = {{37, 23}, {101, 7}, {1, 50}, {50, 1}, {13, 13}};
    std::vector<int> radios;
    for (int r = 1; r <= 12; ++r) {
        radios.push_back(r);
    }
    radios.insert(radios.end(), {20, 50, 100});
    SilentChannel channel;
    unsigned seed = 1;
    for (const Tamano& t : tamanos) {
        for (int r : radios) {
            const int n = 2 + static_cast<int>(seed % 9);
            const PlanoMapa in = PlanoAleatorio(t.w, t.h, n, seed++);
            const PlanoMapa ag = PasadaAntiGhostIngenua(in, n, r);
            EXPECT_EQ(PasadaAntiGhost(in, r, channel, 1).data, ag.data)
                << t.w << "x" << t.h << " r=" << r;
            EXPECT_EQ(PasadaAntiGhost(in, r, channel, 0).data, ag.data)
                << t.w << "x" << t.h << " r=" << r;
            const PlanoMapa pr = PasadaProgresivaIngenua(ag, n, r);
            EXPECT_EQ(PasadaProgresiva(ag, n, r, channel, 1).data, pr.data)
                << t.w << "x" << t.h << " r=" << r;
            EXPECT_EQ(PasadaProgresiva(ag, n, r, channel, 0).data, pr.data)
                << t.w << "x" << t.h << " r=" << r;
        }
    }
}

// Wider than a column tile of the progressive pass, so tile seams are crossed too.
TEST(MapPasses, TileSeamsDoNotShow) {
    SilentChannel channel;
    const PlanoMapa in = PlanoAleatorio(2100, 9, 6, 99);
    for (int r : {3, 12, 50}) {
        EXPECT_EQ(PasadaAntiGhost(in, r, channel, 2).data, PasadaAntiGhostIngenua(in, 6, r).data);
        EXPECT_EQ(PasadaProgresiva(in, 6, r, channel, 2).data,
                  PasadaProgresivaIngenua(in, 6, r).data);
    }
}

// Tall enough for several bands of rows, so band seams are crossed.
TEST(MapPasses, BandSeamsDoNotShow) {
    SilentChannel channel;
    const PlanoMapa in = PlanoAleatorio(29, 300, 5, 77);
    for (int r : {3, 40}) {
        EXPECT_EQ(PasadaAntiGhost(in, r, channel, 2).data, PasadaAntiGhostIngenua(in, 5, r).data);
        EXPECT_EQ(PasadaProgresiva(in, 5, r, channel, 2).data,
                  PasadaProgresivaIngenua(in, 5, r).data);
    }
}

TEST(MapPasses, RadiusOneTakesTheThreeByThreeMinimum) {
    SilentChannel channel;
    PlanoMapa in = Llenar(5, 5, 4);
    in.at(0, 0) = 2;
    const PlanoMapa out = PasadaAntiGhost(in, 1, channel);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(out.at(x, y), (x <= 1 && y <= 1) ? 2 : 4) << x << "," << y;
        }
    }
}

// One pixel of frame 1 in a field of frame N grows into exactly the disc around it.
TEST(MapPasses, SingleDarkPixelGrowsIntoTheDisc) {
    SilentChannel channel;
    PlanoMapa in = Llenar(21, 21, 3);
    in.at(10, 10) = 1;
    auto count_ones = [](const PlanoMapa& p) {
        return std::count(p.data.begin(), p.data.end(), uint8_t{1});
    };
    const PlanoMapa r2 = PasadaAntiGhost(in, 2, channel);
    EXPECT_EQ(count_ones(r2), 21);
    EXPECT_EQ(r2.at(12, 11), 1);
    EXPECT_EQ(r2.at(12, 12), 3);
    const PlanoMapa r4 = PasadaAntiGhost(in, 4, channel);
    EXPECT_EQ(count_ones(r4), 69);
    EXPECT_EQ(r4.at(14, 12), 1);  // offset (4, 2)
    EXPECT_EQ(r4.at(13, 13), 1);  // offset (3, 3)
    const PlanoMapa r5 = PasadaAntiGhost(in, 5, channel);
    EXPECT_EQ(count_ones(r5), 89);
    EXPECT_EQ(r5.at(14, 14), 3);  // offset (4, 4)
    EXPECT_EQ(r5.at(15, 13), 3);  // offset (5, 3)

    // At the corner the disc is cut by the edges: a quarter of the radius-2 disc, 3 x 3 less
    // the cell (2, 2).
    PlanoMapa corner = Llenar(21, 21, 3);
    corner.at(0, 0) = 1;
    EXPECT_EQ(count_ones(PasadaAntiGhost(corner, 2, channel)), 8);
}

// N = 2, anti-ghosting 0 + progressive 1: frame 2 for x < 10, frame 1 from x = 10.
TEST(MapPasses, WorkedBorder) {
    SilentChannel channel;
    const int n = 2;
    PlanoMapa in(16, 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 16; ++x) {
            in.at(x, y) = x < 10 ? 2 : 1;
        }
    }
    const PlanoMapa ag = PasadaAntiGhost(in, 1, channel);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(ag.at(x, y), x < 9 ? 2 : 1);
        }
    }
    const PlanoMapa levels = PasadaProgresiva(ag, n, 1, channel);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 16; ++x) {
            // Means 2, 5/3 (column 8), 4/3 (column 9), 1: levels 0, 85, 170, 255.
            const int expected = x <= 7 ? 0 : x == 8 ? 85 : x == 9 ? 170 : 255;
            EXPECT_EQ(levels.at(x, y), expected) << x << "," << y;
        }
    }
}

// At (0, 0) with radius 1 the mean is over the four pixels inside the image: 3 + 3 + 3 + 1
// over 4 = 2.5 with N = 3 -> (2.5 - 3) * 255 / -2 = 63.75 -> 64. Over all nine cells (the
// outside counted as zero or not counted but divided by 9) it would differ.
TEST(MapPasses, CornerMeanOverInsidePixelsOnly) {
    SilentChannel channel;
    PlanoMapa in = Llenar(6, 6, 3);
    in.at(1, 1) = 1;
    const PlanoMapa levels = PasadaProgresiva(in, 3, 1, channel);
    EXPECT_EQ(levels.at(0, 0), 64);
    // Edge pixel (2, 0): six pixels, sum 3 * 5 + 1 = 16, mean 8/3. In exact arithmetic the level
    // would be 42.5 (-> 42), but the double 16 / 6 lies just below 8/3, so (mean - 3) * 255 / -2
    // is 42.50000000000002 and rounds to 43: the level follows the double arithmetic.
    EXPECT_EQ(levels.at(2, 0), 43);
}

TEST(MapPasses, LevelOfAFrameIndex) {
    EXPECT_EQ(NivelMapa(2, 2), 0);
    EXPECT_EQ(NivelMapa(1, 2), 255);
    EXPECT_EQ(NivelMapa(2, 3), 128);  // 127.5 goes to the even 128
    EXPECT_EQ(NivelMapa(4, 5), 64);   // 63.75
}

TEST(MapPasses, ProgressEndsAtOneHundredAndCancelStops) {
    RecorderChannel channel;
    const PlanoMapa in = PlanoAleatorio(40, 400, 4, 5);
    PasadaAntiGhost(in, 2, channel, 1);
    const auto progress = channel.progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), "100%");
    for (size_t i = 0; i + 1 < progress.size(); ++i) {
        EXPECT_NE(progress[i], "100%");
        EXPECT_EQ(progress[i].back(), '%');
    }

    RecorderChannel cancelling;
    cancelling.CancelarTrasProgresos(1);
    EXPECT_THROW(PasadaProgresiva(in, 4, 2, cancelling, 1), Cancelled);
}

}  // namespace
}  // namespace brimsal
