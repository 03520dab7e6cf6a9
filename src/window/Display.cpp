#include "window/Display.h"
#include "base/NumberText.h"
#include "whitebalance/WBPatch.h"

#include <algorithm>
#include <cmath>

namespace brimsal {

namespace {

int RedondearEntero(double value) {
    return static_cast<int>(Redondear(value));
}

float Fraccion(double position, int size) {
    const float p = static_cast<float>(position);
    if (p <= 0.0f) {
        return 0.0f;
    }
    if (p < static_cast<float>(size)) {
        return p / static_cast<float>(size);
    }
    return 1.0f;
}

std::string Porcentaje(double per_thousand) {
    return TextoNumero(Redondear(per_thousand) / 10);
}

}  // namespace

TamanoMostrado CalcularTamanoMostrado(int iw, int ih, int pw, int ph) {
    const double r = static_cast<double>(iw) / ih;
    TamanoMostrado size{};
    if (static_cast<double>(pw) / ph < r) {
        size = {pw, RedondearEntero(pw / r)};
    } else {
        size = {RedondearEntero(ph * r), ph};
    }
    // A picture far wider (or taller) than the box would round one side to nothing.
    size.AnchoMostrado = std::max(size.AnchoMostrado, 1);
    size.AltoMostrado = std::max(size.AltoMostrado, 1);
    return size;
}

double CorrectX(double x, int AnchoMostrado) {
    return Fraccion(x, AnchoMostrado);
}

double CorrectY(double y, int AltoMostrado) {
    return Fraccion(y, AltoMostrado);
}

std::string TextoPosicion(double fx, double fy) {
    const float a = 1000.0f * static_cast<float>(fx);
    const float b = 1000.0f * static_cast<float>(fy);
    // Appended piece by piece: "(" + std::string makes GCC 12 warn falsely (-Wrestrict).
    std::string text = "(";
    text += Porcentaje(a);
    text += "%, ";
    text += Porcentaje(b);
    text += "%)";
    return text;
}

std::string TextoArrastre(const ParcheWB& parche) {
    std::string text = "(";
    text += Porcentaje(1000 * parche.ParcheX1);
    text += "%, ";
    text += Porcentaje(1000 * parche.ParcheY1);
    text += "%) -> (";
    text += Porcentaje(1000 * parche.ParcheX2);
    text += "%, ";
    text += Porcentaje(1000 * parche.ParcheY2);
    text += "%)";
    return text;
}

ContornoParche CalcularContornoParche(const ParcheWB& parche, int Wd, int Hd) {
    const double x1 = parche.ParcheX1;
    const double y1 = parche.ParcheY1;
    const double x2 = parche.ParcheX2;
    const double y2 = parche.ParcheY2;
    ContornoParche outline{};
    outline.cuadrado = parche.ParcheCuadrado;
    if (parche.ParcheCuadrado) {
        outline.cx = RedondearEntero(Wd * (x1 + x2) / 2);
        outline.cy = RedondearEntero(Hd * (y1 + y2) / 2);
        outline.left = RedondearEntero(Wd * MinDbl(x1, x2));
        outline.top = RedondearEntero(Hd * MinDbl(y1, y2));
        outline.width = RedondearEntero(std::fabs(x1 - x2) * Wd) + (x2 == 1 ? 0 : 1);
        outline.height = RedondearEntero(std::fabs(y1 - y2) * Hd) + (y2 == 1 ? 0 : 1);
    } else {
        outline.cx = RedondearEntero(Wd * x1);
        outline.cy = RedondearEntero(Hd * y1);
        const double dy = (y1 - y2) * Hd;
        const double dx = (x1 - x2) * Wd;
        outline.radio = RedondearEntero(std::sqrt(dy * dy + dx * dx));
    }
    return outline;
}

}  // namespace brimsal
