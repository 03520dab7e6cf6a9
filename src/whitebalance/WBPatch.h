// The white balance measured on a neutral patch of the reference (CalcularWBPatch): the patch as
// drawn on the displayed picture, its channel sums and the multipliers that make it grey.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/UserChannel.h"
#include "image/Frame.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

class UserChannel;
struct Frame;

// The clip level of the patch: a pixel with a channel above it (square) or at or above it
// (round) is not summed.
inline constexpr int32_t kPatchClipLevel = kClipLevel;

// The patch drawn on the displayed reference image. The points are fractions 0..1 of the
// displayed picture's width and height, so one patch fits any development of the reference.
// Square: (ParcheX1, ParcheY1) and (ParcheX2, ParcheY2) are opposite corners. Round: the first
// point is the centre, the second a point on the rim.
struct WBPatch {
    double ParcheX1 = 0;
    double ParcheY1 = 0;
    double ParcheX2 = 0;
    double ParcheY2 = 0;
    bool ParcheCuadrado = true;      // shape: square (start value) or round
    bool ParcheDefinido = false;     // a patch has been drawn
    bool ArrastrandoParche = false;  // a mouse drag is defining the patch
};

// cmdParche: toggles the shape and moves the points so the patch keeps its place (the circle
// circumscribes the square; back to square gives the circle's bounding square through the rim
// point). The first point may leave 0..1.
void TogglePatchShape(WBPatch& patch);

// Channel sums of the pixels of a patch that pass its clip rule.
struct SumasCanal {
    int64_t r = 0;
    int64_t g = 0;
    int64_t b = 0;
};

// Sums R, G, B over the patch on `frame`: square patches take every pixel of the rounded
// rectangle whose channels are all <= 58982; round patches take the pixels within the circle
// (radius 1 when the two points coincide) whose channels are all < 58982.
SumasCanal SumPatch(const Frame& frame, const WBPatch& patch);

// The multipliers that make the summed patch grey: M = the largest sum, coefficient c =
// RoundHalfEven(M / S(c) * 1000) / 1000 as plain number text with a point. All sums must be > 0.
std::array<std::string, 3> PatchCoefficients(const SumasCanal& sums);

// CalcularWBPatch: measures the patch on the neutral quick development of `ruta` (the TIFF
// QuitarExtension(ruta) + ".tiff") and writes the multipliers into `wb.txtWB` (the mode is left
// to the caller). Log: "Calculating WB in patch...", then "DONE". Returns 1 on success; -1 when
// the TIFF cannot be read (fresh log "Error reading tiff file, please try again", "DONE"), when
// a channel sums to nothing ("Impossible to WB patch", "DONE" and an error box), or after an
// unexpected error (the report naming "CalcularWBPatch", then "DONE"). On -1 `wb` is unchanged.
int CalcularWBPatch(const std::string& ruta, const WBPatch& patch, WhiteBalanceSettings& wb,
                    UserChannel& channel);

}  // namespace brimsal
