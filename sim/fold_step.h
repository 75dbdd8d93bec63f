// One recorded fold step, as the window program's animation takes it and as
// plicata-fold repeats it: the solver step, the placement of the faces, and
// the numbered frame files. Also the creation of the simulation record after
// a pattern has been loaded and prepared.
#pragma once

#include <cstddef>

struct ORI_manifold;
struct ORISIM_matrix;
struct ORISIM_stepStats;
struct ORISIM_contact;
struct ORISIM_contactStats;

// Size of the buffer in which a frame's path is formed.
constexpr size_t kOriFramePathSize = 1024;

// The fold step setting (the panel's "fold step", plicata-fold's
// --fold-step): a whole number from 0 to kOriFoldStepMax, each unit letting a
// held-key step move a crease by at most kOriFoldStepRadians.
constexpr int kOriFoldStepMax = 50;
constexpr double kOriFoldStepRadians = 0.05;

// The step size (radians) of one held-key step at fold step setting
// fold_step: fold_step × 0.05, the setting negated first when unfold is
// non-zero (as the 'b' key does). The setting is not range-checked.
inline double oriFoldHeldStep(int fold_step, int unfold) {
  return (unfold ? -fold_step : fold_step) * kOriFoldStepRadians;
}

// Creates the simulation record of a prepared mesh (fixed face chosen,
// numbered, placed) as the loader does: prints "\tinitializing SimMatrix\n",
// runs oriSimNew and oriSimInitMatrix, then prints the matrix report
// "Matrix\n size1: %d\n size2: %d\n" (constraint rows, fold lines; no
// address, which would differ from run to run: the window program adds the
// Jacobian's, oriSimJacobianData, itself). The caller owns the record
// (oriSimDelete).
ORISIM_matrix* oriFoldPrepareSim(ORI_manifold* om);

// The first OBJ frame of a step that could not be written, and why.
struct ORI_frameFailure {
  int frame_no = -1;  // -1: none failed
  int error = 0;      // the system's reason (errno): ENOSPC for a full disk
};

// What is recorded with every frame.
struct ORI_frameRecorder {
  const char* save_dir = "./save";  // directory of the frame files; must exist
  int save_model = 0;               // write the OBJ frame "%s/m%05d.obj"
  int save_screen = 0;              // call capture for every frame
  int display_frame = 0;            // lay the model in the window's display frame before each OBJ frame
  // The screen capture of a frame (the window program writes "%s/ss%05d.bmp");
  // may be null. Its result is not examined.
  int (*capture)(const char* save_dir, int frame_no, void* user) = nullptr;
  void* capture_user = nullptr;
  ORI_frameFailure* failure = nullptr;  // receives the first OBJ frame that failed, when not null
};

// True when rec (may be null) records something: OBJ frames or captures.
bool oriFoldRecords(const ORI_frameRecorder* rec);

// Records om as frame frame_no as rec asks: the OBJ file first (in the
// display frame when rec says so), then the screen capture. Returns 0, or
// -1 when the OBJ frame could not be written.
int oriFoldRecordFrame(ORI_manifold* om, const ORI_frameRecorder* rec, int frame_no);

// Writes om as the OBJ frame "%s/m%05d.obj" (dir, frame_no). Returns 0, or
// -1 with errno set when the path does not fit the buffer (ENAMETOOLONG),
// the file cannot be created or a write failed (ENOSPC for a full disk);
// nothing is left under the frame's name or beside it.
int oriFoldSaveObjFrame(ORI_manifold* om, const char* dir, int frame_no);

// One fold step of size step (radians, positive folds, negative unfolds)
// with the step option of the animation:
//  1. when *frame_no is 0 and rec records something, the shape before the
//     step is recorded as frame 0;
//  2. option "CG" runs oriSimUpdateStateCG; "RK", "CG_RK" and null run no
//     solver; any other text prints "mode\n" and runs the same solver;
//  3. every face is placed again from the fixed face (in the order the
//     record keeps, oriManifoldUpdatePlanned);
//  4. when rec records something, *frame_no grows by one and the frame is
//     recorded under the new number.
// rec may be null (nothing recorded). max_delta (may be null) receives the
// solver's largest angle change, 0 when no solver ran; stats (may be null)
// the solver's figures. Returns 0, or -1 when an OBJ frame could not be
// written; the step is taken and the numbering goes on regardless.
int oriFoldStep(ORISIM_matrix* osm, ORI_manifold* om, double step, const char* option, int* frame_no,
                const ORI_frameRecorder* rec, double* max_delta, ORISIM_stepStats* stats);

// A solver a recorded step may run instead of the held-key one: moves the
// angles of osm and om's half-edges for a step of size step (radians) and
// returns the largest angle change, or a negative number when it refuses
// the step (nothing changed). stats may be null.
typedef double (*OriFoldSolver)(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats,
                                void* user);

// oriFoldStep with solver (and its user pointer) in place of the option's
// solver: frame 0, the solver, the placement, the new frame. A refused
// step records frame 0 when due but places and records nothing more, sets
// *max_delta (may be null) to 0 and returns -2; otherwise as oriFoldStep.
// With solver_places non-zero the solver places the faces itself (as the
// contact step does) and they are not placed again.
int oriFoldStepWith(ORISIM_matrix* osm, ORI_manifold* om, double step, OriFoldSolver solver, void* user,
                    int* frame_no, const ORI_frameRecorder* rec, double* max_delta, ORISIM_stepStats* stats,
                    int solver_places = 0);

// The same step with contact on (sim/contact.h): where the option runs the
// solver, oriSimContactStep takes the step and places the faces; cstats
// (may be null) receives its figures, zeroed when no solver ran. A null
// contact is the step above, exactly.
int oriFoldStep(ORISIM_matrix* osm, ORI_manifold* om, double step, const char* option, int* frame_no,
                const ORI_frameRecorder* rec, double* max_delta, ORISIM_stepStats* stats, ORISIM_contact* contact,
                ORISIM_contactStats* cstats);
