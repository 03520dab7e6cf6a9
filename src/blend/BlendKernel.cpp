#include "blend/BlendKernel.h"

#include <cmath>
#include <type_traits>
#include <utility>

#include "base/Parallel.h"
#include "base/UserChannel.h"

namespace brimsal {

namespace {

// Adding and subtracting 2^52 leaves a value in [0, 2^52) rounded to a whole number in the
// current rounding mode (to nearest, halves to even): std::nearbyint without the library call.
constexpr double kTwoToThe52 = 4503599627370496.0;
// Every value from here up rounds to above full scale and is written as full scale.
constexpr double kRoundingLimit = kFullScale + 0.5;
constexpr size_t kWords = kFullScale + 1;

double GammaCurve(double value, double gamma_inversa) {
    return kFullScale * std::pow(value / kFullScale, gamma_inversa);
}

}  // namespace

void ApplyOutputTransform(const OutputTransform& transform, double values[3]) {
    if (transform.salida_bn) {
        const double weight_r = transform.weights.r;
        const double weight_g = transform.weights.g;
        const double weight_b = transform.weights.b;
        double mix = weight_r * values[0] + weight_g * values[1] + weight_b * values[2];
        if (mix < 0.0) {
            mix = 0.0;
        }
        values[0] = values[1] = values[2] = mix;
    }
    if (transform.gamma_inversa != 1.0f) {
        const double gamma_inversa = transform.gamma_inversa;
        if (transform.salida_bn) {
            values[0] = values[1] = values[2] = GammaCurve(values[0], gamma_inversa);
        } else {
            for (int c = 0; c < 3; ++c) {
                values[c] = GammaCurve(values[c], gamma_inversa);
            }
        }
    }
}

uint16_t OutputWord(double value) {
    if (value >= kRoundingLimit) {
        return kFullScale;
    }
    if (!(value > 0.0)) {
        return 0;
    }
    const double rounded = (value + kTwoToThe52) - kTwoToThe52;
    return static_cast<uint16_t>(rounded);
}

RowBlender::RowBlender(BlendData data) : data_(std::move(data)) {
    const OutputTransform& transform = data_.transform;
    if (!transform.salida_bn && transform.gamma_inversa != 1.0f) {
        ClearUpperVectorState();  // the table is built on the caller's thread
        curves_.resize(data_.images.size());
        for (size_t k = 0; k < curves_.size(); ++k) {
            const double factor = data_.factors[k];
            std::vector<double>& table = curves_[k];
            table.resize(kWords);
            for (size_t c = 0; c < kWords; ++c) {
                double values[3] = {static_cast<double>(c) * factor, 0.0, 0.0};
                ApplyOutputTransform(transform, values);
                table[c] = values[0];
            }
        }
    }
}

void RowBlender::ComputeRows(int y0, int y1, uint16_t* const* outputs) const {
    Compute(y0, y1, outputs);
}

void RowBlender::ComputeRows(int y0, int y1, float* const* outputs) const {
    Compute(y0, y1, outputs);
}

template <typename Sample>
void RowBlender::Compute(int y0, int y1, Sample* const* outputs) const {
    constexpr bool kFloat = std::is_same_v<Sample, float>;
    const std::array<int, 3>& saturation = data_.darkest_saturation;
    const size_t frame_count = data_.images.size();
    const size_t output_count = data_.output_factors.size();
    const double* factors = data_.factors.data();
    const double* output_factors = data_.output_factors.data();
    const size_t row_samples = static_cast<size_t>(data_.width) * 3;
    std::vector<const uint16_t*> rows(frame_count);
    for (int y = y0; y < y1; ++y) {
        for (size_t i = 0; i < frame_count; ++i) {
            rows[i] = data_.images[i]->row(y);
        }
        const uint8_t* levels = data_.levels + static_cast<size_t>(y) * data_.width;
        const size_t offset = static_cast<size_t>(y - y0) * row_samples;
        for (int x = 0; x < data_.width; ++x) {
            const LevelEntry& level = data_.table[levels[x]];
            if (!level.valid) {
                throw RunTimeError(kErrSubscript, "Subscript out of range (map level " +
                                                      std::to_string(levels[x]) + ")");
            }
            const size_t p = static_cast<size_t>(x) * 3;
            const auto k = static_cast<size_t>(level.k - 1);
            double values[3];
            if (level.whole) {
                const uint16_t* c = rows[k] + p;
                if (!curves_.empty()) {
                    const double* curve = curves_[k].data();
                    for (int i = 0; i < 3; ++i) {
                        values[i] = curve[c[i]];
                    }
                } else {
                    const double factor = factors[k];
                    for (int i = 0; i < 3; ++i) {
                        values[i] = static_cast<double>(c[i]) * factor;
                    }
                    ApplyOutputTransform(data_.transform, values);
                }
            } else {
                const uint16_t* c1 = rows[k] + p;
                const uint16_t* c2 = rows[k + 1] + p;
                const double f = level.f;
                const double rest = 1.0 - f;
                const double factor1 = factors[k];
                const double factor2 = factors[k + 1];
                for (int i = 0; i < 3; ++i) {
                    values[i] = static_cast<double>(c1[i]) * factor1 * rest +
                                static_cast<double>(c2[i]) * factor2 * f;
                }
                ApplyOutputTransform(data_.transform, values);
            }
            if constexpr (kFloat) {
                // Where the darkest frame is saturated in every channel the channels stopped at
                // different heights: the pixel is neutral at the highest level that frame tells.
                const uint16_t* darkest = rows[0] + p;
                if (darkest[0] >= saturation[0] && darkest[1] >= saturation[1] &&
                    darkest[2] >= saturation[2]) {
                    values[0] = values[1] = values[2] = data_.neutral_level;
                    ApplyOutputTransform(data_.transform, values);
                }
                for (size_t b = 0; b < output_count; ++b) {
                    float* output = outputs[b] + offset + p;
                    const double multiplier = output_factors[b] / kFullScale;
                    for (int i = 0; i < 3; ++i) {
                        output[i] = static_cast<float>(values[i] * multiplier);
                    }
                }
            } else {
                for (size_t b = 0; b < output_count; ++b) {
                    uint16_t* output = outputs[b] + offset + p;
                    const double multiplier = output_factors[b];
                    for (int i = 0; i < 3; ++i) {
                        output[i] = OutputWord(values[i] * multiplier);
                    }
                }
            }
        }
    }
}

}  // namespace brimsal
