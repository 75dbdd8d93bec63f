// The sheet: one object that owns a loaded crease pattern and everything its
// folding needs, driven alike by every front end. plicata-fold's main is
// option parsing and a loop over oriSheetStep; the window's state holds a
// sheet that its timer steps, its File Open, Next File and Files rollout
// load into, its Clear Fold flattens and its Status rollout reads; the
// Python package's Sheet is a lock, a message capture and exceptions around
// one. None of them loads, prepares, steps, records or counts on its own.
//
// Sections: design notes; adding a way of folding; options; loading;
// stepping; recording and saving; what the sheet holds; the flat-folded
// state.
//
// ---- Design notes -----------------------------------------------------------
// - A plain record with free functions, as the rest of the core: ORI_sheet
//   is opaque, every call names it first. One sheet is used by one thread at
//   a time (the Python package locks each one); separate sheets share
//   nothing but the messages' sink, which is per thread (geometry/message.h).
// - What the sheet owns: the present pattern (its mesh, ORI_manifold, and
//   its simulation record, ORISIM_matrix), a pattern being loaded (read,
//   then prepared, then adopted: a dialogue asks whether to triangulate and
//   the window writes the old pattern's recording while the present one is
//   still in place), the fold options, the recording
//   settings with the OBJ frame numbering, the FOLD animation, the per-step
//   records of the step report, the last step's figures, the counts, and
//   the mobility analysis of the present state (sim/mobility.h: its
//   factorisation's structure, the last analysis until the angles change,
//   and the motion a mode step follows).
//   The targets live on the half-edges; oriSheetSetTargets sets them.
// - Loading is all or nothing: a pattern replaces the present one only once
//   it is read and prepared. A failure leaves the sheet as it was and comes
//   back as one ORI_result (geometry/result.h) saying what and why; the
//   sheet prints no failure of its own. What a reader or the preparation
//   tells on the way (lines dropped, the matrix report) goes through
//   oriMessage, as before.
// - What outlives a pattern: the options (a new pattern takes them: fold to,
//   exact, the solver paths), the recording settings and the frame
//   numbering, the counts over the sheet's life, the last step's figures,
//   the step records and the first collision. What does not: the simulation
//   record and its counts, the mobility analysis and the motion followed
//   along a mode, and a running FOLD animation, which starts again from the
//   new crease pattern (a FOLD file holds one).
// - Costs: a step costs the fold step (sim/sim_step.h) plus what the
//   recording asks for: the closure residual (recording.residual or
//   .report, O(creases), shared among the cores like the step), the worst
//   vertex (.report), the collision check (options.collisions, O(n log n)
//   in the faces), the degrees of freedom (.dof: one mobility analysis a
//   step, sim/mobility.h), OBJ and FOLD frames. With nothing asked for, a
//   step is oriFoldStep and a clock. A step along a mode (options.mode)
//   costs an analysis and a step; oriSheetMobility costs one analysis, none
//   when the angles did not change since the last.
//
// ---- Adding a way of folding ------------------------------------------------
// A new way of folding (contact with thickness, a mode, another solver, an
// exact variant...) is an option of the sheet, so that it reaches every
// front end at once. What to touch:
//  1. ORI_foldOptions below: one field, whose default folds as before
//     (options.mode, folding along a fold mode, is one such).
//  2. sheet/sheet.cpp: its range in checkOptions; what it sets on a new
//     simulation record in applyOptions (called on adopt and on every
//     oriSheetSetOptions); its dispatch in foldOnce, the one place where a
//     step is taken (leave the plain path untouched: the benchmarks hold it
//     to its speed).
//  3. tools/plicata_fold.cpp: a row of the flag table kFlags (its name,
//     whether it takes a value, the setter) and a line of kUsage.
//  4. app/: a field of the_struct (app_state.h) holding the panel's value, a
//     control in app/panel_controls.cpp whose callback hands the settings to
//     the sheet (menuCallback's kMenuFoldTo and kMenuExact case:
//     appApplyFoldOptions), and a line in appFoldOptions (app/app_state.cpp)
//     that copies it into the options.
//  5. python/sheet.cpp (Sheet::fold or a setter puts it into the options),
//     python/module.cpp (the keyword) and python/plicata/__init__.py (its
//     documentation).
// A writer of a new format (files/) is not a way of folding: it reads the
// manifold through oriSheetManifold and is called by the front ends beside
// oriSheetSaveObj. Something recorded or measured after every step belongs
// in ORI_recordOptions and recordStep or measureStep (sheet.cpp).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "files/step_report.h"
#include "geometry/paper_color.h"
#include "geometry/result.h"
#include "sim/compliant.h"
#include "sim/contact.h"
#include "sim/fold_step.h"
#include "sim/mobility.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"

