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
struct OutputTransform {
    bool salida_bn = false;      // B&W: L = PesoR V_R + PesoG V_G + PesoB V_B on all channels
    PesosMezcla weights;         // the float weights of the mix
    float gamma_inversa = 1.0f;  // exactly 1: linear output, no curve
};

// The transform in place, in double precision: the mix (a value below 0, possible when PesoG is
// a hair below 0, becomes 0), then 65535 x (x / 65535) ^ GammaInversa unless GammaInversa is 1.
// Values above 65535 are not clipped here.
void ApplyOutputTransform(const OutputTransform& transform, double values[3]);

// One output word: the value rounded half to even, above 65535 written as 65535, never below 0.
uint16_t OutputWord(double value);

// Everything one blend pass reads.
struct BlendData {
    int width = 0;
    int height = 0;
    const uint8_t* levels = nullptr;     // map levels, width x height, row-major
    LevelTable table{};                  // every level that occurs must be valid
    std::vector<const Frame*> images;    // frames 1..N (index 0 = frame 1), each width x height
    std::vector<double> factors;         // FactoresExposicion (1..N)
    OutputTransform transform;           // B&W mix and gamma curve
    std::vector<double> output_factors;  // FactorBracketing of each output (1 for the first)
    // Float outputs only: a pixel whose frame-1 words are all at or above these (the darkest
    // frame saturated in every camera channel: the development's clip colour, ClipColour) is
    // made neutral, all three values neutral_level, before the output transform. The default is
    // above any word: no pixel.
    std::array<int, 3> darkest_saturation = {kNoSaturation, kNoSaturation, kNoSaturation};
    double neutral_level = 0;
    static constexpr int kNoSaturation = 65536;
};

// The blend of rows, all outputs at once.
//
// Genuine pixel of frame k: V = c x F(k). Transition between k and k + 1 with fraction f:
// V = c1 x F(k) x (1 - f) + c2 x F(k + 1) x f. Then the output transform; then, for each output
// b, out = OutputWord(value x FactorBracketing(b)).
class RowBlender {
  public:
    explicit RowBlender(BlendData data);

    int width() const { return data_.width; }
    int height() const { return data_.height; }
    int outputs() const { return static_cast<int>(data_.output_factors.size()); }

    // Computes rows [y0, y1) into outputs[b] (one pointer per output, each pointing at the
    // place of row y0; rows follow each other without padding, width x 3 words each).
    void ComputeRows(int y0, int y1, uint16_t* const* outputs) const;
    // The same rows as float samples: value x FactorBracketing(b) / 65535, not rounded, not
    // clamped; frame-1-saturated pixels neutral (BlendData::darkest_saturation).
    void ComputeRows(int y0, int y1, float* const* outputs) const;

  private:
    template <typename Sample>
    void Compute(int y0, int y1, Sample* const* outputs) const;

    BlendData data_;
    // For colour output through a curve: the transformed value of every word c of frame k,
    // curves_[k - 1][c]; the same expression on the same inputs, computed once per word instead
    // of once per pixel. Empty when not used.
    std::vector<std::vector<double>> curves_;
};

}  // namespace brimsal
