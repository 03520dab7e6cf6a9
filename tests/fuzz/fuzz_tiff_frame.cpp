// The frame reader on arbitrary bytes: a frame or an ImageError naming the file, nothing else.
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "image/TiffIO.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const brimsal::Frame frame = brimsal::ReadTiff(brimsal::fuzz::AsFile(data, size));
        if (frame.pixels.size() != static_cast<size_t>(frame.width) * frame.height * 3) {
            __builtin_trap();
        }
    } catch (const brimsal::ImageError&) {
    }
    return 0;
}
