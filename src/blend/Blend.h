// FusionarImagenes: the blend of the sorted exposure set by the blending map into one or more
// linear 16-bit RGB TIFFs (LZW) in the folder of the reference RAW file.
//
// Every output pixel comes from the frame the map names for it (two neighbouring frames, mixed
// linearly, where the map holds a fractional index), scaled to the exposure of the darkest frame
// by FactoresExposicion (= ExpRelativas, raised by ETTR when asked), then through the output
// transform (B&W mix, gamma curve) and, for each bracketed output, its multiplier; rounded half
// to even and clamped at 65535.
//
// Log of a run: "Loading blending map...", "Image contribution...", one "name: P%" line per
// frame, "G% genuine pixels", "Saving PNG progressive map as <name>..." (only when some pixel is
// a transition), the ETTR lines, "\nBlending images...", "Building output file..." (or
// "files..." with several), per output "Bracketing b/n..." (only with several) and "Saving
// image as <name>", "DONE", then a beep.
//
// Files: the progressive map beside the map (its name + "_PB.png": genuine pixels red,
// transitions in the map's own colour) and the outputs; an existing file is never replaced,
// even one another run creates meanwhile (a counter goes before the extension and the log names
// the file written). Outputs are written strip by strip, all in one pass over the frames, and
// appear under their names only complete and all together: a failure leaves none of them. A
// progressive map that cannot be written is a warning, and the outputs are still written; a
// blend that fails or is cancelled removes the progressive map too.
//
// Memory: the frames, the map's levels (one byte per pixel) and a band of rows per output. The
// outputs never pass through Imagenes(1): the darkest frame stays in it, and is loaded again
// from TIFFMasOscuro only when it was released.
#pragma once

#include <string>

#include "base/UserChannel.h"
#include "blend/BlendSettings.h"
#include "maps/ExposureSet.h"
#include "maps/MapState.h"

namespace brimsal {

class UserChannel;

// Result of FusionarImagenes.
inline constexpr int kBlendDone = 1;
inline constexpr int kBlendFailed = -1;

// ruta: the reference RAW path (its folder receives the outputs). salida_bn: B&W output.
// set: the loaded, sorted exposure set with ExpRelativas (frame 1 may have been released).
// map: map_path (the map PNG) and IndicePorNivel (the level table of the last map built).
// Returns 1 when the outputs are written; -1 on a map of another size (log lines, error box,
// nothing written), on an unexpected error (the report names "FusionarImagenes"; a level
// outside 1..N is one, caught before anything is written) or on a failed save or reload (the
// report names the image library's operation). Cancelled propagates, leaving no output file.
int FusionarImagenes(const std::string& ruta, bool salida_bn, const BlendSettings& settings,
                     ExposureSet& set, const MapState& map, UserChannel& channel, int threads = 0);

}  // namespace brimsal
