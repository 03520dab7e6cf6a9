// The development settings ("RAW development", "White balance", "DCRAW command line") as one
// value, and the clean-ups the window applies to them. Pure functions: the window, brimsal-cli and
// the tests all go through them.
#pragma once

#include <string>

#include "develop/DevelopTables.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

// ---- Development settings (read by the dcraw argument list) ----

struct DevelopSettings {
    WhiteBalanceSettings wb;     // optWB, cmbWB, txtWB (start: Daylight preset)
    std::string txtSat;          // saturation level for -S, digits only; "" = dcraw's own
    int cmbSat = 0;              // kSaturationRows row (0 "DCRAW value")
    int quality = kDemosaicAHD;  // cmbQuality row = dcraw's -q value
    int profile = kProfileSRGB;  // cmbProfile row = dcraw's -o value
    std::string txtDCRAW;        // the user's extra dcraw options, cleaned up
    bool hlRecovery = false;     // chkHLRecovery
    bool headroom = false;       // headroom development: dcraw's -H 1 on every development
};

// Headroom applies only where the multipliers are known beforehand: not in Camera mode, where the
// development stays the normal one.
bool HeadroomActive(const DevelopSettings& settings);
// How the development scales the frames: HeadroomScale of the white balance when headroom is
// active (which throws for a multiplier that is not a positive number), the normal scale
// otherwise.
DevelopScale DevelopScaleOf(const DevelopSettings& settings);

// txtSat on every change: every character other than "0".."9" removed.
std::string FilterTxtSat(const std::string& text);
// txtSat on leaving: a text that is not a number (the empty text too) becomes ""; a number
// becomes itself rounded half to even to a whole number.
std::string CleanTxtSat(const std::string& text);
// Leaving txtSat: the clean-up, then cmbSat switches to row 1 ("User value").
void LeaveTxtSat(DevelopSettings& settings);
// cmbSat click: row 0 empties txtSat, row 1 leaves it, rows 2..6 put the camera's level.
// Rows outside 0..6 change nothing.
void ChooseSaturationRow(DevelopSettings& settings, int row);

// txtDCRAW on leaving: every run of blanks becomes one blank; no blanks at either end.
std::string CleanTxtDCRAW(const std::string& text);

// cmbProfile click: stores the row and returns the output gamma x 10 it ties to (ProPhoto 18,
// CIE XYZ 10, every other row 22).
int ChooseProfile(DevelopSettings& settings, int row);

// The warning the first click of chkHLRecovery shows (once per run, either direction).
inline constexpr const char* kHLRecoveryWarning =
    "Highlight recovery activated. This option will preserve ALL the highlights "
    "information from the RAW files and as a consequence it will produce a bit darker image. "
    "Use together with output ETTR recommended\n\n"
    "(This message will not pop up again during this session)";

}  // namespace brimsal
