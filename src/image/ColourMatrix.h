// A 3 x 3 matrix over a pixel's three channels, as a development's colour transform is one.
#pragma once

#include <array>
#include <optional>

namespace brimsal {

// Row-major: out[i] = sum over j of m[3 i + j] x in[j].
using ColourMatrix = std::array<double, 9>;

inline constexpr ColourMatrix kIdentityColours = {1, 0, 0, 0, 1, 0, 0, 0, 1};

// out = m x in.
inline void ApplyColours(const ColourMatrix& m, const double in[3], double out[3]) {
    for (int i = 0; i < 3; ++i) {
        out[i] = m[3 * i] * in[0] + m[3 * i + 1] * in[1] + m[3 * i + 2] * in[2];
    }
}

// The inverse of `m`; nullopt when `m` is singular or too near it to invert reliably (its
// determinant below 1e-9 of the product of its rows' lengths).
std::optional<ColourMatrix> InverseColours(const ColourMatrix& m);

}  // namespace brimsal
