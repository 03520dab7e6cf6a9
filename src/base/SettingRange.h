// The limits and start value of a setting moved by a scroll bar (or given as a whole-number
// option): one value per setting, read by the window, brimsal-cli and the steps alike.
#pragma once

namespace brimsal {

// Every scroll bar moves by 1.
struct RangoAjuste {
    int minimo;
    int maximo;
    int inicial;
    constexpr int Limitar(int value) const {
        return value < minimo ? minimo : value > maximo ? maximo : value;
    }
    constexpr bool Contiene(int value) const { return value >= minimo && value <= maximo; }
};

}  // namespace brimsal
