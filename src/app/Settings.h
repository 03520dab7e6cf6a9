// The settings model: every setting of the main window as a value, with its range and start
// value, and the clean-ups the window applies when a text box loses the focus. Pure functions:
// the window, brimsal-cli and the tests all go through them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/SettingsTables.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

// ---- Development settings (read by the dcraw argument list) ----

struct DevelopSettings {
    WhiteBalanceSettings wb;      // optWB, cmbWB, txtWB (start: Daylight preset)
    std::string txtSat;           // saturation level for -S, digits only; "" = dcraw's own
    int cmbSat = 0;               // kFilasSaturacion row (0 "DCRAW value")
    int quality = kDemosaicoAHD;  // cmbQuality row = dcraw's -q value
    int profile = kPerfilSRGB;    // cmbProfile row = dcraw's -o value
    std::string txtDCRAW;         // the user's extra dcraw options, cleaned up
    bool hlRecovery = false;      // chkHLRecovery
    bool headroom = false;        // headroom development: dcraw's -H 1 on every development
};

// Headroom applies only where the multipliers are known beforehand: not in Camera mode, where the
// development stays the normal one.
bool HeadroomActive(const DevelopSettings& settings);
// How the development scales the frames: HeadroomScale of the white balance when headroom is
// active (which throws for a multiplier that is not a positive number), the normal scale
// otherwise.
DevelopScale DevelopScaleOf(const DevelopSettings& settings);

// txtSat on every change: every character other than "0".."9" removed.
std::string FiltrarTxtSat(const std::string& text);
// txtSat on leaving: a text that is not a number (the empty text too) becomes ""; a number
// becomes itself rounded half to even to a whole number.
std::string LimpiarTxtSat(const std::string& text);
// Leaving txtSat: the clean-up, then cmbSat switches to row 1 ("User value").
void SalirDeTxtSat(DevelopSettings& settings);
// cmbSat click: row 0 empties txtSat, row 1 leaves it, rows 2..6 put the camera's level.
// Rows outside 0..6 change nothing.
void ElegirFilaSat(DevelopSettings& settings, int row);

// txtDCRAW on leaving: every run of blanks becomes one blank; no blanks at either end.
std::string LimpiarTxtDCRAW(const std::string& text);

// cmbProfile click: stores the row and returns the output gamma x 10 it ties to (ProPhoto 18,
// CIE XYZ 10, every other row 22).
int ElegirPerfil(DevelopSettings& settings, int row);

// The warning the first click of chkHLRecovery shows (once per run, either direction).
inline constexpr const char* kAvisoHLRecovery =
    "Highlight recovery activated. This option will preserve ALL the highlights "
    "information from the RAW files and as a consequence it will produce a bit darker image. "
    "Use together with output ETTR recommended\n\n"
    "(This message will not pop up again during this session)";

// ---- White balance ----

// The warning the first choice of the Camera mode shows (once per run).
inline constexpr const char* kAvisoWBCamara =
    "For proper results Brimsal requires all images to be processed using the same "
    "WB coefficients so if WB changes in any of the shots, e.g. because 'Auto WB' "
    "was used, this development option is not recommended\n\n"
    "(This message will not pop up again during this session)";

// AplicarPresetWB: writes red, "1" and blue of the preset row `wb.preset` into txtWB; a row
// outside 0..7 writes nothing.
void AplicarPresetWB(WhiteBalanceSettings& wb);
// cmbWB click: stores the row, applies the preset and selects the Preset mode.
void ElegirPresetWB(WhiteBalanceSettings& wb, int row);
// optWB click: selects `mode`; Preset writes the preset row's values again. Returns true when
// the Camera warning (kAvisoWBCamara) is due: the first Camera choice of the run, which sets
// `aviso_wb_mostrado` (AvisoWBMostrado).
bool ElegirModoWB(WhiteBalanceSettings& wb, WBMode mode, bool& aviso_wb_mostrado);
// txtWB click: clicking into a coefficient box selects the Coeffs mode; the values stay.
void ClicEnTxtWB(WhiteBalanceSettings& wb);

// The number a coefficient text holds: optional blanks, a sign, digits with one decimal point,
// decimal comma or `decimal_separator`, an optional exponent. nullopt for anything else, and for
// infinities.
std::optional<double> NumeroDeTexto(const std::string& text, std::string_view decimal_separator);
// The same with the current locale's decimal separator.
std::optional<double> NumeroDeTexto(const std::string& text);
// txtWB on leaving: a text that is not a number becomes "1"; a number becomes its plain text
// form (2.50 -> 2.5; 2,500 -> 2.5). There is no range check. Coefficient texts are held with a
// point, as dcraw reads them; only the boxes show the locale's separator.
std::string NormalizarTxtWB(const std::string& text);
// A held coefficient text as its box shows it: the point as the locale's decimal separator.
std::string CoefficientForDisplay(const std::string& text);
// What a box shows, held again: the locale's decimal separator as a point.
std::string CoefficientFromDisplay(const std::string& shown);

// ---- Processing settings ----

// The limits and start value of a scroll bar. Every scroll bar moves by 1.
struct RangoAjuste {
    int minimo;
    int maximo;
    int inicial;
    constexpr int Limitar(int value) const {
        return value < minimo ? minimo : value > maximo ? maximo : value;
    }
};

inline constexpr RangoAjuste kRangoTH{0, 99, 90};          // hscTH: map threshold, percent
inline constexpr RangoAjuste kRangoAntiGhost{0, 50, 0};    // hscAntiGhost: radius, pixels
inline constexpr RangoAjuste kRangoProgressive{0, 50, 3};  // hscProgressive: radius, pixels
inline constexpr RangoAjuste kRangoGamma{10, 30, 22};      // hscGamma: output gamma x 10
inline constexpr RangoAjuste kRangoBWR{0, 100, 33};        // hscBWR: B&W red weight, percent
inline constexpr RangoAjuste kRangoBWB{0, 100, 33};        // hscBWB: B&W blue weight, percent
inline constexpr RangoAjuste kRangoBracketNum{1, 7, 1};    // hscBracketNum: outputs
inline constexpr RangoAjuste kRangoBracketEV{1, 4, 2};     // hscBracketEV: EV step
inline constexpr RangoAjuste kRangoTemp{0, 100, 50};       // hscTemp: not read by processing
inline constexpr RangoAjuste kRangoTint{0, 100, 50};       // hscTint: not read by processing

// Start values of the processing switches and read-outs.
inline constexpr bool kETTRInicial = false;                         // chkETTR
inline constexpr char kMetodoEVInicial = 'M';                       // cmdEVMethod: "M" or "A"
inline constexpr const char* kTxtBracketInicial = "NO BRACKETING";  // txtBracket

}  // namespace brimsal
