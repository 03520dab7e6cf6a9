// The per-pixel arithmetic of the blend: frame choice by map level, scaling by the exposure
// factors, the output transform (B&W mix, gamma curve) and the rounding of each bracketed
// output. Rows are independent, so any band of rows can be computed on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "blend/BlendMap.h"
#include "blend/Ettr.h"
#include "image/Frame.h"

namespace brimsal {

// The output transform applied to the blended values V_R, V_G, V_B of a pixel.
struct TransformacionSalida {
    bool salida_bn = false;      // B&W: L = PesoR V_R + PesoG V_G + PesoB V_B on all channels
    PesosMezcla pesos;           // the float weights of the mix
    float gamma_inversa = 1.0f;  // exactly 1: linear output, no curve
};

// The transform in place, in double precision: the mix (a value below 0, possible when PesoG is
// a hair below 0, becomes 0), then 65535 x (x / 65535) ^ GammaInversa unless GammaInversa is 1.
// Values above 65535 are not clipped here.
void AplicarTransformacion(const TransformacionSalida& transformacion, double valores[3]);

// One output word: the value rounded half to even, above 65535 written as 65535, never below 0.
uint16_t PalabraSalida(double valor);

// Everything one blend pass reads.
struct DatosFusion {
    int ancho = 0;
    int alto = 0;
    const uint8_t* niveles = nullptr;     // map levels, ancho x alto, row-major
    TablaNiveles tabla{};                 // every level that occurs must be valid
    std::vector<const Frame*> imagenes;   // frames 1..N (index 0 = frame 1), each ancho x alto
    std::vector<double> factores;         // FactoresExposicion (1..N)
    TransformacionSalida transformacion;  // B&W mix and gamma curve
    std::vector<double> factores_salida;  // FactorBracketing of each output (1 for the first)
    // Float outputs only: a pixel whose frame-1 words are all at or above these (the darkest
    // frame saturated in every channel) is made neutral, all three values nivel_neutro, before
    // the output transform. The default is above any word: no pixel.
    std::array<int, 3> saturacion_oscuro = {kSinSaturacion, kSinSaturacion, kSinSaturacion};
    double nivel_neutro = 0;
    static constexpr int kSinSaturacion = 65536;
};

// The blend of rows, all outputs at once.
//
// Genuine pixel of frame k: V = c x F(k). Transition between k and k + 1 with fraction f:
// V = c1 x F(k) x (1 - f) + c2 x F(k + 1) x f. Then the output transform; then, for each output
// b, out = PalabraSalida(value x FactorBracketing(b)).
class FusionPorFilas {
  public:
    explicit FusionPorFilas(DatosFusion datos);

    int ancho() const { return datos_.ancho; }
    int alto() const { return datos_.alto; }
    int salidas() const { return static_cast<int>(datos_.factores_salida.size()); }

    // Computes rows [y0, y1) into salidas[b] (one pointer per output, each pointing at the
    // place of row y0; rows follow each other without padding, ancho x 3 words each).
    void CalcularFilas(int y0, int y1, uint16_t* const* salidas) const;
    // The same rows as float samples: value x FactorBracketing(b) / 65535, not rounded, not
    // clamped; frame-1-saturated pixels neutral (DatosFusion::saturacion_oscuro).
    void CalcularFilas(int y0, int y1, float* const* salidas) const;

  private:
    template <typename Muestra>
    void Calcular(int y0, int y1, Muestra* const* salidas) const;

    DatosFusion datos_;
    // For colour output through a curve: the transformed value of every word c of frame k,
    // curva_[k - 1][c]; the same expression on the same inputs, computed once per word instead
    // of once per pixel. Empty when not used.
    std::vector<std::vector<double>> curva_;
};

}  // namespace brimsal
