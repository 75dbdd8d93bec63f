// plicata-fold: the headless folding command. Loads a crease pattern into
// the core's sheet (sheet/sheet.h), which prepares it as the window
// program's does, folds it step by step as while the space bar is held, and
// writes the shape as OBJ. What is here is the command line: the flag table,
// the loop over the phases and their steps with the progress on standard
// error, the collision line, the mobility line, the pictures
// (tools/fold_pictures.h), the check of the last shape, the failures said
// once, as the sheet words them, and the interruptions
// (tools/fold_interrupt.h), which end the run between steps. Standard output
// carries only the command's own lines: the core's messages (what the loader
// read, dropped or split, the matrix report) go to standard error with
// --verbose and nowhere without it.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "files/write_aside.h"
#include "geometry/message.h"
#include "geometry/paper_color.h"
#include "geometry/self_intersection.h"
#include "geometry/paper_thickness.h"
#include "sheet/sheet.h"
#include "tools/compliant_options.h"
#include "tools/flat_options.h"
#include "tools/fold_blas_start.h"
#include "tools/fold_exports.h"
#include "tools/fold_interrupt.h"
#include "tools/fold_memory.h"
#include "tools/fold_pictures.h"
#include "tools/option_numbers.h"

namespace {

const char kUsage[] =
    "usage: plicata-fold [options] PATTERN [--steps N]... [--next PATTERN2 [--steps N]...]...\n"
    "\n"
    "Loads the crease pattern PATTERN, read by what its name contains: .opx or .xml\n"
    "(XML), .dxf (DXF drawing), .fold (FOLD), .svg (SVG drawing), .cp (ORIPA text).\n"
    "A PATTERN that is no file where it is given is looked for in the bundled\n"
    "examples (PLICATA_EXAMPLES names another folder): plicata-fold miura_4x4.opx\n"
    "Builds its half-edge mesh, triangulates it, chooses the fixed face, places every\n"
    "facet from the fold angles and creates the simulation, then folds it as the\n"
    "window program does while the space bar is held.\n"
    "\n"
    "  --steps N      take N fold steps (default 0) on the pattern opened last; each\n"
    "                 further --steps takes more after them\n"
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
    "                 the steps whose correction failed and kept the ordinary result,\n"
    "                 and exact_halvings=H, the substeps taken again at half their size\n"
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
    "                 (without it only the last shape is looked at, and a shape that\n"
    "                 passes through itself gives a warning on standard error)\n"
    "  --stop-at-collision  the same, and stop folding at that step\n"
    "  --contact      fold on without faces passing through each other: where faces\n"
    "                 meet, the fold lines driving them together stop and the others\n"
    "                 go on; prints\n"
    "                   contact step=K pairs=P\n"
    "                 when the number P of pairs of faces held apart changes, and\n"
    "                   locked step=K\n"
    "                 when nothing can move any more (folding stops there)\n"
    "  --thickness T  the paper's thickness in file units (default 0), at most a\n"
    "                 quarter of the paper size: with --contact, faces that share no\n"
    "                 corner keep their middles T apart; --stl makes a solid this thick\n"
    "  --report FILE  write a JSON report, one record per step: closure residual, worst\n"
    "                 vertex error and its vertex index, CG iterations, largest angle\n"
    "                 change, milliseconds, intersecting pairs (with --collisions), and\n"
    "                 the pairs of faces held apart and whether the fold locked (with\n"
    "                 --contact)\n"
    "  --verbose      also print the loader's messages (what it read, dropped or\n"
    "                 split, the size of the simulation) on standard error\n"
    "  --version      print the version and stop\n"
    "\n"
    "What the pattern can do (from the closure Jacobian's singular values; the\n"
    "triangulation's diagonals are held flat, so that the pattern counts as drawn):\n"
    "  --mobility     after the steps, print before the last line\n"
    "                   mobility dof=K redundant=R\n"
    "                 K independent ways the state can move, R closure equations implied\n"
    "                 by the others; \" flat\" follows at the flat sheet, where the count\n"
    "                 is the first-order one; a count not clear of the rank threshold\n"
    "                 is flagged on standard error\n"
    "  --mobility-diagonals  count the diagonals as hinges (the facets may bend along\n"
    "                 them), in --mobility and --mode; the line then ends \" diagonals\"\n"
    "  --mode K       the --steps after it fold along the K-th fold mode (numbered from 1,\n"
    "                 in an order fixed by the state), then follow the motion started,\n"
    "                 instead of towards the targets; --mode 0 heads for the targets again.\n"
    "                 So --steps 20 --mode 1 --steps 20 folds 20 steps towards the targets,\n"
    "                 then 20 along the first mode of the state reached. A mode that does\n"
    "                 not exist stops the run with one line giving the number of modes.\n"
    "                 A --mode above 0 does not go with --contact\n"
    "  With --report and --mobility or --mode, each record also gives dof.\n"
    "\n"
    "  --help         show this text\n"
    "\n"
    "Progress, warnings and --verbose messages go to standard error; standard output\n"
    "carries only the lines below. SIGINT (Ctrl-C) or SIGTERM stops the run after\n"
    "the step or picture under way: files already written stay, none is left\n"
    "half-written, and the status is 130 or 143. The last line on standard output is\n"
    "  steps=N residual=R max_delta=D\n"
    "with R the closure residual of the final shape and D the largest angle change\n"
    "of the last step.\n";

// Steps taken in one go, towards the targets (mode 0) or along a mode.
struct Run {
  long steps = 0;
  int mode = 0;
};

// One pattern and the runs of steps taken on it; the first is opened flat,
// each further one onto the folded model before it.
struct Phase {
  std::string pattern;
  std::vector<Run> runs;
};

// What the command line asks for: how to fold (the sheet's options), what
// to record, and what to write at the end.
struct Options {
  std::vector<Phase> phases = {Phase{}};
  ORI_foldOptions fold;
  ORI_loadOptions load;
  std::string obj;
  std::string out;
  std::string fold_out;
  std::string report;
  bool display_frame = false;
  bool mobility = false;       // --mobility: the mobility line before the summary
  int mode = 0;                // the --mode in force for the --steps that follow
  bool mode_unused = false;    // a --mode not yet followed by --steps
  bool verbose = false;
  FoldPictureOptions pictures;
  bool stiffness_given = false;
  FoldExportOptions exports;
  bool thickness_given = false;  // --thickness was on the command line
  FlatOptions flat;
};

// A flag's setter: takes its value (null for a flag without one) and
// returns "" or the usage error.
using Setter = std::string (*)(Options* opt, const char* value);

struct Flag {
  const char* name;
  bool takes_value;
  Setter set;
};

std::string ok() { return std::string(); }
std::string needs(const char* what, const char* value) { return std::string(what) + ": " + value; }

std::string setPath(Options* o, int path) {
  if (o->fold.path != kOriSimPathAuto && o->fold.path != path) return "--dense and --sparse exclude each other";
  o->fold.path = path;
  return ok();
}

// Every flag but the pictures' (tools/fold_pictures.h) and --help. A new
// way of folding adds a row here (and a line to kUsage).
const Flag kFlags[] = {
    {"--steps", true,
     [](Options* o, const char* v) {
       long steps = 0;
       if (!parseWhole(v, 0, kOriSheetMaxSteps, &steps)) {
         return needs("--steps needs a whole number of steps, 0 or more", v);
       }
       o->phases.back().runs.push_back(Run{steps, o->mode});
       o->mode_unused = false;
       return ok();
     }},
    {"--next", true,
     [](Options* o, const char* v) {
       if (o->phases.front().pattern.empty()) return std::string("--next comes after the first pattern");
       o->phases.push_back(Phase{v, {}});
       return ok();
     }},
    {"--mode", true,
     [](Options* o, const char* v) {
       long mode = 0;
       if (!parseWhole(v, 0, kOriSheetMaxMode, &mode)) return needs("--mode needs a mode number, 0 or more", v);
       o->mode = static_cast<int>(mode);
       o->mode_unused = true;
       return ok();
     }},
    {"--mobility", false, [](Options* o, const char*) {
       o->mobility = true;
       return ok();
     }},
    {"--mobility-diagonals", false,
     [](Options* o, const char*) {
       o->mobility = o->fold.mobility_diagonals = true;
       return ok();
     }},
    {"--no-triangulate", false, [](Options* o, const char*) {
       o->load.triangulate = false;
       return ok();
     }},
    {"--fold-step", true,
     [](Options* o, const char* v) {
       long k = 0;
       if (!parseWhole(v, 0, kOriFoldStepMax, &k)) return needs("--fold-step needs a whole number from 0 to 50", v);
       o->fold.fold_step = static_cast<int>(k);
       return ok();
     }},
    {"--unfold", false, [](Options* o, const char*) {
       o->fold.unfold = true;
       return ok();
     }},
    {"--fold-to", true,
     [](Options* o, const char* v) {
       long percent = 0;
       if (!parseWhole(v, 0, 100, &percent)) return needs("--fold-to needs a whole percent from 0 to 100", v);
       o->fold.fold_to = percent / 100.0;
       return ok();
     }},
    {"--dense", false, [](Options* o, const char*) { return setPath(o, kOriSimPathDense); }},
    {"--sparse", false, [](Options* o, const char*) { return setPath(o, kOriSimPathSparse); }},
    {"--cg", true,
     [](Options* o, const char* v) {
       if (std::strcmp(v, "plain") != 0 && std::strcmp(v, "fast") != 0) return needs("--cg takes plain or fast", v);
       o->fold.cg = v[0] == 'p' ? kOriSimCGPlain : kOriSimCGFast;
       return ok();
     }},
    {"--exact", false, [](Options* o, const char*) {
       o->fold.exact = true;
       return ok();
     }},
    {"--collisions", false, [](Options* o, const char*) {
       o->fold.collisions = true;
       return ok();
     }},
    {"--stop-at-collision", false,
     [](Options* o, const char*) {
       o->fold.collisions = o->fold.stop_at_collision = true;
       return ok();
     }},
    {"--contact", false, [](Options* o, const char*) {
       o->fold.contact = true;
       return ok();
     }},
    {"--thickness", true,
     [](Options* o, const char* v) {
       // The sheet holds it against the paper of each pattern as it is loaded.
       char* end = nullptr;
       const double t = std::strtod(v, &end);
       if (end == v || *end != '\0') return needs("--thickness needs a number of file units, 0 or more", v);
       std::string why;
       if (oriPaperThicknessCheck(t, 0.0, &why) != 0) return "--thickness " + std::string(v) + " " + why;
       o->fold.thickness = t;
       o->thickness_given = true;
       return ok();
     }},
    {"--out", true,
     [](Options* o, const char* v) {
       o->out = v;
       return o->out.empty() ? std::string("--out needs a directory name") : std::string();
     }},
    {"--obj", true, [](Options* o, const char* v) {
       o->obj = v;
       return ok();
     }},
    {"--display-frame", false, [](Options* o, const char*) {
       o->display_frame = true;
       return ok();
     }},
    {"--fold-out", true, [](Options* o, const char* v) {
       o->fold_out = v;
       return ok();
     }},
    {"--solver", true, [](Options* o, const char* v) { return compliantSetSolver(&o->fold, v); }},
    {"--stiffness", true, [](Options* o, const char* v) { return compliantSetStiffness(&o->fold, v, &o->stiffness_given); }},
    {"--report", true,
     [](Options* o, const char* v) {
       o->report = v;
       return o->report.empty() ? std::string("--report needs a file name") : std::string();
     }},
    {"--verbose", false, [](Options* o, const char*) {
       o->verbose = true;
       return ok();
     }},
};

int usageError(const std::string& why) {
  std::fprintf(stderr, "plicata-fold: %s (see plicata-fold --help)\n", why.c_str());
  return 2;
}

// Returns -1 to go on, or the exit status.
int parseOptions(int argc, char** argv, Options* opt) {
  std::string why;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      std::fputs(kUsage, stdout);
      std::fputs(flatOptionsUsage(), stdout);
      std::fputs(foldPicturesUsage(), stdout);
      std::fputs(compliantUsage(), stdout);
      std::fputs(foldExportsUsage(), stdout);
      return 0;
    }
    if (std::strcmp(a, "--version") == 0) {
      std::printf("plicata-fold %s\n", PLICATA_VERSION);
      return 0;
    }
    const Flag* flag = nullptr;
    for (const Flag& f : kFlags) flag = std::strcmp(a, f.name) == 0 ? &f : flag;
    if (flag != nullptr) {
      if (flag->takes_value && i + 1 >= argc) return usageError(std::string(a) + " needs a value");
      why = flag->set(opt, flag->takes_value ? argv[++i] : nullptr);
      if (!why.empty()) return usageError(why);
    } else if (const int taken = flatOptionsParse(argc, argv, &i, &opt->flat, &why); taken != 0) {
      if (taken < 0) return usageError(why);
    } else if (const int taken = foldPicturesParseOption(argc, argv, &i, &opt->pictures, &why); taken != 0) {
      if (taken < 0) return usageError(why);
    } else if (const int taken = foldExportsParseOption(argc, argv, &i, &opt->exports, &why); taken != 0) {
      if (taken < 0) return usageError(why);
    } else if (a[0] == '-' && a[1] != '\0') {
      return usageError(std::string("unknown option ") + a);
    } else if (opt->phases.front().pattern.empty() && opt->phases.size() == 1) {
      opt->phases.front().pattern = a;
    } else {
      return usageError(std::string("more than one pattern given: ") + a);
    }
  }
  if (opt->phases.front().pattern.empty()) return usageError("no pattern given");
  if (opt->mode_unused) return usageError("--mode comes after the last --steps: it would fold nothing");
  for (const Phase& phase : opt->phases) {
    for (const Run& run : phase.runs) {
      if (opt->fold.contact && run.mode > 0) {
        return usageError("--contact and --mode " + std::to_string(run.mode) +
                          " cannot be used together: choose contact or a mode");
      }
    }
  }
  if (!foldPicturesCheck(opt->pictures, &why)) return usageError(why);
  bool along_mode = false;
  for (const Phase& phase : opt->phases) {
    for (const Run& run : phase.runs) along_mode = along_mode || run.mode > 0;
  }
  if (!(why = compliantCheck(opt->fold, opt->stiffness_given, along_mode)).empty()) return usageError(why);
  // One thickness for the paper: the solid is made as thick as the paper
  // folds, and a paper of no thickness makes no solid.
  if (opt->thickness_given && !opt->exports.stl.empty() && !(opt->fold.thickness > 0.0)) {
    return usageError("--thickness must be above 0 for the solid of --stl");
  }
  opt->exports.thickness = opt->fold.thickness;
  opt->pictures.layer_state = opt->flat.layer_state;
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

