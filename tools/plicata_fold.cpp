// plicata-fold: the headless folding command. Loads a crease pattern,
// prepares it as the window program does, folds it step by step as while the
// space bar is held, and writes the shape as OBJ.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "files/fold_export.h"
#include "files/obj_export.h"
#include "files/step_report.h"
#include "geometry/manifold.h"
#include "geometry/self_intersection.h"
#include "input/pattern_file.h"
#include "input/read_error.h"
#include "sim/display_frame.h"
#include "sim/fold_status.h"
#include "sim/fold_step.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
#include "sim/sparse_jacobian.h"
#include "tools/fold_contact.h"
#include "tools/fold_pictures.h"
#include "tools/option_numbers.h"

namespace {

const char kUsage[] =
    "usage: plicata-fold [options] PATTERN [--steps N] [--next PATTERN2 [--steps N]]...\n"
    "\n"
    "Loads the crease pattern PATTERN, read by what its name contains: .opx or .xml\n"
    "(XML), .dxf (DXF drawing), .fold (FOLD), .svg (SVG drawing), .cp (ORIPA text).\n"
    "Builds its half-edge mesh, triangulates it, chooses the fixed face, places every\n"
    "facet from the fold angles and creates the simulation, then folds it as the\n"
    "window program does while the space bar is held.\n"
    "\n"
    "  --steps N      take N fold steps (default 0) on the pattern opened last\n"
    "  --next FILE    open FILE onto the folded model, keeping its shape, as \"Next File\"\n"
    "                 does; --steps after it go on folding the new pattern\n"
    "  --no-triangulate  leave facets of more than three sides whole (by default they\n"
    "                 are cut into triangles, as an empty answer to the question does)\n"
    "  --fold-step K  fold step setting, 0 to 50 (default 10): each step moves a crease\n"
    "                 by at most K x 0.05 radians\n"
    "  --unfold       step towards flat instead (as while 'b' is held)\n"
    "  --fold-to P    fold every crease to P % of its target, 0 to 100 (default 100),\n"
    "                 and stop there\n"
    "  --dense        solve every step with the dense matrices: the reference (by\n"
    "                 default every pattern keeps the Jacobian by its nonzeros)\n"
    "  --sparse       keep the Jacobian by its nonzeros (the default)\n"
    "  --cg MODE      the projection's iteration: fast (the default: preconditioned, from\n"
    "                 the last step's answer) or plain (unpreconditioned, from zero: the\n"
    "                 reference)\n"
    "  --exact        close every vertex to rounding after each step (Newton corrections\n"
    "                 on the closure alone); the last line then also gives exact_kept=K,\n"
    "                 the steps whose correction failed and kept the ordinary result\n"
    "  --out DIR      record frames as the window program does with \"Mdl\" on:\n"
    "                 DIR/m00000.obj before the first step, then one file per step;\n"
    "                 DIR is created if missing\n"
    "  --obj FILE     write the final shape as a Wavefront OBJ file\n"
    "  --display-frame  write OBJ files in the window's display frame (the sheet laid\n"
    "                 on its three corner vertices, the fixed face centred), as the\n"
    "                 window program writes them\n"
    "  --fold-out FILE  write a FOLD file: the crease pattern as frame 0 and, after it,\n"
    "                 one folded frame per step (of the pattern opened last)\n"
    "  --collisions   after every step, look for faces that pass through each other;\n"
    "                 at the first step K where P > 0 pairs do, print\n"
    "                   collision step=K pairs=P\n"
    "  --stop-at-collision  the same, and stop folding at that step\n"
    "  --report FILE  write a JSON report, one record per step: closure residual, worst\n"
    "                 vertex error and its vertex index, CG iterations, largest angle\n"
    "                 change, milliseconds, and intersecting pairs (with --collisions)\n"
    "  --help         show this text\n"
    "\n"
    "Progress goes to standard error. The last line on standard output is\n"
    "  steps=N residual=R max_delta=D\n"
    "with R the closure residual of the final shape and D the largest angle change\n"
    "of the last step.\n";

// Most fold steps one run takes.
constexpr long kMaxSteps = 100000000;

// One pattern and the steps taken on it; the first is opened flat, each
// further one onto the folded model before it.
struct Phase {
  std::string pattern;
  long steps = 0;
};

struct Options {
  std::vector<Phase> phases = {Phase{}};
  std::string obj;
  std::string out;
  std::string fold_out;
  int fold_step = 10;
  long fold_to = 100;  // percent of every target
  bool unfold = false;
  bool triangulate = true;
  bool display_frame = false;
  int path = kOriSimPathAuto;
  bool collisions = false;
  bool stop_at_collision = false;
  std::string report;
  FoldPictureOptions pictures;
  int cg = kOriSimCGFast;
  bool exact = false;
  FoldContactOptions contact;
  PaperThicknessOption thickness;
};

int usageError(const char* fmt, const char* arg) {
  std::fprintf(stderr, "plicata-fold: ");
  std::fprintf(stderr, fmt, arg);
  std::fprintf(stderr, " (see plicata-fold --help)\n");
  return 2;
}

// Returns -1 to go on, or the exit status.
int parseOptions(int argc, char** argv, Options* opt) {
  std::string why;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      std::fputs(kUsage, stdout);
      std::fputs(foldPicturesUsage(), stdout);
      std::fputs(foldContactUsage(), stdout);
      return 0;
    }
    const bool takes_value = std::strcmp(a, "--obj") == 0 || std::strcmp(a, "--out") == 0 ||
                             std::strcmp(a, "--steps") == 0 || std::strcmp(a, "--fold-step") == 0 ||
                             std::strcmp(a, "--next") == 0 || std::strcmp(a, "--fold-out") == 0 ||
                             std::strcmp(a, "--report") == 0 ||
                             std::strcmp(a, "--cg") == 0 || std::strcmp(a, "--fold-to") == 0;
    if (takes_value && i + 1 >= argc) return usageError("%s needs a value", a);
    if (std::strcmp(a, "--obj") == 0) {
      opt->obj = argv[++i];
    } else if (std::strcmp(a, "--fold-out") == 0) {
      opt->fold_out = argv[++i];
    } else if (std::strcmp(a, "--out") == 0) {
      opt->out = argv[++i];
      if (opt->out.empty()) return usageError("%s needs a directory name", a);
    } else if (std::strcmp(a, "--steps") == 0) {
      if (!parseWhole(argv[++i], 0, kMaxSteps, &opt->phases.back().steps)) {
        return usageError("--steps needs a whole number of steps, 0 or more: %s", argv[i]);
      }
    } else if (std::strcmp(a, "--fold-step") == 0) {
      long k = 0;
      if (!parseWhole(argv[++i], 0, kOriFoldStepMax, &k)) return usageError("--fold-step needs a whole number from 0 to 50: %s", argv[i]);
      opt->fold_step = static_cast<int>(k);
    } else if (std::strcmp(a, "--report") == 0) {
      opt->report = argv[++i];
      if (opt->report.empty()) return usageError("%s needs a file name", a);
    } else if (std::strcmp(a, "--collisions") == 0 || std::strcmp(a, "--stop-at-collision") == 0) {
      opt->collisions = true;
      opt->stop_at_collision = opt->stop_at_collision || a[2] == 's';
    } else if (std::strcmp(a, "--fold-to") == 0) {
      if (!parseWhole(argv[++i], 0, 100, &opt->fold_to)) return usageError("--fold-to needs a whole percent from 0 to 100: %s", argv[i]);
    } else if (std::strcmp(a, "--unfold") == 0) {
      opt->unfold = true;
    } else if (std::strcmp(a, "--exact") == 0) {
      opt->exact = true;
    } else if (std::strcmp(a, "--display-frame") == 0) {
      opt->display_frame = true;
    } else if (std::strcmp(a, "--dense") == 0 || std::strcmp(a, "--sparse") == 0) {
      const int path = a[2] == 'd' ? kOriSimPathDense : kOriSimPathSparse;
      if (opt->path != kOriSimPathAuto && opt->path != path) return usageError("%s", "--dense and --sparse exclude each other");
      opt->path = path;
    } else if (std::strcmp(a, "--cg") == 0) {
      const char* mode = argv[++i];
      if (std::strcmp(mode, "plain") != 0 && std::strcmp(mode, "fast") != 0) return usageError("--cg takes plain or fast: %s", mode);
      opt->cg = mode[0] == 'p' ? kOriSimCGPlain : kOriSimCGFast;
    } else if (std::strcmp(a, "--no-triangulate") == 0) {
      opt->triangulate = false;
    } else if (std::strcmp(a, "--next") == 0) {
      if (opt->phases.front().pattern.empty()) return usageError("%s comes after the first pattern", a);
      opt->phases.push_back(Phase{argv[++i], 0});
    } else if (const int taken = foldPicturesParseOption(argc, argv, &i, &opt->pictures, &why); taken != 0) {
      if (taken < 0) return usageError("%s", why.c_str());
    } else if (const int taken = foldContactParseOption(argc, argv, &i, &opt->contact, &opt->thickness, &why); taken != 0) {
      if (taken < 0) return usageError("%s", why.c_str());
    } else if (a[0] == '-' && a[1] != '\0') {
      return usageError("unknown option %s", a);
    } else if (opt->phases.front().pattern.empty() && opt->phases.size() == 1) {
      opt->phases.front().pattern = a;
    } else {
      return usageError("more than one pattern given: %s", a);
    }
  }
  if (opt->phases.front().pattern.empty()) return usageError("%s", "no pattern given");
  if (!foldPicturesCheck(opt->pictures, &why)) return usageError("%s", why.c_str());
  return -1;
}

