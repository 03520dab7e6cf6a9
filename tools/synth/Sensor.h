// The synthetic camera: a 16-bit Bayer RGGB sensor with per-channel sensitivity, photon shot
// noise, read noise, black level and clipping at the white level, and what dcraw makes of its
// samples.
//
// Units: scene radiance is linear and relative (the window of the scene is 1.0 in its brightest
// channel); a frame's exposure factor is its exposure time over the darkest frame's
// (1, 4, 16... for 2 EV steps). Raw samples are 16-bit data numbers (DN) including the black
// level.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace brimsal::synth {

inline constexpr int kBlackLevel = 1024;   // DN of no light
inline constexpr int kWhiteLevel = 61024;  // DN where the sensor clips: 60000 DN above black
inline constexpr double kElectronsPerDN = 1.0;
inline constexpr double kReadNoiseElectrons = 3.0;  // rms, Gaussian
// Electrons that radiance 1.0 frees in a green photosite of the darkest frame: half the well,
// so the window sits at half scale in frame 1 and clips from frame 2 on.
inline constexpr double kElectronsAtUnitRadiance = 30000.0;
// Exposure time of the darkest frame, seconds; the others are 2^(EV step x rank) times longer.
inline constexpr double kDarkestExposureTime = 1.0 / 1024.0;
inline constexpr double kFNumber = 8.0;
inline constexpr int kIsoSpeed = 100;

// Sensitivity of the red, green and blue photosites relative to green. They are the inverse of
// the Daylight preset's multipliers (red 2.132483, blue 1.480864), so a grey object develops
// grey under that preset and white balance visibly matters under any other.
inline constexpr std::array<double, 3> kSensitivity = {1.0 / 2.132483, 1.0, 1.0 / 1.480864};

// CFA colour of the photosite at (x, y): RGGB, 0 red, 1 green, 2 blue.
inline constexpr std::array<uint8_t, 4> kCfaPattern = {0, 1, 1, 2};  // row by row, 2 x 2
inline int BayerColour(int x, int y) {
    return kCfaPattern[(y & 1) * 2 + (x & 1)];
}

// How the photosites see the scene's colours, and the colour matrix the DNG declares for them.
//  kDiagonal: each photosite sees its own channel of the scene's radiance; the declared matrix
//             makes dcraw's camera-to-sRGB transform the identity (IdentityColorMatrix).
//  kMixing:   the colour matrix of a real camera, whose channels overlap as real filters do
//             (MixingColorMatrix); each photosite sees a mix of the scene's channels, the very mix
//             dcraw inverts for its sRGB output, so the radiance develops back exactly wherever
//             no channel clipped.
enum class Camera { kDiagonal, kMixing };

// The radiance a photosite of `colour` sees of the linear sRGB radiance `rgb` (never below 0).
double SeenRadiance(const float* rgb, int colour, Camera camera);

// Mean electrons that `radiance` (as the photosite sees it) frees in a photosite of `colour` at
// `exposure_factor`.
inline double MeanElectrons(double radiance, int colour, double exposure_factor) {
    return radiance * kElectronsAtUnitRadiance * kSensitivity[colour] * exposure_factor;
}

// One raw sample: a Poisson count of electrons plus read noise, to DN, black added, clipped to
// 0..kWhiteLevel. The randomness comes from `rng` (see Random.h).
template <typename Rng>
uint16_t ExposeSample(double mean_electrons, Rng& rng) {
    const double electrons = rng.Poisson(mean_electrons) + kReadNoiseElectrons * rng.Normal();
    const double dn = std::nearbyint(kBlackLevel + electrons / kElectronsPerDN);
    return static_cast<uint16_t>(dn < 0 ? 0 : dn > kWhiteLevel ? kWhiteLevel : dn);
}

// The level dcraw gives a channel (before demosaic, 0..65535 unclipped) for a mean of
// `raw_above_black` DN above black, developed with `dcraw -4 -r m0 m1 m2 m1`:
//   (raw - black) x (m_c / min(m)) x 65535 / (white - black).
// With the colour matrix of the DNG the camera-to-sRGB transform (-o 1) is the identity, so this
// is also the level of the developed TIFF in flat areas.
double DevelopedLevel(double raw_above_black, int colour, const std::array<double, 3>& multipliers);

// The developed level (frame-1 scale when exposure_factor is 1) of `radiance` in `colour`.
double DevelopedRadiance(double radiance, int colour, double exposure_factor,
                         const std::array<double, 3>& multipliers);

// Standard deviation of one developed sample of `colour` whose mean level is `level`, from shot
// and read noise (what one photosite scatters around its mean, in developed units).
double DevelopedNoise(double level, int colour, const std::array<double, 3>& multipliers);

// AsShotNeutral: the raw response to a neutral object, relative to green.
std::array<double, 3> AsShotNeutral();

// ColorMatrix1 (XYZ to camera, row-major) chosen so that dcraw's camera-to-sRGB matrix is the
// identity: the inverse of dcraw's own sRGB-to-XYZ (D65) matrix.
std::array<double, 9> IdentityColorMatrix();

// The D65 colour matrix (XYZ to camera, row-major) of the Canon EOS 350D, the camera whose
// multipliers the white-balance presets are, as Adobe's DNG Converter writes it for that model
// (ColorMatrix2 of its DNGs; the same numbers, times 10000, are in dcraw's adobe_coeff table).
std::array<double, 9> MixingColorMatrix();

// The colour matrix the DNG of `camera` declares.
std::array<double, 9> ColorMatrixOf(Camera camera);

// How the photosites of the mixing camera see linear sRGB radiance, row-major, each row summing
// to 1: dcraw's camera-to-sRGB transform before its inversion (MixingColorMatrix times dcraw's
// sRGB-to-XYZ matrix, each row divided by its sum).
std::array<double, 9> MixingResponse();

}  // namespace brimsal::synth
