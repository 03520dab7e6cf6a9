#include "image/ColourMatrix.h"

#include <cmath>

namespace brimsal {

namespace {

constexpr double kSingular = 1e-9;

}  // namespace

std::optional<ColourMatrix> InverseColours(const ColourMatrix& m) {
    const ColourMatrix adjugate = {
        m[4] * m[8] - m[5] * m[7], m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
        m[5] * m[6] - m[3] * m[8], m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
        m[3] * m[7] - m[4] * m[6], m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
    const double determinant = m[0] * adjugate[0] + m[1] * adjugate[3] + m[2] * adjugate[6];
    double scale = 1;
    for (int row = 0; row < 3; ++row) {
        scale *= std::hypot(m[3 * row], m[3 * row + 1], m[3 * row + 2]);
    }
    if (!(std::fabs(determinant) > kSingular * scale)) {
        return std::nullopt;
    }
    ColourMatrix inverse{};
    for (size_t i = 0; i < inverse.size(); ++i) {
        inverse[i] = adjugate[i] / determinant;
    }
    return inverse;
}

}  // namespace brimsal