struct CreasePattern;
struct ORI_edge;
struct ORI_flatState;
struct ORI_layerOptions;
struct ORI_face;
struct ORI_manifold;
struct ORI_sheet;
struct ORI_vert;

// Most fold steps one run (a plicata-fold command, a Python call) takes.
constexpr long kOriSheetMaxSteps = 100000000;
// Highest mode number the options take; whether that mode exists is known
// only once the state is analysed.
constexpr int kOriSheetMaxMode = 1000000;

// ---- Options ------------------------------------------------------------------

// How the sheet folds: what every front end sets. New ways of folding are
// added here, one field each (see "Adding a way of folding").
struct ORI_foldOptions {
  int fold_step = 10;              // 0 to kOriFoldStepMax: a held step moves a crease by at most fold_step × 0.05 rad
  bool unfold = false;             // held steps head for flat instead of the targets (the 'b' key, --unfold)
  double fold_to = 1.0;            // share of every target the creases fold to, 0 to 1 (clamped)
  bool exact = false;              // every step closes the sheet to rounding (exact mode, sim/sim_step.h)
  int path = kOriSimPathAuto;      // solver path of the records made from now on (OriSimPath; --dense)
  int cg = kOriSimCGFast;          // the projection's iteration of the records made from now on (OriSimCG; --cg)
  bool collisions = false;         // after every step, count the pairs of faces passing through each other
  bool stop_at_collision = false;  // with collisions: the step that finds the first pair says stop
  int solver = kOriSolverRigid;    // OriSolver: rigid facets, or the compliant bar-and-hinge model (sim/compliant.h)
  ORISIM_stiffness stiffness;      // the compliant model's constants (each positive and finite)
  bool contact = false;            // faces never pass through each other: where they meet, the fold lines
                                   // driving them together stop (sim/contact.h); a locked fold says stop
  double thickness = 0.0;          // the paper's thickness, file units, 0 to a quarter of the paper size:
                                   // with contact, faces that share no corner keep their middles this far
                                   // apart. One number for every use of the paper's thickness
  int mode = 0;                    // 0: steps head for the targets; K from 1: they fold along the K-th fold mode
                                   // (oriSimMobilityStep), then follow the motion started (see oriSheetStep)
  bool mobility_diagonals = false;  // the mobility analysis and the modes count the triangulation's diagonals as
                                    // hinges; by default they are held flat (the pattern as drawn)
};

// How a pattern is loaded.
struct ORI_loadOptions {
  bool triangulate = true;                 // cut facets of more than three sides into triangles
  const ORI_paperColors* paper = nullptr;  // the paper's colours for drawing (null: the built-in ones); copied
};

// What a step records besides the shape. The sheet copies the record and
// the text save_dir points to; capture_user must outlive the steps.
struct ORI_recordOptions {
  ORI_frameRecorder frames;  // numbered OBJ frames and captures (sim/fold_step.h); none by default. With
                             // frames.display_frame, oriSheetSaveObj also writes in the display frame
  bool fold = false;         // add a FOLD frame after every step; a recording starts when none runs
  std::string fold_path;     // the file the recording is for, taken when it starts: names it in failures
  bool residual = false;     // measure the closure residual after every step (the step record's residual)
  bool report = false;       // keep every step's record, residual and worst vertex measured, for the report
  bool dof = false;          // analyse the state after every step for the record's dof (oriSheetMobility)
};