// A failure, said once: "plicata-fold: SUBJECT: WHY". Returns the exit
// status of a run that failed.
int failed(const ORI_result& r) {
  std::fflush(stdout);
  std::fprintf(stderr, "plicata-fold: %s\n", oriResultText(r).c_str());
  return 1;
}

// The line of a run that ran out of memory (an address-space limit, ulimit
// -v, too small for the pattern, or a machine without room): said once,
// instead of an abort. Returns the exit status: kOutOfMemory.
constexpr int kOutOfMemory = 3;
int outOfMemory(const char* pattern, long steps) {
  std::fflush(stdout);
  std::fprintf(stderr, "plicata-fold: %s: out of memory after step %ld; files already written are whole, the rest "
               "were not written\n", pattern, steps);
  return kOutOfMemory;
}

// What every step records, from the options.
ORI_recordOptions recordingOf(const Options& opt) {
  ORI_recordOptions rec;
  rec.frames.save_dir = opt.out.c_str();
  rec.frames.save_model = opt.out.empty() ? 0 : 1;
  rec.frames.display_frame = opt.display_frame ? 1 : 0;
  rec.fold = !opt.fold_out.empty();
  rec.fold_path = opt.fold_out;
  rec.residual = true;  // the progress shows it
  rec.report = !opt.report.empty();
  bool moded = false;
  for (const Phase& phase : opt.phases) {
    for (const Run& run : phase.runs) moded = moded || run.mode > 0;
  }
  rec.dof = rec.report && (opt.mobility || moded);
  return rec;
}

