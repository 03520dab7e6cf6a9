// The road: the sequencing of the steps, shared by the window and brimsal-cli so the two cannot
// drift. Each front end keeps one RoadSettings value (the window reads its controls into it when
// a step starts, brimsal-cli fills it from its options) and one Session; a Run... function fills
// the step's own settings from the road settings, runs the step against the session and says
// whether the road may go on. On false the step has already told the user why (log, box or
// report). A cancelled step throws Cancelled with the session as it was.
#pragma once

#include <string>

#include "develop/DevelopJobs.h"
#include "road/RoadSettings.h"
#include "road/Session.h"
#include "whitebalance/WBPatch.h"

namespace brimsal {

class UserChannel;

// The blend settings the road settings stand for: the profile's caption comes from the
// development profile (the outputs are named after the profile they were developed in).
BlendSettings BlendSettingsOf(const RoadSettings& settings);

// LeerArchivosRAW on session.Ruta into session.ArchivosRAW (session.Ruta may change to the tenth
// file when more than ten match).
bool RunListing(Session& session, UserChannel& channel);

// Every development (quick, batch, and the multipliers a patch measured) starts only with
// multipliers that can be developed with (MultiplierProblem); otherwise the error box says why,
// no dcraw runs and the step fails.

// The quick development of the reference for display (ReveladoRapido, not neutral). The
// caller shows the TIFF, then calls QuickShown.
DevelopResult RunQuickDevelop(const Session& session, const DevelopSettings& settings,
                              UserChannel& channel);

// The white balance measured on `patch`: the neutral quick development of the reference, then
// CalcularWBPatch. On success `settings.wb` holds the measured multipliers in the Patch mode,
// so every later step (development, map thresholds) reads them; on failure it is unchanged.
// When `shown_line` (the line lblDCRAW shows) is already the neutral quick line, the TIFF
// beside the reference is that development and is measured at once.
bool RunMeasurePatch(Session& session, const WBPatch& patch, DevelopSettings& settings,
                     UserChannel& channel, const std::string& shown_line = {});

// Calc WB in the window: RunMeasurePatch, then, unless it failed, the quick development with
// the measured multipliers, so the display shows the balanced image (the caller shows the TIFF
// and calls QuickShown). finished is false when either failed.
DevelopResult RunCalcWB(Session& session, const WBPatch& patch, DevelopSettings& settings,
                        const std::string& shown_line, UserChannel& channel);

// The batch development of the RAW set (Revelado, with highlight recovery when set). Without
// highlight recovery each TIFF is read as soon as its dcraw run ends, for the next Calc EV.
DevelopResult RunDevelop(Session& session, const DevelopSettings& settings, UserChannel& channel);

// Calc EV: CargarTIFFs (taking the frames read during the development), OrdenarPorExposicion
// (true), CalcularExpRelativas. True when the relative exposures are measured (Build map may
// follow).
// A headroom development (DevelopScaleOf settings.develop) reaches Calc EV's clip levels, the
// map's thresholds and the blend's factors: each step reads the development's scale; a
// multiplier that gives none ends the step with the unexpected-error report. Its colour matrix
// is measured on the reference the first time a step needs it (MeasureOutputColours, kept in
// the session for the same development line), so that each step judges clips on the camera's
// channels.
bool RunCalcEv(Session& session, const RoadSettings& settings, UserChannel& channel);

// Build map with the map settings and the white balance of the development (for the
// thresholds). Leaves the map's path in session.map.map_path.
bool RunBuildMap(Session& session, const RoadSettings& settings, UserChannel& channel);

// A map file chosen by the user instead of a built one: `file` (relative to the working folder
// when not absolute) must exist, else the error box "Map file '" + file + "' not found". With a
// loaded set of two or more frames the level table is that of the set's size, as a map built
// for the set would leave it. Sets session.map.map_path.
bool UseChosenMap(const std::string& file, Session& session, UserChannel& channel);

// The blend into the output TIFF(s), colour or B&W (`bw`).
bool RunBlend(Session& session, bool bw, const RoadSettings& settings, UserChannel& channel);

// The B&W channel-mix contact sheet of the current map.
bool RunContactSheet(Session& session, UserChannel& channel);

}  // namespace brimsal