// A new sheet, without a pattern, folding by options (null, or options that
// oriSheetSetOptions would refuse: the defaults), recording nothing.
ORI_sheet* oriSheetNew(const ORI_foldOptions* options);

// Frees the sheet and all it owns; null is allowed.
void oriSheetDelete(ORI_sheet* sheet);

// Sets the fold options. A setting out of range gives kOriFailArgument
// without a subject, its why naming the field ("fold_step must be from 0 to
// 50", "fold_to must be a number from 0 to 1" for NaN, "thickness -1 is
// negative", "mode must be from 0 to 1000000", "mode folds along a rigid
// fold mode: it does not go with the compliant solver" for mode with solver
// compliant, the same for contact, "contact and mode cannot be used
// together: ..." for contact with a mode above 0, or, with a pattern,
// "thickness 150 is above a quarter of the paper size (400)"), and changes
// nothing. fold_to beyond 0..1 is clamped. The present pattern takes
// fold_to, exact, contact, thickness, mode and mobility_diagonals at once;
// path and cg apply to the records made from now on (the next pattern
// loaded).
ORI_result oriSheetSetOptions(ORI_sheet* sheet, const ORI_foldOptions& options);
const ORI_foldOptions& oriSheetOptions(const ORI_sheet* sheet);

// Sets what the steps record. Switching fold on starts a FOLD recording
// from the present crease pattern when none runs; switching it off only
// stops adding frames (oriSheetDropFold ends the recording).
void oriSheetSetRecording(ORI_sheet* sheet, const ORI_recordOptions& recording);
const ORI_recordOptions& oriSheetRecording(const ORI_sheet* sheet);

// ---- Loading --------------------------------------------------------------------
// In three parts, read, prepare and adopt, so that a dialogue can ask about
// triangulation after reading and a front end can finish with the present
// pattern (write its FOLD recording) once the new one is sure to replace it;
// the whole in one call for the rest. A pattern read but not yet adopted is
// pending; reading another replaces it.

// Reads the pattern file path (the reader chosen by what the name contains,
// input/pattern_file.h) into a pending pattern, with its vertices placed on
// the present folded shape when onto_folded is set and the sheet holds a
// pattern ("Next File"), flat otherwise. A relative path that names nothing
// is looked up in the examples folder (input/examples_dir.h: oriFindPattern);
// the pattern's source is then the example's path. Fails with
// kOriFailUnsupported (the name names no format; checked first),
// kOriFailUnreadable ("cannot open: ...", or oriFindPattern's reason naming
// both places looked in), or kOriFailRead (the reader's reason), subject
// path; nothing is then pending. The reader's messages go through oriMessage.
ORI_result oriSheetRead(ORI_sheet* sheet, const char* path, int onto_folded, const ORI_loadOptions& load);

// The same from the open stream fp (not closed), the reader chosen by name.
ORI_result oriSheetReadStream(ORI_sheet* sheet, FILE* fp, const char* name, int onto_folded,
                              const ORI_loadOptions& load);

// The same from the generated pattern cp (not consumed), flat; name labels
// it (the subject of a failure, and oriSheetSource). Fails with kOriFailRead.
ORI_result oriSheetReadPattern(ORI_sheet* sheet, CreasePattern* cp, const char* name, const ORI_loadOptions& load);

// True when a pattern is pending and every facet of it is a triangle: the
// triangulation question need not be asked.
bool oriSheetPendingTriangulated(const ORI_sheet* sheet);