// Loads every phase's pattern into the sheet and folds it its steps, with
// the progress, the collision line and the pictures. Returns 0, or 1 after
// the failure's line.
int foldPhases(const Options& opt, ORI_sheet* sheet) {
  long total_steps = 0;
  for (const Phase& phase : opt.phases) {
    for (const Run& run : phase.runs) total_steps += run.steps;
  }
  Progress progress(total_steps);
  FoldPictures* pictures = nullptr;
  FoldExports exports(opt.exports);
  int status = 0;
  bool stopped = false;
  const char* name = opt.phases.empty() ? "" : opt.phases[0].pattern.c_str();
  try {
    for (size_t k = 0; k < opt.phases.size() && status == 0 && !stopped; ++k) {
      name = opt.phases[k].pattern.c_str();
      if (k > 0 && (status = foldPicturesPhaseEnd(pictures, oriSheetManifold(sheet))) != 0) break;
      const ORI_result loaded = k == 0 ? oriSheetLoad(sheet, name, opt.load) : oriSheetOpenNext(sheet, name, opt.load);
      std::fflush(stdout);
      if (oriFailed(loaded)) {
        status = failed(loaded);
        break;
      }
      if (foldInterrupted() != 0) {
        status = 1;
        break;
      }
      if (opt.pictures.requested() && pictures == nullptr) {
        pictures = foldPicturesBegin(opt.pictures, total_steps);
        if (pictures == nullptr || foldPicturesStep(pictures, oriSheetSim(sheet), oriSheetManifold(sheet), 0) != 0) {
          status = 1;
          break;
        }
      }
      status = exports.begin(oriSheetManifold(sheet), oriSheetCounts(sheet).steps, name);
      for (const Run& run : opt.phases[k].runs) {
        if (status != 0) break;
        ORI_foldOptions options = oriSheetOptions(sheet);
        options.mode = run.mode;
        if (const ORI_result set = oriSheetSetOptions(sheet, options); oriFailed(set)) {
          status = failed(set);
          break;
        }
        for (long n = 0; n < run.steps && !stopped && status == 0; ++n) {
          if (foldInterrupted() != 0) {
            status = 1;
            break;
          }
          ORI_sheetStep step;
          const ORI_result r = oriSheetStep(sheet, &step);
          if (oriFailed(r)) {
            progress.breakLine();
            status = failed(r);
            break;
          }
          progress.update(step.record.step, step.record.residual, step.record.max_delta);
          compliantReport(step);
          if (step.first_collision) {
            progress.breakLine();
            std::fflush(stdout);
            std::printf("collision step=%ld pairs=%d\n", step.record.step, step.record.intersecting_pairs);
          }
          if (step.contact_changed || step.record.locked) {
            progress.breakLine();
            std::fflush(stdout);
            if (step.contact_changed) {
              std::printf("contact step=%ld pairs=%d\n", step.record.step, step.record.active_contacts);
            }
            if (step.record.locked) std::printf("locked step=%ld\n", step.record.step);
          }
          stopped = step.stop;
          if (exports.step(oriSheetManifold(sheet), step.record.step) != 0 || (pictures != nullptr &&
              foldPicturesStep(pictures, oriSheetSim(sheet), oriSheetManifold(sheet), step.record.step) != 0)) {
            status = 1;
          }
        }
        if (status != 0 || stopped) break;
      }
    }
    if (pictures != nullptr && status == 0) {
      // foldPicturesEnd frees them when it returns, even when it fails.
      status = foldPicturesEnd(pictures, oriSheetSim(sheet), oriSheetManifold(sheet), oriSheetCounts(sheet).steps);
      pictures = nullptr;
    }
    if (status == 0) status = exports.end(oriSheetManifold(sheet));
  } catch (const std::bad_alloc&) {
    progress.breakLine();
    status = outOfMemory(name, oriSheetCounts(sheet).steps);
  }
  // Unfinished pictures leave nothing: their temporary files are removed
  // and ffmpeg is stopped.
  foldPicturesAbort(pictures);
  if (foldInterrupted() != 0) progress.breakLine();
  return status;
}

