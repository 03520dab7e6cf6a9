#include "Sensor.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "image/Frame.h"

namespace brimsal::synth {

namespace {

// dcraw's sRGB (D65) to XYZ matrix: it multiplies the DNG's XYZ-to-camera matrix by this and
// normalises the rows to find the camera-to-sRGB transform.
constexpr std::array<double, 9> kDcrawXyzFromSrgb = {0.412453, 0.357580, 0.180423,  //
                                                     0.212671, 0.715160, 0.072169,  //
                                                     0.019334, 0.119193, 0.950227};

// The Canon EOS 350D's D65 matrix times 10000, as Adobe's DNG Converter gives it.
constexpr std::array<double, 9> kCanon350dColorMatrix = {6018, -617,  -965, -8645, 15881,
                                                         2975, -1530, 1719, 7642};

double Scale(int colour, const std::array<double, 3>& multipliers) {
    const double smallest = std::min({multipliers[0], multipliers[1], multipliers[2]});
    return multipliers[colour] / smallest * kFullScale / (kWhiteLevel - kBlackLevel);
}

}  // namespace

double DevelopedLevel(double raw_above_black, int colour,
                      const std::array<double, 3>& multipliers) {
    return raw_above_black * Scale(colour, multipliers);
}

double DevelopedRadiance(double radiance, int colour, double exposure_factor,
                         const std::array<double, 3>& multipliers) {
    const double electrons = MeanElectrons(radiance, colour, exposure_factor);
    return DevelopedLevel(electrons / kElectronsPerDN, colour, multipliers);
}

double DevelopedNoise(double level, int colour, const std::array<double, 3>& multipliers) {
    const double scale = Scale(colour, multipliers);
    const double electrons = std::max(0.0, level / scale * kElectronsPerDN);
    // Shot noise variance equals the electron count; read noise adds; the DN rounding adds 1/12.
    const double variance_dn = (electrons + kReadNoiseElectrons * kReadNoiseElectrons) /
                                   (kElectronsPerDN * kElectronsPerDN) +
                               1.0 / 12.0;
    return std::sqrt(variance_dn) * scale;
}

std::array<double, 3> AsShotNeutral() {
    return {kSensitivity[0] / kSensitivity[1], 1.0, kSensitivity[2] / kSensitivity[1]};
}

std::array<double, 9> IdentityColorMatrix() {
    const auto& m = kDcrawXyzFromSrgb;
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    return {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
            (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
            (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
            (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
            (m[0] * m[4] - m[1] * m[3]) / det};
}

std::array<double, 9> MixingColorMatrix() {
    std::array<double, 9> matrix{};
    for (size_t i = 0; i < matrix.size(); ++i) {
        matrix[i] = kCanon350dColorMatrix[i] / 10000;
    }
    return matrix;
}

std::array<double, 9> ColorMatrixOf(Camera camera) {
    return camera == Camera::kMixing ? MixingColorMatrix() : IdentityColorMatrix();
}

std::array<double, 9> MixingResponse() {
    const std::array<double, 9> xyz_to_camera = MixingColorMatrix();
    const auto& srgb_to_xyz = kDcrawXyzFromSrgb;
    std::array<double, 9> response{};
    for (int row = 0; row < 3; ++row) {
        double sum = 0;
        for (int col = 0; col < 3; ++col) {
            double value = 0;
            for (int k = 0; k < 3; ++k) {
                value += xyz_to_camera[row * 3 + k] * srgb_to_xyz[k * 3 + col];
            }
            response[row * 3 + col] = value;
            sum += value;
        }
        for (int col = 0; col < 3; ++col) {
            response[row * 3 + col] /= sum;
        }
    }
    return response;
}

double SeenRadiance(const float* rgb, int colour, Camera camera) {
    if (camera == Camera::kDiagonal) {
        return rgb[colour];
    }
    static const std::array<double, 9> response = MixingResponse();
    const double* row = response.data() + colour * 3;
    return std::max(0.0, row[0] * rgb[0] + row[1] * rgb[1] + row[2] * rgb[2]);
}

}  // namespace brimsal::synth
