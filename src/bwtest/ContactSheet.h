// TestImagenesBN: the channel-mix contact sheet, a GIF of small B&W renderings of the blend, one
// per combination of red and blue weights, to help choose the weights of the B&W output.
//
// The map is sampled every 7th pixel in each direction (Wd = Int(W / 7), Hd = Int(H / 7)); each
// rendering mixes the frames as the blend does (ExpRelativas, no ETTR), weights the channels and
// applies the display gamma 1 / 2.2. The sheet is (11 Wd + 10) x (11 Hd + 10) pixels on black:
// cell (i, j) at ((Wd + 1) i, (Hd + 1) j) has red weight kMixWeights[i], blue kMixWeights[j],
// green the rest; only the 66 cells with j <= 10 - i (weights adding up to at most 100) are
// drawn, each with the white labels "R=..%", "G=..%" and "B=..%" at its top-left corner, 12
// pixels apart.
//
// Log: "Loading blending map...", "Decimating blending map to WdxHd...", "Decimated image
// contribution...", one "name: p%" line per frame, "q% genuine pixels", "\nGenerating B&W contact
// sheet...", "\nSaving B&W samples as BWTest_hhmmss.gif...", "DONE", then a beep. Progress per
// drawn cell. The sheet goes into the folder of the reference RAW path, never over an existing
// file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/UserChannel.h"
#include "maps/ExposureSet.h"
#include "maps/MapState.h"

namespace brimsal {

class UserChannel;

// The weight table in percent: 2k^2 for k = 0..5, 100 - 2(10 - k)^2 for k = 5..10.
inline constexpr std::array<int, 11> kMixWeights = {0, 2, 8, 18, 32, 50, 68, 82, 92, 98, 100};
inline constexpr int kDecimation = 7;
inline constexpr int kCellsPerSide = 11;

// Size of the sheet for a set of width x height pixels.
struct SheetSize {
    int cell_width = 0;   // Wd
    int cell_height = 0;  // Hd
    int width = 0;        // 11 Wd + 10
    int height = 0;       // 11 Hd + 10
};
SheetSize SheetSizeOf(int width, int height);

// The grey level (0..255) of one rendered pixel of mixed value s (on the 16-bit scale):
// nearest(255 x (s / 65535) ^ g) with g = 1 / 2.2 as a float; a value above 65535 (which only
// exposure factors above 1 can give) renders as 255.
int SheetGreyLevel(double s);

// ruta: the reference RAW path (its folder receives the sheet). Returns 1 when the sheet is
// saved; -1 on a map of another size (log lines, error box, nothing written) or an unexpected
// error (the report names "TestImagenesBN"). Frame 1 is loaded again from TIFFMasOscuro only
// when it was released. Cancelled propagates, leaving no file.
int TestImagenesBN(const std::string& ruta, ExposureSet& set, const MapState& map,
                   UserChannel& channel, int threads = 0);

}  // namespace brimsal
