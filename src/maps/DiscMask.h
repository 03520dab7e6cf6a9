// The disc mask of the map passes (MascaraCircular) and its chord form.
//
// The mask of radius r holds the offsets (dx, dy), -r <= dx, dy <= r, with
// dx^2 + dy^2 < (r + 1)^2, less a few hand-made corrections at r = 2, 3 and 5. Every row of it is
// one symmetric run [-h(dy), +h(dy)] (a chord), which is what lets the passes avoid visiting
// every offset.
#pragma once

#include <cstdint>
#include <vector>

namespace brimsal {

class MascaraCircular {
  public:
    explicit MascaraCircular(int radius);

    int radius() const { return radius_; }
    // 1 when (dx, dy) is inside the disc; 0 outside, and for offsets beyond the radius.
    uint8_t at(int dx, int dy) const;
    void set(int dx, int dy, uint8_t value);
    // Number of offsets inside the disc.
    int count() const;

  private:
    int radius_;
    std::vector<uint8_t> cells_;  // (2r + 1)^2, row dy, column dx
};

// CrearMascaraCircular: the disc of radius `radio` (at least 1; throws std::invalid_argument
// otherwise). Offset counts: 9, 21, 37, 69, 89, 145, 193 for r = 1..7.
MascaraCircular CrearMascaraCircular(int radio);

// The half-widths of the disc's chords: entry dy + r is h(dy), the row dy of the mask being
// exactly dx = -h(dy)..h(dy). Throws std::logic_error when some row is not one symmetric run
// (never for a mask built by CrearMascaraCircular).
std::vector<int> HalfChords(const MascaraCircular& mask);

}  // namespace brimsal
