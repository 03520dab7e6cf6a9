// The steps of brimsal-cli's road, one function each. Each returns true when the run may go on;
// on false the step has already told the user why (log, error box or report).
#pragma once

#include "app/Misc.h"
#include "app/Session.h"
#include "cli/CliOptions.h"

namespace brimsal::cli {

// Lists the RAW set of the reference (LeerArchivosRAW).
bool StepListing(const CliOptions& options, Session& session, UserChannel& channel);
// Develops the RAW set with dcraw (batch, then highlight recovery with --hl).
bool StepDevelop(const CliOptions& options, Session& session, UserChannel& channel);
// Calc EV: loads and sorts the TIFF set, then measures the relative exposures.
bool StepEv(const CliOptions& options, Session& session, UserChannel& channel);
// Build map (skipped when --map names a map).
bool StepMap(const CliOptions& options, Session& session, UserChannel& channel);
// The blend, and the contact sheet with --contact-sheet.
bool StepBlend(const CliOptions& options, Session& session, UserChannel& channel);

}  // namespace brimsal::cli