// Progress on standard error: a bar redrawn in place on a terminal, a few
// plain lines otherwise.
class Progress {
 public:
  explicit Progress(long total) : total_(total), terminal_(isatty(STDERR_FILENO) == 1) {}

  void update(long done, double residual, double max_delta) {
    if (total_ <= 0) return;
    if (terminal_) {
      constexpr int kWidth = 30;
      const int filled = static_cast<int>(kWidth * done / total_);
      std::fprintf(stderr, "\r[%.*s%*s] %ld/%ld steps  residual %.3e  max_delta %.6f", filled,
                   "##############################", kWidth - filled, "", done, total_, residual, max_delta);
      if (done == total_) std::fputc('\n', stderr);
    } else {
      // About ten lines per run, and always the last step.
      const long tenth = done * 10 / total_;
      if (tenth != last_tenth_ || done == total_) {
        std::fprintf(stderr, "plicata-fold: step %ld/%ld residual %.3e max_delta %.6f\n", done, total_, residual,
                     max_delta);
        last_tenth_ = tenth;
      }
    }
    std::fflush(stderr);
  }

  // Ends a bar drawn in place, so that a line on standard output (the same
  // terminal) starts on a line of its own.
  void breakLine() {
    if (terminal_ && total_ > 0) std::fputc('\n', stderr);
  }

