#include "tools/fold_mobility.h"

#include <cstdio>
#include <cstring>

#include "sim/fold_step.h"
#include "sim/mobility.h"
#include "sim/sim_step.h"
#include "tools/option_numbers.h"

namespace {

// Highest mode number the option takes; whether that mode exists is known
// only once the state is analysed.
constexpr long kMaxMode = 1000000;

struct ModeStep {
  ORISIM_mobilityState* state;
  int mode;
  std::string reason;
};

double modeSolve(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats, void* user) {
  ModeStep* m = static_cast<ModeStep*>(user);
  return oriSimMobilityStep(m->state, osm, om, step, m->mode, stats, nullptr, &m->reason);
}

}  // namespace

const char* foldMobilityUsage() {
  return "\n"
         "What the pattern can do (its closure Jacobian's singular values; the triangulation's\n"
         "diagonals are held still, so that the pattern counts as drawn, its facets rigid):\n"
         "  --mobility     after the steps, print before the last line\n"
         "                   mobility dof=K redundant=R\n"
         "                 K independent ways the state can move, R closure equations implied\n"
         "                 by the others; \" flat\" follows at the flat sheet, where the count\n"
         "                 is the infinitesimal one\n"
         "  --mobility-diagonals  count the diagonals as hinges (the facets may bend along\n"
         "                 them); the line then ends with \" diagonals\"\n"
         "  --mode K       fold along the K-th fold mode of every state reached (modes are\n"
         "                 numbered from 1, in an order fixed by the state) instead of towards\n"
         "                 the targets; a mode that does not exist stops the run with one line\n"
         "                 giving the number of modes\n"
         "  With --report and --mobility or --mode, each record also gives dof.\n";
}

int foldMobilityParseOption(int argc, char** argv, int* i, FoldMobilityOptions* opt, std::string* error) {
  const char* a = argv[*i];
  if (std::strcmp(a, "--mobility") == 0) {
    opt->print = true;
    return 1;
  }
  if (std::strcmp(a, "--mobility-diagonals") == 0) {
    opt->diagonals = true;
    opt->print = true;
    return 1;
  }
  if (std::strcmp(a, "--mode") != 0) return 0;
  if (*i + 1 >= argc) {
    *error = "--mode needs a value";
    return -1;
  }
  const char* value = argv[++*i];
  if (!parseWhole(value, 1, kMaxMode, &opt->mode)) {
    *error = std::string("--mode needs a mode number, 1 or more: ") + value;
    return -1;
  }
  return 1;
}

FoldMobility::FoldMobility(const FoldMobilityOptions& opt) : opt_(opt), state_(oriSimMobilityNew()) {
  state_->diagonals = opt.diagonals ? kOriMobilityDiagonalsHinge : kOriMobilityDiagonalsHeld;
}

FoldMobility::~FoldMobility() { oriSimMobilityDelete(state_); }

int FoldMobility::step(ORISIM_matrix* osm, ORI_manifold* om, double step, int* frame_no, const ORI_frameRecorder* rec,
                       double* max_delta, ORISIM_stepStats* stats) {
  ++steps_;
  if (opt_.mode <= 0) return oriFoldStep(osm, om, step, "CG", frame_no, rec, max_delta, stats);
  ModeStep mode{state_, static_cast<int>(opt_.mode), std::string()};
  const int result = oriFoldStepWith(osm, om, step, modeSolve, &mode, frame_no, rec, max_delta, stats);
  if (result == -2) {
    std::fflush(stdout);
    std::fprintf(stderr, "plicata-fold: --mode %ld at step %ld: %s\n", opt_.mode, steps_, mode.reason.c_str());
  }
  return result;
}

int FoldMobility::dofForReport(ORISIM_matrix* osm, ORI_manifold* om, bool report) {
  if (!report || !(opt_.print || opt_.mode > 0)) return -1;
  ORISIM_mobility result;
  return oriSimMobilityAnalyse(state_, osm, om, &result) == kOriMobilityOk ? result.dof : -1;
}

int FoldMobility::print(ORISIM_matrix* osm, ORI_manifold* om) {
  if (!opt_.print) return 0;
  ORISIM_mobility r;
  if (oriSimMobilityAnalyse(state_, osm, om, &r) != kOriMobilityOk) {
    std::fflush(stdout);
    std::fprintf(stderr, "plicata-fold: %s\n", r.reason.c_str());
    return 1;
  }
  std::printf("mobility dof=%d redundant=%d%s%s\n", r.dof, r.redundant, r.flat ? " flat" : "",
              r.diagonals == kOriMobilityDiagonalsHinge ? " diagonals" : "");
  if (!r.sure) {
    std::fflush(stdout);
    std::fprintf(stderr,
                 "plicata-fold: mobility: the count is not sure: the singular values round the threshold %.1e "
                 "are %.2e (kept) and %.2e (dropped), relative to the largest%s%s\n",
                 kOriMobilityRankTolerance, r.sigma_max > 0 ? r.sigma_kept / r.sigma_max : 0.0,
                 r.sigma_max > 0 ? r.sigma_dropped / r.sigma_max : 0.0, r.reason.empty() ? "" : "; ",
                 r.reason.c_str());
  }
  return 0;
}
