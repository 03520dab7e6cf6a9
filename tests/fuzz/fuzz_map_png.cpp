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
    constexpr int kWidth = 64;
    constexpr int kHeight = 48;
    constexpr int kFrameCount = 3;
    brimsal::SilentChannel channel;
    brimsal::Picture map;
    try {
        if (brimsal::LoadCheckedMap(brimsal::fuzz::AsFile(data, size), kWidth, kHeight, kFrameCount,
                                    map, channel)) {
            std::vector<uint8_t> levels(static_cast<size_t>(kWidth) * kHeight);
            map.GetRedSamples(levels.data());
        }
    } catch (const brimsal::PictureError&) {
    }
    return 0;
}
