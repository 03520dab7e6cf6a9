// The dcraw command lines: the common part built from the development settings, the full
// argument list of each job, the line shown to the user, and finding dcraw.
//
// Arguments go to dcraw as a list, never through a shell, so a path with a blank stays one
// argument and there is no length limit beyond the system's own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/UserChannel.h"
#include "develop/DevelopSettings.h"

namespace brimsal {

class UserChannel;

// The program looked up on PATH.
inline constexpr const char* kDcrawProgram = "dcraw";

// ComandoDCRAW: the common part of every job's list, in this order:
//   -v -4 -T                      verbose, linear 16-bit, TIFF
//   -r 1 1 1 1 (neutro) | -w (Camera mode) | -r R G B G (txtWB, "," -> ".")
//   -H 1                          headroom development (HeadroomActive)
//   -S txtSat                     when txtSat is not empty
//   -q quality
//   -o 0 (neutro) | -o profile
//   -t 0 -h                       when rapido (no rotation, half size)
//   txtDCRAW split on blanks      last, unchecked
// `rapido` asks for the quick half-size development used for display; `neutro` for unity white
// balance and raw colour, used to measure white balance on a patch.
std::vector<std::string> ComandoDCRAW(const DevelopSettings& settings, bool rapido, bool neutro);

// Quick development (display or neutral): the common part (rapido) + the RAW path.
std::vector<std::string> QuickArguments(const DevelopSettings& settings, bool neutro,
                                        const std::string& raw_path);
// Batch development: the common part + every RAW path in list order. The batch runs one dcraw
// per file, each with a one-path list; a list of several paths is what one dcraw run over all
// files takes.
std::vector<std::string> BatchArguments(const DevelopSettings& settings,
                                        const std::vector<std::string>& raw_paths);
// Highlight recovery: the common part + "-H" "2" + the RAW path of the darkest frame.
std::vector<std::string> HighlightRecoveryArguments(const DevelopSettings& settings,
                                                    const std::string& raw_path);

// The line shown to the user: program and arguments joined with blanks; an element that
// contains a blank is written in double quotes.
std::string DcrawLine(const std::string& program, const std::vector<std::string>& arguments);

// The quick-development line shown in lblDCRAW: dcraw's path (or "dcraw" when it is not on
// PATH) + ComandoDCRAW(rapido, neutro); `neutro` gives the line of the neutral development the
// WB patch is measured on.
std::string QuickLine(const DevelopSettings& settings, bool neutro = false);

// ReaccionCambioRevelado: what a change of a development setting makes the window do. The
// quick line is composed (with dcraw's path, as shown) and compared with the one shown: when it
// is the same nothing happens; otherwise the new line is shown, the later steps are disabled
// unless the caller skips that step (`disable_later_steps` false: txtDCRAW, txtWB, cmbWB, the
// patch drag), and the reference is quick-developed again when an image is on display.
struct DevelopReaction {
    bool changed = false;        // the line differs: show `line` in lblDCRAW
    bool disable = false;        // disable cmdDevelop, cmdEV, cmdBuildMap, cmdBlend,
                                 // cmdBlendBW and cmdTestBW
    bool develop_again = false;  // ReveladoRapido of txtRuta's file, not neutral
    std::string line;
};
DevelopReaction ReaccionCambioRevelado(const DevelopSettings& settings,
                                       const std::string& shown_line, bool disable_later_steps,
                                       bool shown_image);

// The TIFF dcraw writes for a RAW file: QuitarExtension(raw_path) + ".tiff".
std::string TiffPathOf(const std::string& raw_path);

// The PATH searched for dcraw (the environment's PATH, "" when unset).
std::string DcrawSearchPath();
// The first executable regular file named dcraw in the folders of `path` (":"-separated, empty
// entries skipped), or nullopt.
std::optional<std::string> FindDcraw(const std::string& path);
// ComprobarDCRAW: the error box "DCRAW not found in '" + path + "'".
void ComprobarDCRAW(UserChannel& channel, const std::string& path);
// dcraw's path, or, when it is not on PATH, ComprobarDCRAW and nullopt.
std::optional<std::string> LocateDcraw(UserChannel& channel);

}  // namespace brimsal
