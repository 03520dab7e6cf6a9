#include "window/Display.h"
#include "base/NumberText.h"
#include "whitebalance/WBPatch.h"

#include <algorithm>
#include <cmath>

namespace brimsal {

namespace {

int RoundToInt(double value) {
    return static_cast<int>(RoundHalfEven(value));
}

float Fraction(double position, int size) {
    const float p = static_cast<float>(position);
    if (p <= 0.0f) {
        return 0.0f;
    }
    if (p < static_cast<float>(size)) {
        return p / static_cast<float>(size);
    }
    return 1.0f;
}

std::string Percent(double per_thousand) {
    return NumberText(RoundHalfEven(per_thousand) / 10);
}

}  // namespace

ShownSize FittedSize(int iw, int ih, int pw, int ph) {
    const double r = static_cast<double>(iw) / ih;
    ShownSize size{};
    if (static_cast<double>(pw) / ph < r) {
        size = {pw, RoundToInt(pw / r)};
    } else {
        size = {RoundToInt(ph * r), ph};
    }
    // A picture far wider (or taller) than the box would round one side to nothing.
    size.AnchoMostrado = std::max(size.AnchoMostrado, 1);
    size.AltoMostrado = std::max(size.AltoMostrado, 1);
    return size;
}

double CorrectX(double x, int AnchoMostrado) {
    return Fraction(x, AnchoMostrado);
}

double CorrectY(double y, int AltoMostrado) {
    return Fraction(y, AltoMostrado);
}

std::string PositionReadOut(double fx, double fy) {
    const float a = 1000.0f * static_cast<float>(fx);
    const float b = 1000.0f * static_cast<float>(fy);
    // Appended piece by piece: "(" + std::string makes GCC 12 warn falsely (-Wrestrict).
    std::string text = "(";
    text += Percent(a);
    text += "%, ";
    text += Percent(b);
    text += "%)";
    return text;
}

std::string DragReadOut(const WBPatch& patch) {
    std::string text = "(";
    text += Percent(1000 * patch.ParcheX1);
    text += "%, ";
    text += Percent(1000 * patch.ParcheY1);
    text += "%) -> (";
    text += Percent(1000 * patch.ParcheX2);
    text += "%, ";
    text += Percent(1000 * patch.ParcheY2);
    text += "%)";
    return text;
}

PatchOutline PatchOutlineOn(const WBPatch& patch, int Wd, int Hd) {
    const double x1 = patch.ParcheX1;
    const double y1 = patch.ParcheY1;
    const double x2 = patch.ParcheX2;
    const double y2 = patch.ParcheY2;
    PatchOutline outline{};
    outline.square = patch.ParcheCuadrado;
    if (patch.ParcheCuadrado) {
        outline.cx = RoundToInt(Wd * (x1 + x2) / 2);
        outline.cy = RoundToInt(Hd * (y1 + y2) / 2);
        outline.left = RoundToInt(Wd * MinDbl(x1, x2));
        outline.top = RoundToInt(Hd * MinDbl(y1, y2));
        outline.width = RoundToInt(std::fabs(x1 - x2) * Wd) + (x2 == 1 ? 0 : 1);
        outline.height = RoundToInt(std::fabs(y1 - y2) * Hd) + (y2 == 1 ? 0 : 1);
    } else {
        outline.cx = RoundToInt(Wd * x1);
        outline.cy = RoundToInt(Hd * y1);
        const double dy = (y1 - y2) * Hd;
        const double dx = (x1 - x2) * Wd;
        outline.radius = RoundToInt(std::sqrt(dy * dy + dx * dx));
    }
    return outline;
}

std::string HeadroomNote(const DevelopScale& scale) {
    if (!scale.headroom) {
        return "";
    }
    const auto twoDecimals = [](double value) {
        return NumberText(RoundHalfEven(value * 100) / 100);
    };
    return "Headroom: shown " + twoDecimals(scale.factor) + " times darker (-" +
           twoDecimals(std::log2(scale.factor)) + " EV)";
}

}  // namespace brimsal
