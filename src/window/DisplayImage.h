// The picture shown for a developed reference TIFF. Safe to call from any thread (it touches no
// widget), so the window prepares the picture on its worker and only hands it to the view.
#pragma once

#include <QImage>
#include <string>

namespace brimsal {

// Loads the linear 16-bit TIFF `tiff`, shrinks (or enlarges) it to the size that fits a pw x ph
// box without distortion (FittedSize), averaging the linear values over each shown
// pixel's area, and only then applies the display gamma: 255 (v / 65535)^(1 / kDisplayGamma),
// rounded. Returns an 8-bit RGB picture of the fitted size. Throws ImageError when the TIFF cannot
// be read (a file dcraw has not finished writing, say); the caller keeps what it showed.
QImage PictureForDisplay(const std::string& tiff, int pw, int ph);

}  // namespace brimsal
