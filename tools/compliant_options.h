// plicata-fold's compliant solver options: --solver rigid|compliant and
// --stiffness FOLD,FACET,AXIAL, parsed apart from the rest of the command
// line, and the solver's state across the patterns of one run.
#pragma once

#include <string>

#include "sim/compliant.h"

struct CompliantOptions {
  bool compliant = false;      // --solver compliant (rigid, the default, otherwise)
  bool stiffness_given = false;
  ORISIM_stiffness stiffness;  // --stiffness
};

// The options' part of plicata-fold --help.
const char* compliantUsage();

// Takes argv[*i] when it is one of these options, with its value (advancing
// *i). Returns 1 when taken, 0 when it is not one of them, -1 with *error
// set for a missing or bad value (a stiffness that is not three positive
// finite numbers names the bad ones).
int compliantParseOption(int argc, char** argv, int* i, CompliantOptions* opt, std::string* error);

// After all options: false with *error set when --stiffness is given
// without --solver compliant, or the compliant solver with --exact (which
// closes the rigid solver's steps).
bool compliantCheck(const CompliantOptions& opt, bool exact, std::string* error);

// The compliant solver across the patterns of one run; frees its state.
struct CompliantRun {
  ORISIM_compliant* cs = nullptr;  // the state of the pattern opened last; null for the rigid solver
  long kept = 0;                   // steps that kept the last shape, over the run
  CompliantRun() = default;
  CompliantRun(const CompliantRun&) = delete;
  CompliantRun& operator=(const CompliantRun&) = delete;
  ~CompliantRun() { oriSimCompliantDelete(cs); }
};

// Makes the state for the pattern om just prepared (replacing the
// previous pattern's), nothing for the rigid solver. False after one line
// on standard error naming the pattern and the reason.
bool compliantBegin(const CompliantOptions& opt, CompliantRun* run, ORI_manifold* om, const char* pattern);

// One compliant fold step, number step over the run (oriSimCompliantFoldStep:
// frames recorded as rec asks); when it did not converge, says so on
// standard error and counts it. Returns what the core step returns.
int compliantFoldStep(CompliantRun* run, ORISIM_matrix* osm, ORI_manifold* om, double size, int* frame_no,
                      const ORI_frameRecorder* rec, double* max_delta, long step);

// The summary line's compliant part, " compliant_kept=K", on standard
// output; nothing for the rigid solver.
void compliantSummary(const CompliantRun& run);