// The line and the status of a run that a signal stopped: 128 + its number,
// as a shell reports a process the signal ended.
int interrupted(int signal, const ORI_sheet* sheet, const Options& opt) {
  long total_steps = 0;
  for (const Phase& phase : opt.phases) {
    for (const Run& run : phase.runs) total_steps += run.steps;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "plicata-fold: stopped by %s after step %ld of %ld; files already written are whole, the rest "
               "were not written\n",
               signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal", oriSheetCounts(sheet).steps,
               total_steps);
  return 128 + signal;
}

// --mobility: "mobility dof=K redundant=R", " flat" at the flat sheet and
// " diagonals" when they count as hinges; a count not clear of the rank
// threshold is flagged on standard error. Returns 0, or 1 after the
// analysis's failure.
int printMobility(ORI_sheet* sheet) {
  ORISIM_mobility m;
  const ORI_result r = oriSheetMobility(sheet, &m);
  if (oriFailed(r)) return failed(r);
  std::fflush(stdout);
  std::printf("mobility dof=%d redundant=%d%s%s\n", m.dof, m.redundant, m.flat ? " flat" : "",
              m.diagonals == kOriMobilityDiagonalsHinge ? " diagonals" : "");
  if (!m.sure) {
    std::fflush(stdout);
    std::fprintf(stderr,
                 "plicata-fold: mobility: the count is not sure: the singular values round the threshold %.1e "
                 "are %.2e (kept) and %.2e (dropped), relative to the largest%s%s\n",
                 kOriMobilityRankTolerance, m.sigma_max > 0 ? m.sigma_kept / m.sigma_max : 0.0,
                 m.sigma_max > 0 ? m.sigma_dropped / m.sigma_max : 0.0, m.reason.empty() ? "" : "; ",
                 m.reason.c_str());
  }
  return 0;
}

