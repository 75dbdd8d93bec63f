// What the window tells of how the folding goes: the marks of the picture
// (the closure map and the faces passing through each other) and the
// figures of the Status rollout, for the sheet's present pattern. The sheet
// counts the steps and keeps the last one's figures; the figures of the
// present shape are worked out when a frame is about to be drawn and the
// shape changed since the last one, so that a held space bar on a large
// sheet pays for the collision check once per frame shown, not once per
// step. Free of OpenGL.
#pragma once

#include <string>

#include "render/marks.h"
#include "sim/sim_step.h"

struct ORI_sheet;

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
  bool contact = false;     // the sheet folds with contact
  int held = 0;             // with contact: pairs of faces the last step held apart
  bool locked = false;      // with contact: the last step could not move without faces passing through
  bool stale = true;        // the shape changed since the figures were worked out
};

extern AppReadout theReadout;

// A model was opened (or flattened): no steps, nothing worked out yet.
void appReadoutReset();

// The shape is about to change or changed: the next refresh works the
// figures out again.
void appReadoutChanged();

// Works out the figures and marks of the sheet's present shape when it
// changed since they last were, with the sheet's counts and last step;
// closure says whether the picture shows the closure map. Nothing without a
// pattern (sheet may be null). Returns true when the figures changed (the
// Status rollout is to show them again). Cost, when it works: O(creases +
// vertices) and the collision check, O(n log n) in the faces.
bool appReadoutRefresh(const ORI_sheet* sheet, bool closure);

// The lines of the Status rollout, in order.
constexpr int kAppReadoutLines = 9;
void appReadoutLines(const AppReadout& r, std::string lines[kAppReadoutLines]);