 private:
  long total_;
  bool terminal_;
  long last_tenth_ = 0;
};

// The closure residual Σ|g| of the present angles, for the report. The
// corner products are multiplied inline: on a large sheet a library call per
// 3 × 3 product would cost more than the fold step being reported.
double closureResidual(const ORISIM_matrix* osm, const ORI_manifold* om) {
  std::vector<double> g;
  return oriSimSparseResidual(g, osm, om);
}

// After a step: looks for faces passing through each other and keeps the
// step's record, as the options ask, and prints the collision line at the
// first step with pairs. Returns true when folding stops there.
bool diagnoseStep(const Options& opt, const ORISIM_matrix* osm, const ORI_manifold* om, ORI_stepRecord r,
                  std::vector<ORI_stepRecord>* records, bool* collided, Progress* progress) {
  if (opt.collisions) {
    std::vector<std::pair<int, int>> pairs;
    r.intersecting_pairs = oriManifoldSelfIntersections(om, &pairs);
  }
  if (!opt.report.empty()) {
    r.worst_vertex_error = oriFoldWorstVertex(osm, om, &r.worst_vertex);
    records->push_back(r);
  }
  if (r.intersecting_pairs <= 0 || *collided) return false;
  *collided = true;
  progress->breakLine();
  std::fflush(stdout);
  std::printf("collision step=%ld pairs=%d\n", r.step, r.intersecting_pairs);
  return opt.stop_at_collision;
}