// Without --collisions no step was looked at: the last shape is, once, so
// that a fold that passes through itself does not end in silence.
void warnIfLastShapeCollides(const Options& opt, ORI_sheet* sheet) {
  // A sheet never folded lies flat, as its pattern does: nothing to look at.
  if (opt.fold.collisions || oriSheetCounts(sheet).steps == 0) return;
  std::vector<std::pair<int, int>> found;
  const int pairs = oriManifoldSelfIntersections(oriSheetManifold(sheet), &found);
  if (pairs <= 0) return;
  std::fprintf(stderr,
               "plicata-fold: warning: in the last shape (step %ld) %d pair%s of faces pass%s through each other; "
               "--collisions finds the first step where faces do\n",
               oriSheetCounts(sheet).steps, pairs, pairs == 1 ? "" : "s", pairs == 1 ? "es" : "");
}

// The files asked for at the end, the check of the last shape, then the
// summary line.
int finish(const Options& opt, ORI_sheet* sheet) {
  ORI_result r;
  if (!opt.obj.empty()) r = oriSheetSaveObj(sheet, opt.obj.c_str());
  if (!oriFailed(r) && !opt.fold_out.empty()) r = oriSheetSaveFold(sheet, opt.fold_out.c_str(), 0);
  if (!oriFailed(r) && !opt.report.empty()) r = oriSheetSaveReport(sheet, opt.report.c_str());
  if (oriFailed(r)) return failed(r);
  if (const int flat = flatOptionsRun(opt.flat, sheet); flat != 0) return flat;
  if (opt.mobility && printMobility(sheet) != 0) return 1;
  warnIfLastShapeCollides(opt, sheet);
  const ORI_sheetCounts counts = oriSheetCounts(sheet);
  std::fflush(stdout);
  std::printf("steps=%ld residual=%.3e max_delta=%.6f", counts.steps, oriSheetResidual(sheet),
              oriSheetLastStep(sheet).record.max_delta);
  if (opt.fold.exact) std::printf(" exact_kept=%ld", counts.exact_kept);
  if (opt.fold.exact) std::printf(" exact_halvings=%ld", counts.exact_halvings);
  if (opt.fold.solver == kOriSolverCompliant) std::printf(" compliant_kept=%ld", counts.compliant_kept);
  std::printf("\n");
  return 0;
}