// Prepares the pending pattern (sim/prepare.h: triangulated when triangulate
// is set and it has larger facets, the fixed face, the numbering, the
// placement, and the simulation record in the sheet's solver path and
// iteration, with their messages). The present pattern is untouched. Fails
// with kOriFailNoPattern when nothing is pending, kOriFailEmpty ("the
// pattern has no facet to fold"), or kOriFailArgument, subject the
// pattern, when the options' thickness is above a quarter of its paper size
// ("thickness 150 is above a quarter of the paper size (100)"); the pending
// pattern is then dropped.
ORI_result oriSheetPrepare(ORI_sheet* sheet, int triangulate);

// Makes the prepared pending pattern the sheet's, in the sheet's options
// (fold to, exact); the present one is freed (its exact-mode count kept in
// the sheet's), a running FOLD recording starts again from the new crease
// pattern, the pattern's step count from 0. Cannot fail but for
// kOriFailNoPattern when no prepared pattern is pending.
ORI_result oriSheetAdopt(ORI_sheet* sheet);

// Forgets the pending pattern, if any.
void oriSheetDropPending(ORI_sheet* sheet);

// oriSheetRead flat, oriSheetPrepare with load.triangulate, oriSheetAdopt.
ORI_result oriSheetLoad(ORI_sheet* sheet, const char* path, const ORI_loadOptions& load);

// oriSheetRead onto the folded pattern ("Next File"; flat when the sheet
// holds none), oriSheetPrepare with load.triangulate, oriSheetAdopt.
ORI_result oriSheetOpenNext(ORI_sheet* sheet, const char* path, const ORI_loadOptions& load);

// ---- Stepping -------------------------------------------------------------------

// What one step did.
struct ORI_sheetStep {
  // step: its number over the sheet's life (from 1); residual: the closure
  // residual after it (0 unless recording.residual or .report);
  // worst_vertex_error and worst_vertex (0 and -1 unless .report);
  // cg_iterations; max_delta (radians); ms (wall time of the step with its
  // OBJ and FOLD frames); intersecting_pairs (-1 unless options.collisions);
  // dof (-1 unless recording.dof, or when the analysis failed). With
  // options.contact, also active_contacts (pairs of faces held apart) and
  // locked.
  ORI_stepRecord record{0, 0.0, 0.0, -1, 0, 0.0, 0.0, -1};
  ORISIM_stepStats stats{};      // the solver's figures
  ORISIM_compliantStats compliant{};  // the compliant solver's figures (options.solver compliant; else zeros)
  ORISIM_contactStats contact{};  // contact's figures (sim/contact.h; zeros without options.contact)
  bool contact_changed = false;   // with options.contact: the pairs held apart are not as many as the step before's
  bool first_collision = false;  // the first step of the sheet's life that found faces passing through each other
  bool stop = false;             // the run ends here: first_collision with options.stop_at_collision, or a
                                 // locked fold (record.locked)
};

// One held-key step: size oriFoldHeldStep(options.fold_step, options.unfold).
// It heads for the targets, or with options.mode K moves along the K-th
// fold mode of the present state (sim/mobility.h: oriSimMobilityStep; a
// negative step, unfolding, goes back along it); later steps along the
// same mode follow the motion the first one started, projected onto each
// new state's modes, until an ordinary step, oriSheetClear or a new
// pattern ends it. With options.solver compliant the step is the compliant
// solver's (sim/compliant.h: its state is made from the present shape at
// the first such step, and forgotten when the pattern changes, it is
// flattened, or the solver or the stiffness change); a step that does not
// converge keeps the last shape, counts in compliant_kept and says so in
// out->compliant. *out (may be null) receives what it did. Fails with
// kOriFailNoPattern (nothing done); kOriFailArgument, subject the pattern,
// when the compliant solver cannot take it (a facet of more than three
// sides; nothing done); along a mode, nothing done, with kOriFailArgument
// without a subject, "mode K does not exist: the state has D modes", when
// the first step finds no such mode, and kOriFailSolve without a subject
// when the analysis failed or the motion ends ("the mode ends here: ...");
// kOriFailWrite, subject the frame's file (DIR/mNNNNN.obj), "cannot write:
// REASON" (the system's, e.g. "No space left on device") when an OBJ frame
// could not be written; kOriFailRecord, subject recording.fold_path (may be
// empty), "step N gives a shape that cannot be recorded" when the FOLD frame
// could not be kept. After those two the step is taken, counted and in
// *out (its residual and the later figures not measured).
ORI_result oriSheetStep(ORI_sheet* sheet, ORI_sheetStep* out);

