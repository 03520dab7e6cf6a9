#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "maps/DiscMask.h"

namespace brimsal {
namespace {

TEST(DiscMask, OffsetCountsOfTheSmallRadii) {
    const int expected[] = {9, 21, 37, 69, 89, 145, 193};
    for (int r = 1; r <= 7; ++r) {
        EXPECT_EQ(CrearMascaraCircular(r).count(), expected[r - 1]) << "radius " << r;
    }
}

TEST(DiscMask, SmallShapes) {
    // r = 1: the full 3 x 3 square.
    const MascaraCircular uno = CrearMascaraCircular(1);
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            EXPECT_EQ(uno.at(dx, dy), 1);
        }
    }
    // r = 2: the 5 x 5 square without its corners.
    const MascaraCircular dos = CrearMascaraCircular(2);
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            EXPECT_EQ(dos.at(dx, dy), (std::abs(dx) == 2 && std::abs(dy) == 2) ? 0 : 1);
        }
    }
    // r = 3: the 7 x 7 square without the corner and its two edge neighbours at each corner.
    const MascaraCircular tres = CrearMascaraCircular(3);
    for (int dy = -3; dy <= 3; ++dy) {
        for (int dx = -3; dx <= 3; ++dx) {
            const bool corner = std::abs(dx) + std::abs(dy) >= 5;
            EXPECT_EQ(tres.at(dx, dy), corner ? 0 : 1) << dx << "," << dy;
        }
    }
}

TEST(DiscMask, LargestSquaredDistanceKept) {
    const int expected[] = {2, 5, 10, 20, 26};
    for (int r = 1; r <= 5; ++r) {
        const MascaraCircular m = CrearMascaraCircular(r);
        int largest = 0;
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                if (m.at(dx, dy)) {
                    largest = std::max(largest, dx * dx + dy * dy);
                }
            }
        }
        EXPECT_EQ(largest, expected[r - 1]) << "radius " << r;
    }
}

TEST(DiscMask, RadiusFourAndFiveEdges) {
    const MascaraCircular cuatro = CrearMascaraCircular(4);
    EXPECT_EQ(cuatro.at(4, 2), 1);
    EXPECT_EQ(cuatro.at(3, 3), 1);
    const MascaraCircular cinco = CrearMascaraCircular(5);
    EXPECT_EQ(cinco.at(4, 4), 0);
    EXPECT_EQ(cinco.at(5, 3), 0);
    EXPECT_EQ(cinco.at(-3, -5), 0);
    EXPECT_EQ(cinco.at(4, 3), 1);
}

// Away from the three corrected radii the disc is exactly dx^2 + dy^2 < (r + 1)^2.
TEST(DiscMask, UncorrectedRadiiAreTheOpenDisc) {
    for (int r = 1; r <= 100; ++r) {
        if (r == 2 || r == 3 || r == 5) {
            continue;
        }
        const MascaraCircular m = CrearMascaraCircular(r);
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                ASSERT_EQ(m.at(dx, dy), dx * dx + dy * dy < (r + 1) * (r + 1) ? 1 : 0)
                    << "radius " << r << " at " << dx << "," << dy;
            }
        }
    }
}

// The fast passes rest on this: every row of every disc the settings allow is one symmetric
// run, and the half-widths rebuild the mask exactly.
TEST(DiscMask, EveryRowIsOneSymmetricChord) {
    for (int r = 1; r <= 100; ++r) {
        const MascaraCircular m = CrearMascaraCircular(r);
        std::vector<int> half;
        ASSERT_NO_THROW(half = SemiCuerdas(m)) << "radius " << r;
        ASSERT_EQ(half.size(), static_cast<size_t>(2 * r + 1));
        int total = 0;
        for (int dy = -r; dy <= r; ++dy) {
            const int h = half[static_cast<size_t>(dy + r)];
            ASSERT_GE(h, 0);
            EXPECT_EQ(h, half[static_cast<size_t>(-dy + r)]);
            total += 2 * h + 1;
        }
        EXPECT_EQ(total, m.count()) << "radius " << r;
    }
}

TEST(DiscMask, ChordCheckRejectsAHoledRow) {
    MascaraCircular m = CrearMascaraCircular(4);
    m.set(2, 0, 0);
    EXPECT_THROW(SemiCuerdas(m), std::logic_error);
    EXPECT_THROW(CrearMascaraCircular(0), std::invalid_argument);
}

}  // namespace
}  // namespace brimsal
