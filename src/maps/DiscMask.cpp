#include "maps/DiscMask.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace brimsal {

MascaraCircular::MascaraCircular(int radius)
    : radius_(radius), cells_(static_cast<size_t>(2 * radius + 1) * (2 * radius + 1), 0) {}

uint8_t MascaraCircular::at(int dx, int dy) const {
    if (std::abs(dx) > radius_ || std::abs(dy) > radius_) {
        return 0;
    }
    const int side = 2 * radius_ + 1;
    return cells_[static_cast<size_t>(dy + radius_) * side + (dx + radius_)];
}

void MascaraCircular::set(int dx, int dy, uint8_t value) {
    const int side = 2 * radius_ + 1;
    cells_.at(static_cast<size_t>(dy + radius_) * side + (dx + radius_)) = value;
}

int MascaraCircular::count() const {
    int total = 0;
    for (uint8_t cell : cells_) {
        total += cell;
    }
    return total;
}

namespace {

// Clears (a * dx, b * dy) for the four sign combinations.
void ClearMirrored(MascaraCircular& mask, int dx, int dy) {
    for (int a : {-1, 1}) {
        for (int b : {-1, 1}) {
            mask.set(a * dx, b * dy, 0);
        }
    }
}

}  // namespace

MascaraCircular CrearMascaraCircular(int radio) {
    if (radio < 1) {
        throw std::invalid_argument("disc radius " + std::to_string(radio) + " below 1");
    }
    const int r = radio;
    MascaraCircular mask(r);
    // The open disc of radius r + 1, built one octant at a time.
    const int lim = (r + 1) * (r + 1);
    for (int j = 1; j <= r; ++j) {
        for (int i = j; i <= r; ++i) {
            if (i * i + j * j < lim) {
                for (int a : {-1, 1}) {
                    for (int b : {-1, 1}) {
                        mask.set(a * j, b * i, 1);
                        mask.set(a * i, b * j, 1);
                    }
                }
            }
        }
    }
    for (int k = -r; k <= r; ++k) {
        mask.set(k, 0, 1);
        mask.set(0, k, 1);
    }
    // Small discs look square with the plain rule; these radii were rounded off by hand.
    if (r == 2) {
        ClearMirrored(mask, 2, 2);
    } else if (r == 3) {
        ClearMirrored(mask, 2, 3);
        ClearMirrored(mask, 3, 2);
    } else if (r == 5) {
        ClearMirrored(mask, 2, 5);
        ClearMirrored(mask, 3, 5);
        ClearMirrored(mask, 4, 4);
        ClearMirrored(mask, 5, 3);
        ClearMirrored(mask, 5, 2);
    }
    return mask;
}

std::vector<int> HalfChords(const MascaraCircular& mask) {
    const int r = mask.radius();
    std::vector<int> half(static_cast<size_t>(2 * r + 1));
    for (int dy = -r; dy <= r; ++dy) {
        int h = -1;
        while (h < r && mask.at(h + 1, dy) != 0) {
            ++h;
        }
        for (int dx = -r; dx <= r; ++dx) {
            const bool inside = std::abs(dx) <= h;
            if ((mask.at(dx, dy) != 0) != inside) {
                throw std::logic_error("row " + std::to_string(dy) + " of the radius-" +
                                       std::to_string(r) + " disc is not one symmetric run");
            }
        }
        half[static_cast<size_t>(dy + r)] = h;
    }
    return half;
}

}  // namespace brimsal
