// The blending map's state between Build map and the blend or the contact sheet: the level
// table, the thresholds, the map file the blend reads and, while that file is the one Build map
// wrote, its levels kept in memory.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/PngRows.h"
#include "maps/FramePreload.h"

namespace brimsal {

// The PNG text chunk in which a map records the number of frames it was built for.
inline constexpr const char* kMapFramesKey = "BrimsalFrames";

// The map Build map made last, kept so that the blend need not read its file back: it stands for
// the file `ruta` as long as that file is the one written (same stamp).
struct BuiltMap {
    PngRowsHeader header;                                // as the file was written
    int images = 0;                                      // the set's size it was built for
    std::shared_ptr<const std::vector<uint8_t>> levels;  // width * height levels, row-major
    std::string ruta;
    FileStamp stamp;
};

// The blending map's state between Build map and the blend or contact sheet.
struct MapState {
    std::array<float, 256> IndicePorNivel{};  // map level -> frame index (maybe fractional)
    std::array<int32_t, 3> Umbrales{};        // saturation thresholds R, G, B
    std::string map_path;                     // the map the blend reads (txtRutaMap)
    std::optional<BuiltMap> built;            // the last map built, while it is map_path
};

}  // namespace brimsal