int writeObj(ORI_manifold* om, const std::string& name) {
  if (oriManifoldSaveObjFile(om, name.c_str()) != 0) {
    std::fprintf(stderr, "plicata-fold: %s: cannot write: %s\n", name.c_str(), std::strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  const int status = parseOptions(argc, argv, &opt);
  if (status >= 0) return status;
  oriSimSetPathRequest(opt.path);
  oriSimSetCGRequest(opt.cg);

  if (!opt.out.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(opt.out, ec);
    if (ec || !std::filesystem::is_directory(opt.out, ec)) {
      std::fprintf(stderr, "plicata-fold: %s: cannot create the directory: %s\n", opt.out.c_str(),
                   ec ? ec.message().c_str() : "a file of that name is in the way");
      return 1;
    }
  }

  const double step = oriFoldHeldStep(opt.fold_step, opt.unfold ? 1 : 0);
  ORI_frameRecorder rec;
  rec.save_dir = opt.out.c_str();
  rec.save_model = opt.out.empty() ? 0 : 1;
  rec.display_frame = opt.display_frame ? 1 : 0;
  int frame_no = 0;
  double max_delta = 0.0;
  int exit_status = 0;
  long total_steps = 0;
  for (const Phase& phase : opt.phases) total_steps += phase.steps;
  Progress progress(total_steps);
  long done = 0;
  long exact_kept = 0;  // of the records already replaced by --next
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  ORI_fold_recording* fold_rec = nullptr;
  std::vector<ORI_stepRecord> records;
  bool collided = false, stopped = false;
  FoldPictures* pictures = nullptr;
  FoldContactRun contact;
  for (const Phase& phase : opt.phases) {
    const char* name = phase.pattern.c_str();
    ORI_manifold* next = oriManifoldNew();
    const int result = oriManifoldConstructFromFile(next, om, name);
    std::fflush(stdout);
    if (result != kOriOpenOk) {
      std::fprintf(stderr, "plicata-fold: %s: %s\n", name, oriReadError());
      oriManifoldDelete(next);
      exit_status = 1;
      break;
    }
    // The new pattern took the shape of the old model; now it replaces it.
    const int carried = om != nullptr ? 1 : 0;
    if (osm != nullptr) exact_kept += osm->exact_unconverged;
    oriSimDelete(osm);
    oriManifoldDelete(om);
    om = next;
    osm = nullptr;
    oriSimSetFoldTo(om, opt.fold_to / 100.0);
    if (oriManifoldPrepareForFolding(om, opt.triangulate ? 1 : 0, carried, &osm) != 0) {
      std::fprintf(stderr, "plicata-fold: %s: the pattern has no facet to fold\n", name);
      exit_status = 1;
      break;
    }
    std::fflush(stdout);
    if (!foldContactPrepare(&contact, opt.contact, opt.thickness, om)) exit_status = 2;
    if (exit_status != 0) break;
    osm->exact = opt.exact ? 1 : 0;
    if (!opt.fold_out.empty()) {
      // A FOLD file holds one crease pattern: the recording follows the
      // pattern opened last.
      oriFoldRecordingDelete(fold_rec);
      fold_rec = oriFoldRecordingBegin(om);
    }
    if (opt.pictures.requested() && pictures == nullptr) {
      pictures = foldPicturesBegin(opt.pictures, total_steps);
      if (pictures == nullptr || foldPicturesStep(pictures, osm, om, 0) != 0) {
        exit_status = 1;
        break;
      }
    }
    for (long k = 1; k <= phase.steps && !stopped; ++k) {
      const auto start = std::chrono::steady_clock::now();
      ORISIM_stepStats stats{};
      if (foldContactStep(&contact, osm, om, step, &frame_no, &rec, &max_delta, &stats) != 0) {
        std::fprintf(stderr, "plicata-fold: %s: cannot write frame %05d\n", opt.out.c_str(), frame_no);
        exit_status = 1;
        break;
      }
      if (fold_rec != nullptr && oriFoldRecordingFrame(fold_rec, om) != 0) {
        std::fprintf(stderr, "plicata-fold: %s: step %ld gives a shape that cannot be recorded\n",
                     opt.fold_out.c_str(), done + 1);
        exit_status = 1;
        break;
      }
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      const double residual = closureResidual(osm, om);
      progress.update(++done, residual, max_delta);
      stopped = diagnoseStep(opt, osm, om, foldContactRecord(contact, ORI_stepRecord{done, residual, 0.0, -1, stats.cg_iterations, max_delta, ms, -1}),
                             &records, &collided, &progress);
      stopped = foldContactAfterStep(&contact, done) || stopped;
      if (pictures != nullptr && foldPicturesStep(pictures, osm, om, done) != 0) {
        exit_status = 1;
        break;
      }
    }
    if (exit_status != 0 || stopped) break;
  }
  if (pictures != nullptr && exit_status == 0) {
    exit_status = foldPicturesEnd(pictures, osm, om, done);
  } else {
    foldPicturesAbort(pictures);
  }
  if (om == nullptr || osm == nullptr) {
    oriFoldRecordingDelete(fold_rec);
    oriSimDelete(osm);
    oriManifoldDelete(om);
    return exit_status != 0 ? exit_status : 1;
  }
  if (opt.display_frame) oriManifoldUpdateModelMatrix(om);
  if (exit_status == 0 && !opt.obj.empty()) exit_status = writeObj(om, opt.obj);
  if (exit_status == 0 && fold_rec != nullptr && oriFoldRecordingSaveFile(fold_rec, opt.fold_out.c_str()) != 0) {
    std::fprintf(stderr, "plicata-fold: %s: cannot write the FOLD file\n", opt.fold_out.c_str());
    exit_status = 1;
  }
  oriFoldRecordingDelete(fold_rec);
  if (exit_status == 0 && !opt.report.empty() && oriStepReportSave(records, opt.report.c_str()) != 0) {
    std::fprintf(stderr, "plicata-fold: %s: cannot write the report: %s\n", opt.report.c_str(), std::strerror(errno));
    exit_status = 1;
  }
  if (exit_status == 0) {
    std::fflush(stdout);
    std::printf("steps=%ld residual=%.3e max_delta=%.6f", done, closureResidual(osm, om), max_delta);
    if (opt.exact) std::printf(" exact_kept=%ld", exact_kept + osm->exact_unconverged);
    std::printf("\n");
  }
  oriSimDelete(osm);
  oriManifoldDelete(om);
  return exit_status;
}
