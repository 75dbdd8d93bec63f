// What the window tells of how the folding goes: the marks of the picture
// (the closure map or the strain map, and the faces passing through each
// other) and the
// figures of the Status rollout, for the sheet's present pattern. The sheet
// counts the steps and keeps the last one's figures; the figures of the
// present shape are worked out when a frame is about to be drawn and the
// shape changed since the last one, so that a held space bar on a large
// sheet pays for the collision check once per frame shown, not once per
// step. The degrees of freedom (sheet/sheet.h, oriSheetMobility) cost an
// analysis, seconds on a large sheet, so they are worked out less often:
// only while the Status rollout is open, only once the fold has stopped
// (no fold key held), and on sheets of more than kAppMobilityAutoCreases
// fold lines only when asked (the rollout's "Count" button). Free of
// OpenGL.
#pragma once

#include <string>

#include "render/marks.h"
#include "sim/compliant.h"
#include "sim/sim_step.h"

struct ORI_sheet;

// Sheets of up to this many fold lines have their degrees of freedom
// counted whenever the fold stops: an analysis of a 30 × 30 Miura-ori
// (2 640 fold lines triangulated) takes about 0.05 s, of a 50 × 50 one
// flat a second or more.
constexpr int kAppMobilityAutoCreases = 3000;

// Where the count of the degrees of freedom stands.
enum AppDofState {
  kAppDofNone = 0,     // no pattern, or not worked out yet
  kAppDofCounted = 1,  // dof and dof_flat hold the present shape's count
  kAppDofFolding = 2,  // the shape is changing: counted when the fold stops
  kAppDofAsk = 3,      // a large sheet: counted on "Count"
  kAppDofFailed = 4,   // the analysis failed (its reason was printed)
};

struct AppReadout {
  OriGLMarks marks;         // what the picture marks
  long steps = 0;           // fold steps taken on the model since it was opened or flattened
  bool stepped = false;     // the last-step figures below belong to a step
  ORISIM_stepStats last{};  // the solver's figures of the last step
  double last_ms = 0.0;     // its milliseconds (wall clock, placing the faces included)
  double progress = 0.0;    // fold progress, percent (oriFoldProgress)
  double residual = 0.0;    // closure residual Σ|g| of the present angles
  double worst = 0.0;       // largest vertex closure error, radians
  int worst_vertex = -1;    // its vertex index, -1 without inner vertices
  double farthest = 0.0;    // the fold line farthest from its target: radians to go
  long exact_kept = 0;      // steps of the pattern whose exact correction was kept back
  long exact_halvings = 0;  // exact substeps of the pattern taken again at half their size
  bool compliant = false;   // the last step was the compliant solver's (its figures below)
  ORISIM_compliantStats compliant_last{};  // the compliant solver's figures of the last step
  double strain = 0.0;      // largest |relative change of a line's length| of the present shape
  double bend = 0.0;        // largest bend of a facet (diagonal or flat line), radians
  long compliant_kept = 0;  // compliant steps that did not converge and kept the last shape (the sheet's life)
  bool contact = false;     // the sheet folds with contact
  int held = 0;             // with contact: pairs of faces the last step held apart
  bool locked = false;      // with contact: the last step could not move without faces passing through
  bool stale = true;        // the shape changed since the figures were worked out
  int dof_state = kAppDofNone;  // an AppDofState
  int dof = 0;                  // degrees of freedom of the present shape (kAppDofCounted)
  bool dof_flat = false;        // counted at the flat sheet: the first-order count
  bool dof_stale = true;        // the shape changed since the degrees of freedom were counted
};

extern AppReadout theReadout;

// A model was opened (or flattened): no steps, nothing worked out yet.
void appReadoutReset();

// The shape is about to change or changed: the next refresh works the
// figures out again.
void appReadoutChanged();

// Works out the figures and marks of the sheet's present shape when it
// changed since they last were, with the sheet's counts and last step;
// closure says whether the picture shows the closure map, strain the strain
// map (which takes its place when both are set). The vertices failing the
// flat-foldability checks are marked from the sheet's flat state (analysed
// once per pattern). Nothing without a pattern (sheet may be null). Returns
// true when the figures changed (the Status rollout is to show them again).
// Cost, when it works: O(creases + vertices) and the collision check,
// O(n log n) in the faces.
bool appReadoutRefresh(ORI_sheet* sheet, bool closure, bool strain);

// Counts the degrees of freedom of the sheet's present shape when it
// changed since they last were counted and the count is wanted: shown (the
// Status rollout is open) and not folding (no fold key held), and asked
// (the "Count" button) or the sheet has at most kAppMobilityAutoCreases
// fold lines; otherwise only notes what the count waits for. An analysis
// that fails prints its reason once through oriMessage. Returns true when
// the readout changed. Cost, when it counts: one mobility analysis.
bool appReadoutMobility(ORI_sheet* sheet, bool shown, bool folding, bool asked);

// The lines of the Status rollout, in order.
constexpr int kAppReadoutLines = 12;
void appReadoutLines(const AppReadout& r, std::string lines[kAppReadoutLines]);
