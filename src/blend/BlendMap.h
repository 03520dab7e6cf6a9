// Reading the blending map as the blend and the contact sheet do: the size check, the level
// table turned into frame choices, and the contribution report.
//
// A map level L stands for the frame index m = IndicePorNivel(L), 1..N: a whole m is a genuine
// pixel of frame m, a fractional m a transition mixing frames k = Int(m) and k + 1 with weights
// 1 - f and f, f = m - k taken in float.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/UserChannel.h"
#include "maps/MapState.h"

namespace brimsal {

class Picture;
class UserChannel;

// One map level as the blend reads it.
struct LevelEntry {
    float m = 0;         // IndicePorNivel(L)
    int k = 0;           // Int(m): the (darker-side) frame, 1-based
    float f = 0;         // m - k in float; 0 for a genuine level
    bool whole = false;  // m is whole
    bool valid = false;  // 1 <= m <= N (a table built for a larger set gives levels outside)
};

using LevelTable = std::array<LevelEntry, 256>;

// Decodes every level of `index_by_level` for a set of `n` frames.
LevelTable DecodeLevels(const std::array<float, 256>& index_by_level, int n);

// How many pixels carry each level. Counts are integers, so the thread count cannot change them.
using LevelHistogram = std::array<int64_t, 256>;
LevelHistogram CountLevels(const uint8_t* levels, int64_t count, int threads = 0);

// What each frame supplies: Contribuciones (1..N, stored 0-based) counts fractional pixels by
// their weights; PixelesProgresivos counts the transition pixels.
struct MapContribution {
    std::vector<double> Contribuciones;
    int64_t PixelesProgresivos = 0;
};

// The contributions of a map with this level histogram. Throws RunTimeError 9 when a level that
// occurs in the map stands for an index outside 1..N.
//
// The sum is exact whatever its order: every weight 1 - f or f is a multiple of 2^-23 (m >= 1
// has a float ulp of at least 2^-23 and m - k is exact), the counts stay below 2^28, so every
// product and partial sum fits the 53 bits of a double. Summing per level therefore gives the
// same doubles, bit for bit, as adding pixel by pixel in any scan order.
MapContribution ComputeContributions(const LevelHistogram& histogram, const LevelTable& table,
                                     int n);

// The report lines: for each frame NombreArchivo(file) + ": " + P + "%", with
// P = Round(C / total x 1000) / 10, then G + "% genuine pixels" with
// G = Round((1 - progresivos / total) x 1000) / 10; numbers in the locale's form.
void RecordContributions(const MapContribution& contribution, int64_t total,
                         const std::vector<std::string>& files, UserChannel& channel);

// Loads the map at `ruta` into `map` after checking its header, so that nothing is decoded
// for a map that cannot be used. A map of another size than W x H logs "Map dimensions
// mismatch" and "DONE", shows the box "Map dimensions do not match image dimensions" and
// returns false. A map whose recorded frame count is not `n` (its levels would stand for other
// frames) logs "Map built for K images", "DONE", shows the box "The map was built for a set of
// K images; this set has N. Build the map again." and returns false; a map without the record
// (older, or edited elsewhere) is taken as it is. A missing or unreadable file throws
// (RunTimeError 53 or PictureError).
bool LoadCheckedMap(const std::string& ruta, int width, int height, int n, Picture& map,
                    UserChannel& channel);

// The levels (width * height, row-major) of the map the blend uses, state.map_path: the levels
// Build map kept (state.built) while that file is still the one it wrote, so nothing is
// decoded; else the file read by LoadCheckedMap (`map` then holds the picture). Checked,
// logged and thrown as LoadCheckedMap; null when the map does not fit the set.
std::shared_ptr<const std::vector<uint8_t>> MapLevels(const MapState& state, int width, int height,
                                                      int n, Picture& map, UserChannel& channel);

}  // namespace brimsal
