#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "maps/DiscMask.h"

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

}  // namespace
}  // namespace brimsal
