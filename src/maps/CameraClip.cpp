#include "maps/CameraClip.h"

#include <optional>

namespace brimsal {

CameraClip::CameraClip(const std::array<int32_t, 3>& levels, const ColourMatrix& colours)
    : levels_(levels) {
    if (colours == kIdentityColours) {
        return;
    }
    if (const std::optional<ColourMatrix> inverse = InverseColours(colours)) {
        mixing_ = true;
        to_camera_ = *inverse;
    }
}

}  // namespace brimsal
