// PNG files written row by row, for pictures too large to hold whole beside the frames (the map,
// the progressive map). The bytes are those Picture::SaveToFile writes for the same picture:
// the same libpng and zlib settings, the resolution a new picture carries, the same text
// chunks; only the whole picture is never in memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace brimsal {

struct NewFileName;

enum class PngColour { kGrey, kRgb };  // 1 byte per pixel (level), or 3 (R, G, B)

struct PngRowsHeader {
    int width = 0;
    int height = 0;
    PngColour colour = PngColour::kGrey;
    int dots_per_meter_x = 0;  // the pHYs chunk; none when both are 0
    int dots_per_meter_y = 0;
    std::map<std::string, std::string> texts;  // text chunks ("key", "value"), ASCII
};

// The header of a new picture of width x height: the resolution a new picture carries now (it
// depends on the screen, when there is one), no text.
PngRowsHeader NewPngHeader(int width, int height, PngColour colour);

// Fills `row` (width or 3 width bytes) with row `y`; rows are asked for in order, 0 first.
using PngRowSource = std::function<void(int y, uint8_t* row)>;

// Writes the picture under a temporary name and puts it in place without replacing any file,
// as Picture::SaveToFile(NewFileName&) does (`target` names the file written). Once `abandon`
// is set the writing stops at the next row. Throws PictureError naming the file; a failure to
// write leaves no file, a complete file that cannot be placed is kept where the error says.
void SavePngByRows(const PngRowsHeader& header, const PngRowSource& rows, NewFileName& target,
                   const std::atomic<bool>* abandon = nullptr);

}  // namespace brimsal