// The same with the step size given: radians a crease moves at most,
// positive folds, negative unfolds (the window's "<<" and ">>" take four
// held steps' size).
ORI_result oriSheetStepBy(ORI_sheet* sheet, double step, ORI_sheetStep* out);

// Flattens the present pattern ("Clear Fold"): every angle 0, the fixed face
// at the identity; the pattern's step count starts again and a motion
// followed along a mode ends. Nothing without a pattern.
void oriSheetClear(ORI_sheet* sheet);

// Sets every crease's target (radians; count must be the number of creases,
// oriSheetIndex(sheet).creases). Fails with kOriFailArgument (no subject),
// changing nothing, for another count ("one target per crease") or a target
// not finite or beyond ±π ("target C is not a finite angle within ±π");
// kOriFailNoPattern without a pattern.
ORI_result oriSheetSetTargets(ORI_sheet* sheet, const double* targets, size_t count);

// ---- Recording and saving -------------------------------------------------------

// Numbers the next frame (the window's "Save" writes it beside the recorded
// steps' frames) and returns its number.
int oriSheetNextFrame(ORI_sheet* sheet);

// Starts the FOLD recording anew from the present crease pattern (a running
// one is dropped). Nothing without a pattern.
void oriSheetStartFold(ORI_sheet* sheet);

// Ends the FOLD recording, dropping its frames; recording.fold is left as
// it is (a step with it set starts a new one).
void oriSheetDropFold(ORI_sheet* sheet);

// The file the running FOLD recording is for (recording.fold_path when it
// started); "" when none runs.
const char* oriSheetFoldPath(const ORI_sheet* sheet);

// Writes the FOLD file path (files/fold_export.h): the crease pattern and
// the recorded frames; when no folded frame is recorded and
// present_when_empty is set, the present shape as the one folded frame. The
// file is created or replaced. Fails with kOriFailNoPattern, or
// kOriFailWrite "cannot write the FOLD file: REASON" (the system's reason,
// e.g. "No space left on device", or "nothing was recorded" when nothing
// was and present_when_empty is 0).
ORI_result oriSheetSaveFold(const ORI_sheet* sheet, const char* path, int present_when_empty);

// Writes the present shape as OBJ to path, written aside and renamed into
// place (files/obj_export.h), laid in the display frame first when
// recording.frames.display_frame is set. Fails with kOriFailNoPattern, or
// kOriFailWrite "cannot write: REASON".
ORI_result oriSheetSaveObj(ORI_sheet* sheet, const char* path);

// Writes the step report of the kept records (files/step_report.h) to
// path. Fails with kOriFailWrite "cannot write the report: REASON".
ORI_result oriSheetSaveReport(const ORI_sheet* sheet, const char* path);

// ---- What the sheet holds --------------------------------------------------------

// Counts of the sheet's life and of its present pattern.
struct ORI_sheetCounts {
  long steps = 0;               // steps taken since the sheet was made, over every pattern
  long pattern_steps = 0;       // steps taken on the present pattern since it was adopted or flattened
  long exact_kept = 0;          // exact-mode steps that kept the ordinary result, over every pattern
  long pattern_exact_kept = 0;  // the same, of the present pattern
  long exact_halvings = 0;      // exact-mode substeps taken again at half their size, over every pattern
  long pattern_exact_halvings = 0;  // the same, of the present pattern
  long first_collision = 0;     // the step (as steps counts) that first found faces passing through each other; 0: none
  long compliant_kept = 0;      // compliant steps that did not converge and kept the last shape, over every pattern
  int frame_no = 0;             // the last frame number used (0: none yet)
  int fold_frames = 0;          // folded frames of the running FOLD recording (0 when none runs)
};
ORI_sheetCounts oriSheetCounts(const ORI_sheet* sheet);

