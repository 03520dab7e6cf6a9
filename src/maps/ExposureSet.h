// The exposure set: the developed TIFFs of the RAW set, loaded and sorted darkest first.
//
// Indices: the vectors are 0-based; entry [i - 1] is image i of the set (1 = darkest once
// sorted, N = brightest). N is Imagenes.size().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/Frame.h"

namespace brimsal {

class FramePreloader;
class UserChannel;

struct ExposureSet {
    std::vector<std::string> ArchivosTIFF;  // full path of each image's TIFF
    std::vector<Frame> Imagenes;            // the loaded frames, same order
    int AnchoImagen = 0;                    // width of the set (from image 1)
    int AltoImagen = 0;                     // height of the set (from image 1)
    bool TIFFsCargados = false;             // frames are loaded and must be released first
    std::string TIFFMasOscuro;              // path of the darkest image's TIFF
    std::vector<double> ExpRelativas;       // factor scaling image i to image 1 (Calc EV)
    // The sum of R + G + B of each loaded frame, measured while loading (same order as
    // Imagenes); empty when the frames were put in place otherwise.
    std::vector<uint64_t> rgb_sums;

    int N() const { return static_cast<int>(Imagenes.size()); }
    // Releases every frame's pixel data (the paths and sizes stay).
    void Release();
};

// CargarTIFFs: loads the TIFF beside each RAW file of `raw_files` (names without folder) in
// the folder of `ruta` (the reference RAW path), checking that all have one size.
// Returns the number loaded (>= 2 success; 0 or 1 too few, set released), or -1 on a size
// mismatch, an unreadable TIFF or an unexpected error (set released). Frames load in parallel;
// those `preloaded` holds (read while the development ran) are taken from it instead.
int CargarTIFFs(const std::string& ruta, const std::vector<std::string>& raw_files,
                ExposureSet& set, UserChannel& channel, int threads = 0,
                FramePreloader* preloaded = nullptr);

// OrdenarPorExposicion: measures each image's absolute exposure (sum of R + G + B), sorts the
// set darkest first (equal images end in reverse load order) and sets TIFFMasOscuro. With
// `recargar` true the set is left sorted and loaded; with false the frames are released and
// ArchivosTIFF stays in load order. Returns false after an unexpected error (reported).
bool OrdenarPorExposicion(bool recargar, ExposureSet& set, UserChannel& channel, int threads = 0);

}  // namespace brimsal
