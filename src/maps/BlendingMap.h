// GenerarMapa: the blending map of the loaded, exposure-sorted set.
//
// For every pixel the map names the brightest frame whose three channels are at or below their
// saturation thresholds (frame 1, the darkest, when none is; frame 1 is taken untested). The
// channels are the camera's: with a colour matrix that mixes them (a headroom development in an
// output profile) they are found through the matrix (CameraClip). The
// anti-ghosting pass (radius antighost + progressive) then gives each pixel the darkest frame
// within its disc, and the progressive pass (radius progressive) the level of the mean frame
// over its disc. The map is written as a grey PNG "Map_hhmmss.png" in the reference folder,
// W x H, upright, pixel level L standing for frame index IndicePorNivel[L]:
// level 0 = frame N (brightest), 255 = frame 1 (darkest); the PNG records N.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/UserChannel.h"
#include "image/PngRows.h"
#include "maps/CameraClip.h"
#include "maps/ExposureSet.h"
#include "maps/MapPasses.h"
#include "maps/MapSettings.h"
#include "maps/MapState.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

class UserChannel;

inline constexpr int kMinMapFrames = 2;
inline constexpr int kMaxMapFrames = 255;  // frame indices are held in bytes

// The level table of a map built for n frames (2..255): entry L = n + (1 - n) L / 255 as a
// float, except that each whole-frame level MapLevel(k, n) holds exactly k. Depends on n only.
// Throws RunTimeError (11 for n < 2, 6 for n > 255).
std::array<float, 256> BuildIndicePorNivel(int n);

// The header of the map PNG of an width x height set of n frames: grey levels, n recorded.
PngRowsHeader MapHeader(int width, int height, int n);

// The per-pixel frame index (1..N) by the saturation rule: the brightest frame whose pixel is
// within the thresholds (`usable`: the camera channels at or below the thresholds R, G, B).
// Rows in parallel; `threads` 0 = all cores.
MapPlane IndexMap(const ExposureSet& set, const CameraClip& usable, int threads = 0);

// A run of Build map: logs every step, writes the map next to `ruta` (the reference RAW path)
// without overwriting any file, and on success sets map.Umbrales, map.IndicePorNivel and
// map.map_path (the map's full path) and map.built (its levels, for the blend), then
// logs "DONE" and beeps; returns true.
// On an unexpected error (a set of fewer than 2 or more than 255 frames, frames of unequal size,
// a coefficient that is not a number, a file that cannot be written) shows the unexpected-error
// report naming "GenerarMapa" and returns false with map_path unchanged; IndicePorNivel is
// unchanged too unless the error came after the level table was built (a file not written).
// Cancelled (checked during the passes) is rethrown with no file written and `map` unchanged.
bool GenerarMapa(const std::string& ruta, const MapSettings& settings,
                 const WhiteBalanceSettings& wb, const ExposureSet& set, MapState& map,
                 UserChannel& channel, int threads = 0);

}  // namespace brimsal