// The last step of the sheet's life (zeros before the first).
const ORI_sheetStep& oriSheetLastStep(const ORI_sheet* sheet);

// The records kept for the step report (recording.report), in step order.
const std::vector<ORI_stepRecord>& oriSheetStepRecords(const ORI_sheet* sheet);

// The present pattern's mesh and simulation record, for drawing, picking
// and reading figures; null without a pattern. Valid until the next pattern
// is adopted or the sheet is deleted. Their angles and positions are the
// sheet's: change them only through the sheet.
ORI_manifold* oriSheetManifold(const ORI_sheet* sheet);
ORISIM_matrix* oriSheetSim(const ORI_sheet* sheet);

// The paper size (ORI_manifold::paper_size, file units) of the pattern
// being loaded when one is pending, else of the present pattern; 0 without
// either. A front end that sets the thickness as a share of the paper asks
// it before oriSheetPrepare, which holds the thickness against that paper.
double oriSheetPaperSize(const ORI_sheet* sheet);

// The present pattern's file as given (or a generated pattern's label); ""
// without a pattern.
const char* oriSheetSource(const ORI_sheet* sheet);

// The present pattern's records by number, rebuilt when a pattern is
// adopted: verts by ORI_vert::index (list order), creases by crease index
// (the half-edge of the line that comes first in the edge list: its tail
// and head give the crease's direction), faces by ORI_face::index, inner
// vertices by sim_index (their closure rows). Empty without a pattern.
struct ORI_sheetIndex {
  std::vector<ORI_vert*> verts;
  std::vector<ORI_edge*> creases;
  std::vector<ORI_face*> faces;
  std::vector<ORI_vert*> inner;
};
const ORI_sheetIndex& oriSheetIndex(const ORI_sheet* sheet);

// The closure residual Σ|g| of the present angles (sim/sparse_jacobian.h);
// 0 without a pattern. Cost: O(creases), shared among the cores.
double oriSheetResidual(const ORI_sheet* sheet);

// ---- The flat-folded state -------------------------------------------------------

// The present pattern's flat-folded state (flat/flat_state.h: the checks of
// every inner vertex, the folded form and, with options.order_layers, the
// order of its layers), into *out. Analysed on the first call for a pattern
// and kept until another pattern is adopted or the targets are set; a later
// call reuses it unless it asks for layers not yet ordered or other limits
// (a different options.state only chooses that stacking: the layer order's
// status then says whether it exists). It depends on the crease pattern and
// the targets' signs, never on the present fold. *out stays valid until the
// next call, the next pattern or new targets. Fails (*out null) with
// kOriFailNoPattern, kOriFailArgument for a time limit not above 0 or a
// state or cap below 1, or the analysis's failure. Cost: the analysis, once
// (the layer order keeps within options.time_limit).
ORI_result oriSheetFlatState(ORI_sheet* sheet, const ORI_layerOptions& options, const ORI_flatState** out);

// What the present state can do (sim/mobility.h: oriSimMobilityAnalyse)
// into *out: the degrees of freedom, the redundant closure equations, the
// singular values and the fold modes (out->n = creases entries each, by
// crease index), with the diagonals held flat or counted as hinges as
// options.mobility_diagonals says, at the closed state nearest the present
// one (out->flat: the flat sheet's first-order count). The sheet's angles
// and shape are as they were afterwards. The analysis is kept until the
// angles, the pattern or that option change: asking again costs nothing.
// Fails with kOriFailNoPattern, or kOriFailSolve without a subject, the
// analysis's reason ("mobility: ..."), *out then holding status and
// reason. Cost: see oriSimMobilityAnalyse (milliseconds on a 10 × 10
// Miura-ori, about 0.05 s at 30 × 30, 1 to 4 s at 100 × 100).
ORI_result oriSheetMobility(ORI_sheet* sheet, ORISIM_mobility* out);