// The core's messages: to standard error with --verbose, else dropped.
void toStderr(void*, const char* text, size_t length) { std::fwrite(text, 1, length, stderr); }
void dropped(void*, const char*, size_t) {}

}  // namespace

int main(int argc, char** argv) {
  foldStartBlasOnOneThread(argv);
  foldMemorySettle();
  Options opt;
  const int usage = parseOptions(argc, argv, &opt);
  if (usage >= 0) return usage;
  oriSetMessageSink(opt.verbose ? toStderr : dropped, nullptr);
  if (!opt.out.empty()) {
    const ORI_result made = oriMakeDirectory(opt.out.c_str());
    if (oriFailed(made)) return failed(made);
  }
  // The pictures show the paper in the colours of the paper colour file.
  ORI_paperColors paper;
  if (opt.pictures.requested()) {
    oriPaperColorsLoad(&paper, kOriPaperColorFile);
    opt.load.paper = &paper;
  }
  foldInterruptsCatch();
  ORI_sheet* sheet = oriSheetNew(&opt.fold);
  oriSheetSetRecording(sheet, recordingOf(opt));
  int status = foldPhases(opt, sheet);
  if (const int signal = foldInterrupted(); signal != 0) {
    status = interrupted(signal, sheet, opt);
  } else if (oriSheetManifold(sheet) == nullptr) {
    status = status != 0 ? status : 1;
  } else if (status == 0) {
    try {
      status = finish(opt, sheet);
    } catch (const std::bad_alloc&) {
      status = outOfMemory(opt.phases.back().pattern.c_str(), oriSheetCounts(sheet).steps);
    }
  }
  // A sheet that ran out of memory mid-step is left to the system: its
  // parts may not agree.
  if (status != kOutOfMemory) oriSheetDelete(sheet);
  return status;
}
