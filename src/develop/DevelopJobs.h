// The development jobs: the quick development of the reference (for display, or neutral for
// the white-balance patch), the batch development of the RAW set, and the highlight-recovery
// development of the darkest frame.
//
// A job deletes the TIFFs it is about to produce, runs dcraw (DcrawProcess) and waits for the
// processes to end; completion is the process's end, then its TIFF checked. A failed run (dcraw
// not started, non-zero exit, crash, no TIFF) is reported: the log line "Error developing " +
// file + " (" + what went wrong + ")" + [": " + dcraw's last error line], "DONE", and an error
// box; the job ends. A cancelled job kills its processes, removes their partial TIFFs and throws
// Cancelled. Unexpected errors give the report naming the job.
//
// The jobs block the calling thread (see DcrawProcess.h): the window runs them off its own
// thread. What the window does afterwards (display, buttons) comes back as a value.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "develop/DevelopSettings.h"

namespace brimsal {

class UserChannel;

// What a finished job lets the window do next.
struct DevelopResult {
    bool finished = false;         // the job ran to its end with every TIFF written
    std::string tiff;              // quick development: the TIFF to display
    int NumArchivosRevelar = 0;    // batch: RAW files handed to dcraw
    bool enable_ev = false;        // cmdEV may be enabled (batch of 2 or more files)
    bool show_quick_line = false;  // lblDCRAW shows the quick line again (done here)
    bool hl_pending = false;       // batch with highlight recovery: the darkest frame next
};

// ReveladoRapido: quick half-size development of `raw_path`, neutral (unity multipliers, raw
// colour) when `neutro`. Log: "Quick developing " + name + "..." (fresh log); when neutral, at
// the end name + " neutral developed" and "DONE". The display development shows its line in
// lblDCRAW; after the TIFF is on display the window calls QuickShown. dcraw missing: the
// error box only. RAW file missing: name + " not found." and "DONE" appended.
DevelopResult ReveladoRapido(const std::string& raw_path, bool neutro,
                             const DevelopSettings& settings, UserChannel& channel);

// The end of a quick development for display, once the TIFF is shown: name + " developed and
// displayed", "DONE", beep. The window then sets ImagenMostrada and enables cmdDevelop and
// cmdCopyClipBoard.
void QuickShown(const std::string& raw_path, UserChannel& channel);

// Revelado: develops every RAW file of `raw_files` (names in the folder of the reference
// `ruta`), one dcraw per file, `threads` at once (0: one per core; see RunDcraw). Files
// missing on disk are skipped ("file " + name + " not found. Skipped") and leave `raw_files`,
// which ends holding the files handed to dcraw, so an old TIFF of a skipped file never joins the
// set; none left gives "Not files to develop", "DONE" and a beep. With settings.hlRecovery the
// batch ends with "Waiting to save last TIFF...", "\nDONE" and hl_pending set: the caller loads
// and sorts the set to find the darkest frame and calls ReveladoHLRecovery. `tiff_ready`, when
// given, receives each TIFF's path as soon as its dcraw run has ended well.
DevelopResult Revelado(const std::string& ruta, std::vector<std::string>& raw_files, int threads,
                       const DevelopSettings& settings, UserChannel& channel,
                       const std::function<void(const std::string&)>& tiff_ready = {});

// ReveladoHLRecovery: develops the darkest frame's RAW file (the name of its TIFF `darkest_tiff`
// with the RAW set's extension; `ruta` and `raw_files` are the set's) again with "-H 2",
// replacing its TIFF. `developed_count` is the batch's NumArchivosRevelar (cmdEV is enabled when it
// is 2 or more).
DevelopResult ReveladoHLRecovery(const std::string& darkest_tiff, const std::string& ruta,
                                 const std::vector<std::string>& raw_files,
                                 const DevelopSettings& settings, int developed_count,
                                 UserChannel& channel);

}  // namespace brimsal
