// The display arithmetic of the reference image: the size the picture is shown at in the picture
// box, pointer positions as fractions of the shown picture, the position read-outs, and where the
// patch outline lies on the shown picture. Plain values, no drawing.
//
// Box and picture coordinates are pixels, x the column and y the row from the top-left corner
// the picture is drawn from. Rounding is half to even.
#pragma once

#include <string>

#include "whitebalance/WBPatch.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

// AnchoMostrado x AltoMostrado: the size of the displayed picture in pixels.
struct ShownSize {
    int AnchoMostrado;
    int AltoMostrado;
};

// The size an iw x ih image is shown at in a pw x ph box: as large as fits without distortion.
// A picture relatively wider than the box takes the box's width (height Round(pw / r)), any
// other its height (width Round(ph * r)), r = iw / ih. No side is ever below 1 pixel.
// 3000 x 2000 in 588 x 390 -> 585 x 390; 2000 x 3000 -> 260 x 390.
ShownSize FittedSize(int iw, int ih, int pw, int ph);

// A pointer position as a fraction of the displayed width (height): 0 at or left of the picture,
// x / AnchoMostrado inside it, 1 at or beyond its right edge. The fraction is computed and held
// in single precision (returned widened), so every caller sees the same value for one pixel.
double CorrectX(double x, int AnchoMostrado);
double CorrectY(double y, int AltoMostrado);

// The pointer read-out while no patch is dragged: "(a%, b%)" with a = Round(1000 fx) / 10 and
// b likewise (percent with one decimal, the locale's decimal separator). The fractions are
// single-precision values as CorrectX gives them and are scaled in single precision.
std::string PositionReadOut(double fx, double fy);

// The read-out while a patch is dragged: "(a%, b%) -> (c%, d%)" for the first and the second
// point of the patch (held in double precision, scaled in double precision).
std::string DragReadOut(const WBPatch& patch);

// The outline of the patch on the displayed picture (Wd x Hd pixels), as DibujarPatch draws it.
// Square: the rectangle left, top, width, height (width and height count pixels, the outline
// covers left .. left + width - 1); a second point at exactly 1 drops the extra pixel so an
// outline dragged to the right or bottom edge stays inside. Round: the circle of `radius` around
// the centre. Both: the centre (cx, cy) where the cross of 4 pixels each side is drawn.
struct PatchOutline {
    bool square;
    int left;
    int top;
    int width;
    int height;
    int radius;
    int cx;
    int cy;
};
PatchOutline PatchOutlineOn(const WBPatch& patch, int Wd, int Hd);

// The note under a picture from a headroom development, which is shown darker than the normal
// development by the scale's factor F: "Headroom: shown 1.44 times darker (-0.53 EV)", two
// decimals in the locale's separator; "" for a normal development.
std::string HeadroomNote(const DevelopScale& scale);

// Outline colour and the half length of the centre cross, in pixels.
inline constexpr int kOutlineRed = 255;
inline constexpr int kOutlineGreen = 20;
inline constexpr int kOutlineBlue = 20;
inline constexpr int kCrossArm = 4;

}  // namespace brimsal
