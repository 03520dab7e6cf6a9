// The map reader on arbitrary bytes, as the blend reads a --map file for a 64 x 48 set of 3
// frames: the map's levels, a refusal, or a PictureError, nothing else.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"
#include "blend/BlendMap.h"
#include "image/Picture.h"
#include "support/RecorderChannel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr int kAncho = 64;
    constexpr int kAlto = 48;
    constexpr int kImagenes = 3;
    brimsal::SilentChannel channel;
    brimsal::Picture mapa;
    try {
        if (brimsal::CargarMapaComprobado(brimsal::fuzz::AsFile(data, size), kAncho, kAlto,
                                          kImagenes, mapa, channel)) {
            std::vector<uint8_t> niveles(static_cast<size_t>(kAncho) * kAlto);
            mapa.GetRedSamples(niveles.data());
        }
    } catch (const brimsal::PictureError&) {
    }
    return 0;
}
