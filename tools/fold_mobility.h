// plicata-fold's mobility options: --mobility prints what the folded state
// can do (sim/mobility.h) after the steps, --mode K folds along a fold mode
// instead of towards the targets, and with --report every step's record
// gains the degrees of freedom.
#pragma once

#include <string>

struct ORI_manifold;
struct ORISIM_matrix;
struct ORISIM_stepStats;
struct ORISIM_mobilityState;
struct ORI_frameRecorder;

struct FoldMobilityOptions {
  bool print = false;      // --mobility (or --mobility-diagonals)
  bool diagonals = false;  // --mobility-diagonals: count the diagonals as hinges
  long mode = 0;           // --mode K; 0 folds towards the targets
};

// The mobility options' part of plicata-fold --help.
const char* foldMobilityUsage();

// Takes argv[*i] when it is a mobility option, with its value (advancing
// *i). Returns 1 when taken, 0 when it is no mobility option, -1 with
// *error set for a missing or bad value.
int foldMobilityParseOption(int argc, char** argv, int* i, FoldMobilityOptions* opt, std::string* error);

// The analyses of one run, for whichever pattern is being folded.
class FoldMobility {
 public:
  explicit FoldMobility(const FoldMobilityOptions& opt);
  ~FoldMobility();
  FoldMobility(const FoldMobility&) = delete;
  FoldMobility& operator=(const FoldMobility&) = delete;

  // One recorded step (sim/fold_step.h): the ordinary one, or with --mode
  // the step along that mode. Returns oriFoldStep's result, or -2 after one
  // line on standard error when the mode does not exist at this state or the
  // analysis failed (nothing stepped).
  int step(ORISIM_matrix* osm, ORI_manifold* om, double step, int* frame_no, const ORI_frameRecorder* rec,
           double* max_delta, ORISIM_stepStats* stats);

  // The degrees of freedom of the present state for a step's record when a
  // report is kept and mobility was asked for (--mobility or --mode); -1
  // otherwise, or when the analysis failed. Cost: one analysis (reused by
  // the next mode step).
  int dofForReport(ORISIM_matrix* osm, ORI_manifold* om, bool report);

  // With --mobility: prints "mobility dof=K redundant=R" (" flat" at the flat
  // sheet, " diagonals" when they count as hinges) on standard output, and a
  // line on standard error when the count is not sure. Returns 0, or 1 after
  // one line on standard error when the analysis failed.
  int print(ORISIM_matrix* osm, ORI_manifold* om);

 private:
  FoldMobilityOptions opt_;
  ORISIM_mobilityState* state_;
  long steps_ = 0;
};
