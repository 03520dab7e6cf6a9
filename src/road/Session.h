// The session: the state that lives between steps, owned by the window or by brimsal-cli (no
// module globals). Steps take the parts they read and write as parameters.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image/ColourMatrix.h"
#include "maps/ExposureSet.h"
#include "maps/FramePreload.h"
#include "maps/MapState.h"
#include "whitebalance/WBPatch.h"

namespace brimsal {

struct Session {
    std::string Ruta;                      // reference RAW path (txtRuta)
    std::vector<std::string> ArchivosRAW;  // RAW set: names without folder, sorted by name
    ExposureSet set;                       // the exposure set
    MapState map;                          // the blending map
    int threads = 0;                       // worker threads for kernels; 0 = all cores
    WBPatch patch;                         // the WB patch last measured (Calc WB)
    // Frames read while the last development ran, for the next Calc EV to take; empty otherwise.
    std::shared_ptr<FramePreloader> preloaded;
    // The colour matrix last measured for a headroom development (MeasureOutputColours), and
    // the reference's quick dcraw line it was measured for.
    ColourMatrix colours = kIdentityColours;
    std::string colours_line;
};

}  // namespace brimsal
