// A bracketed series of the synthetic scene: one DNG per frame, exposure times 2^(EV step)
// apart from the darkest (Sensor.h), named by a shuffled index so that name order is not
// exposure order, and the scene's radiance as a float TIFF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Scene.h"
#include "Sensor.h"

namespace brimsal::synth {

struct SeriesSettings {
    std::string folder = ".";
    int width = 1200;      // even, kMinSide..kMaxSide
    int height = 800;      // even, kMinSide..kMaxSide
    int frames = 5;        // 1..kMaxFrames
    double ev_step = 2.0;  // EV between neighbouring exposures, > 0, span <= kMaxSpanEv
    uint64_t seed = 1;     // texture and noise
    std::string base_name = "synth";
    bool radiance = true;  // also write <base>_radiance.tif
    SceneStyle style = SceneStyle::kStandard;
    Camera camera = Camera::kDiagonal;
    int threads = 0;  // 0 = all cores
};

inline constexpr int kMinSide = 64;
inline constexpr int kMaxSide = 20000;
inline constexpr int kMaxFrames = 10;
// Longest series: 20 EV from the darkest frame (1/1024 s) to the brightest (1024 s).
inline constexpr double kMaxSpanEv = 20.0;

struct WrittenFrame {
    std::string path;
    int rank = 0;                // 0 = darkest
    double exposure_time = 0;    // seconds
    double exposure_factor = 1;  // exposure time over the darkest frame's
};

struct SeriesResult {
    std::vector<WrittenFrame> frames;  // in exposure order, darkest first
    std::string radiance_path;         // empty when not written
};

// The name index (1-based) of each exposure rank: a permutation from the seed that is neither
// the exposure order nor (from 3 frames on) its reverse.
std::vector<int> ShuffledNameIndices(int frames, uint64_t seed);

// The frame file name of a name index: <base>_<two digits>.dng.
std::string FrameFileName(const std::string& base_name, int name_index);

// Checks the settings; the message names what is wrong, "" when they are usable.
std::string CheckSettings(const SeriesSettings& settings);

// Writes the series. Throws std::invalid_argument for unusable settings and
// std::runtime_error naming the file when one cannot be written; no partial file is left.
SeriesResult WriteSeries(const SeriesSettings& settings);

}  // namespace brimsal::synth
