// The sheet. Sections: the record; options; loading (read, adopt); the step
// (foldOnce, foldAlongMode, recordStep, measureStep); clearing and targets;
// FOLD recording and saving; what the sheet holds.
#include "sheet/sheet.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "files/fold_export.h"
#include "flat/flat_state.h"
#include "files/obj_export.h"
#include "geometry/manifold.h"
#include "geometry/paper_thickness.h"
#include "geometry/self_intersection.h"
#include "input/examples_dir.h"
#include "input/pattern_file.h"
#include "input/pattern_gen.h"
#include "input/read_error.h"
#include "sim/display_frame.h"
#include "sim/fold_status.h"
#include "sim/prepare.h"
#include "sim/sparse_jacobian.h"

// ---- The record ----------------------------------------------------------------

namespace {

// A pattern read and not yet prepared.
struct Pending {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;  // made by oriSheetPrepare
  bool carried = false;          // placed on the folded pattern it was read onto
  std::string name;
};

}  // namespace

struct ORI_sheet {
  ORI_foldOptions options;
  ORI_recordOptions recording;
  std::string frame_dir;               // what recording.frames.save_dir points to
  ORI_manifold* om = nullptr;          // the present pattern and its record
  ORISIM_matrix* osm = nullptr;
  ORISIM_compliant* compliant = nullptr;  // the compliant solver's state of the present pattern, made at its first step
  long compliant_kept = 0;             // compliant steps that kept the last shape, over the sheet's life
  std::string source;
  ORI_sheetIndex index;
  Pending pending;
  ORI_fold_recording* fold = nullptr;  // the running FOLD recording
  std::string fold_path;               // the file it is for
  long steps = 0;                      // over the sheet's life
  long pattern_steps = 0;              // on the present pattern since adopted or flattened
  long exact_kept_before = 0;          // exact-mode steps kept back by the patterns replaced
  long exact_halvings_before = 0;      // exact-mode substeps halved by the patterns replaced
  long first_collision = 0;
  int frame_no = 0;
  ORI_sheetStep last;
  std::vector<ORI_stepRecord> records;
  ORISIM_contact* contact = nullptr;   // contact's state while options.contact is set
  int held = 0;                        // pairs of faces contact held apart in the last step
  // The present pattern's flat-folded state, analysed on first demand and
  // dropped with the pattern or its targets; flat_options as analysed.
  ORI_flatState flat;
  bool flat_valid = false;
  ORI_layerOptions flat_options;
  ORISIM_mobilityState* mobility = oriSimMobilityNew();  // of the present pattern; reset when one is adopted
};

// ---- Options -------------------------------------------------------------------

namespace {

// The thickness against a paper of side paper (file units; 0: any paper),
// its failure's subject given.
ORI_result thicknessFor(double thickness, double paper, const std::string& subject) {
  std::string why;
  if (oriPaperThicknessCheck(thickness, paper, &why) == 0) return oriOk();
  char value[32];
  std::snprintf(value, sizeof value, "%g", thickness);
  return oriFail(kOriFailArgument, subject, std::string("thickness ") + value + " " + why);
}

ORI_result checkOptions(const ORI_foldOptions& o) {
  if (o.fold_step < 0 || o.fold_step > kOriFoldStepMax) {
    return oriFail(kOriFailArgument, "", "fold_step must be from 0 to " + std::to_string(kOriFoldStepMax));
  }
  if (std::isnan(o.fold_to)) return oriFail(kOriFailArgument, "", "fold_to must be a number from 0 to 1");
  if (o.path != kOriSimPathAuto && o.path != kOriSimPathDense && o.path != kOriSimPathSparse) {
    return oriFail(kOriFailArgument, "", "path must be auto, dense or sparse");
  }
  if (o.cg != kOriSimCGFast && o.cg != kOriSimCGPlain) return oriFail(kOriFailArgument, "", "cg must be fast or plain");
  if (o.solver != kOriSolverRigid && o.solver != kOriSolverCompliant) {
    return oriFail(kOriFailArgument, "", "solver must be rigid or compliant");
  }
  std::string why;
  if (!oriSimStiffnessCheck(o.stiffness, &why)) return oriFail(kOriFailArgument, "", why);
  if (o.exact && o.solver == kOriSolverCompliant) {
    return oriFail(kOriFailArgument, "", "exact closes the rigid solver's steps: it does not go with the compliant solver");
  }
  if (o.mode < 0 || o.mode > kOriSheetMaxMode) {
    return oriFail(kOriFailArgument, "", "mode must be from 0 to " + std::to_string(kOriSheetMaxMode));
  }
  // The modes are the rigid facets' motions; the compliant solver bends
  // the facets and follows its rest angles instead.
  if (o.mode > 0 && o.solver == kOriSolverCompliant) {
    return oriFail(kOriFailArgument, "", "mode folds along a rigid fold mode: it does not go with the compliant solver");
  }
  // Contact limits the rigid step's solve; the compliant one has no such
  // limits, and would pass the faces through each other unsaid.
  if (o.contact && o.solver == kOriSolverCompliant) {
    return oriFail(kOriFailArgument, "", "contact stops the rigid solver's faces: it does not go with the compliant solver");
  }
  // A step along a mode heads along the mode's direction, which the contact
  // step's constrained solve does not take: refused rather than a step
  // along a mode that passes through the paper.
  if (o.contact && o.mode > 0) {
    return oriFail(kOriFailArgument, "", "contact and mode cannot be used together: choose contact or a mode");
  }
  return thicknessFor(o.thickness, 0.0, "");
}

// The compliant solver's state is forgotten (and made again from the
// present shape at the next compliant step).
void dropCompliant(ORI_sheet* s) {
  oriSimCompliantDelete(s->compliant);
  s->compliant = nullptr;
}

// Gives the present pattern the options that live on its records, and
// contact its state. The compliant state goes with another solver or other
// constants, and takes a new fold amount at once.
void applyOptions(ORI_sheet* s) {
  if (s->om != nullptr) oriSimSetFoldTo(s->om, s->options.fold_to);
  if (s->osm != nullptr) s->osm->exact = s->options.exact ? 1 : 0;
  const ORISIM_stiffness& k = s->options.stiffness;
  if (s->compliant != nullptr) {
    const ORISIM_stiffness& had = s->compliant->options.stiffness;
    if (s->options.solver != kOriSolverCompliant || had.fold != k.fold || had.facet != k.facet || had.axial != k.axial) {
      dropCompliant(s);
    }
  }
  if (s->compliant != nullptr && s->om != nullptr) oriSimCompliantSetGoals(s->compliant, s->om);
  s->mobility->diagonals = s->options.mobility_diagonals ? kOriMobilityDiagonalsHinge : kOriMobilityDiagonalsHeld;
  if (!s->options.contact) {
    oriSimContactDelete(std::exchange(s->contact, nullptr));
    s->held = 0;
    return;
  }
  if (s->contact == nullptr) s->contact = oriSimContactNew();
  std::string why;
  oriSimContactSetThickness(s->contact, s->om, s->options.thickness, &why);  // checked before
}

void takeOptions(ORI_sheet* s, const ORI_foldOptions& options) {
  s->options = options;
  s->options.fold_to = std::max(0.0, std::min(1.0, options.fold_to));
  applyOptions(s);
}

}  // namespace

ORI_sheet* oriSheetNew(const ORI_foldOptions* options) {
  ORI_sheet* s = new ORI_sheet();
  if (options != nullptr && !oriFailed(checkOptions(*options))) takeOptions(s, *options);
  oriSheetSetRecording(s, ORI_recordOptions());
  return s;
}

void oriSheetDelete(ORI_sheet* s) {
  if (s == nullptr) return;
  oriSheetDropPending(s);
  oriFlatStateClear(&s->flat);
  oriFoldRecordingDelete(s->fold);
  dropCompliant(s);
  oriSimContactDelete(s->contact);
  oriSimDelete(s->osm);
  oriManifoldDelete(s->om);
  oriSimMobilityDelete(s->mobility);
  delete s;
}

ORI_result oriSheetSetOptions(ORI_sheet* s, const ORI_foldOptions& options) {
  ORI_result r = checkOptions(options);
  if (!oriFailed(r) && s->om != nullptr) r = thicknessFor(options.thickness, s->om->paper_size, "");
  if (!oriFailed(r)) takeOptions(s, options);
  return r;
}

const ORI_foldOptions& oriSheetOptions(const ORI_sheet* s) { return s->options; }

void oriSheetSetRecording(ORI_sheet* s, const ORI_recordOptions& recording) {
  s->recording = recording;
  // The recorder points at the directory's name: at the sheet's own copy.
  s->frame_dir = recording.frames.save_dir != nullptr ? recording.frames.save_dir : ORI_frameRecorder().save_dir;
  s->recording.frames.save_dir = s->frame_dir.c_str();
  if (s->recording.fold && s->fold == nullptr) oriSheetStartFold(s);
}

const ORI_recordOptions& oriSheetRecording(const ORI_sheet* s) { return s->recording; }

// ---- Loading -------------------------------------------------------------------

namespace {

// A reader's failure as the sheet returns it: the reader's own reason
// (input/read_error.h, the readers' channel) wrapped once.
ORI_result readFailure(int open_result, const char* name) {
  const std::string why = oriReadError();
  const int code = open_result == kOriOpenUnsupported   ? kOriFailUnsupported
                   : open_result == kOriOpenUnreadable ? kOriFailUnreadable
                                                       : kOriFailRead;
  return oriFail(code, name, why.empty() ? "cannot be read" : why);
}

// A fresh mesh for a pattern about to be read, in the load's paper colours;
// the pending pattern it replaces is forgotten.
ORI_manifold* freshPending(ORI_sheet* s, const ORI_loadOptions& load) {
  oriSheetDropPending(s);
  ORI_manifold* om = oriManifoldNew();
  if (load.paper != nullptr) oriManifoldSetPaperColors(om, load.paper);
  return om;
}

ORI_result keepPending(ORI_sheet* s, ORI_manifold* om, bool carried, const char* name) {
  s->pending.om = om;
  s->pending.carried = carried;
  s->pending.name = name;
  return oriOk();
}

// The records of the present pattern by number (see ORI_sheetIndex).
template <typename T>
std::vector<T*> listed(const List* top) {
  std::vector<T*> out;
  for (const List* n = top; n != nullptr && n->data != nullptr; n = n->next) out.push_back(static_cast<T*>(n->data));
  return out;
}

void buildIndex(ORI_sheet* s) {
  ORI_sheetIndex& x = s->index;
  x.verts = listed<ORI_vert>(s->om->verts);
  x.faces = listed<ORI_face>(s->om->faces);
  for (size_t k = 0; k < x.verts.size(); ++k) {
    assert(x.verts[k]->index == static_cast<int>(k) && "the preparation numbers vertices in list order");
  }
  x.creases.assign(static_cast<size_t>(s->osm->n), nullptr);
  for (ORI_edge* e : listed<ORI_edge>(s->om->edges)) {
    const int c = e->crease_index;
    if (c >= 0 && c < s->osm->n && x.creases[c] == nullptr) x.creases[c] = e;
  }
  for (const ORI_edge* e : x.creases) {
    assert(e != nullptr && "every crease has a half-edge");
    (void)e;
  }
  x.inner.assign(static_cast<size_t>(s->osm->m / 3), nullptr);
  for (ORI_vert* v : x.verts) {
    if (v->sim_index >= 0 && v->sim_index < s->osm->m / 3) x.inner[v->sim_index] = v;
  }
}

}  // namespace

ORI_result oriSheetRead(ORI_sheet* s, const char* path, int onto_folded, const ORI_loadOptions& load) {
  // A name of a format that is no file where it is given may be an example's.
  std::string file = path;
  if (oriPatternFormat(path) != kOriPatternUnknown) {
    const ORI_result where = oriFindPattern(path, &file);
    if (oriFailed(where)) {
      oriSheetDropPending(s);
      return where;
    }
  }
  ORI_manifold* om = freshPending(s, load);
  const int result = oriManifoldConstructFromFile(om, onto_folded ? s->om : nullptr, file.c_str());
  if (result != kOriOpenOk) {
    oriManifoldDelete(om);
    return readFailure(result, path);
  }
  return keepPending(s, om, onto_folded && s->om != nullptr, file.c_str());
}

ORI_result oriSheetReadStream(ORI_sheet* s, FILE* fp, const char* name, int onto_folded, const ORI_loadOptions& load) {
  ORI_manifold* om = freshPending(s, load);
  const int result = oriManifoldConstructFromStream(om, onto_folded ? s->om : nullptr, fp, name);
  if (result != kOriOpenOk) {
    oriManifoldDelete(om);
    return readFailure(result, name);
  }
  return keepPending(s, om, onto_folded && s->om != nullptr, name);
}

ORI_result oriSheetReadPattern(ORI_sheet* s, CreasePattern* cp, const char* name, const ORI_loadOptions& load) {
  ORI_manifold* om = freshPending(s, load);
  oriClearReadError();
  if (oriManifoldConstructFromPattern(om, cp) != 0) {
    oriManifoldDelete(om);
    const std::string why = oriReadError();
    return oriFail(kOriFailRead, name, why.empty() ? "cannot build the pattern" : why);
  }
  return keepPending(s, om, false, name);
}

bool oriSheetPendingTriangulated(const ORI_sheet* s) {
  return s->pending.om != nullptr && oriManifoldTriangulated(s->pending.om);
}

void oriSheetDropPending(ORI_sheet* s) {
  oriSimDelete(s->pending.osm);
  oriManifoldDelete(s->pending.om);
  s->pending = Pending();
}

ORI_result oriSheetPrepare(ORI_sheet* s, int triangulate) {
  Pending& p = s->pending;
  if (p.om == nullptr) return oriFail(kOriFailNoPattern, "", "no pattern has been read");
  oriSimDelete(std::exchange(p.osm, nullptr));
  oriSimSetFoldTo(p.om, s->options.fold_to);
  // The record takes the sheet's solver path and iteration; the thread's
  // own requests are left as they were.
  const int path = oriSimPathRequest(), cg = oriSimCGRequest();
  oriSimSetPathRequest(s->options.path);
  oriSimSetCGRequest(s->options.cg);
  const int prepared = oriManifoldPrepareForFolding(p.om, triangulate, p.carried ? 1 : 0, &p.osm);
  oriSimSetPathRequest(path);
  oriSimSetCGRequest(cg);
  if (prepared != 0) {
    const ORI_result r = oriFail(kOriFailEmpty, p.name, "the pattern has no facet to fold");
    oriSheetDropPending(s);
    return r;
  }
  const ORI_result thick = thicknessFor(s->options.thickness, p.om->paper_size, p.name);
  if (oriFailed(thick)) oriSheetDropPending(s);
  return thick;
}

ORI_result oriSheetAdopt(ORI_sheet* s) {
  if (s->pending.om == nullptr || s->pending.osm == nullptr) {
    return oriFail(kOriFailNoPattern, "", "no prepared pattern to adopt");
  }
  Pending p = std::exchange(s->pending, Pending());
  if (s->osm != nullptr) s->exact_kept_before += s->osm->exact_unconverged;
  if (s->osm != nullptr) s->exact_halvings_before += s->osm->exact_halvings;
  const bool was_recording = s->fold != nullptr;
  oriSheetDropFold(s);
  dropCompliant(s);
  oriSimDelete(s->osm);
  oriManifoldDelete(s->om);
  s->om = p.om;
  s->osm = p.osm;
  s->source = std::move(p.name);
  s->pattern_steps = 0;
  oriFlatStateClear(&s->flat);
  s->flat_valid = false;
  // The analysis keeps pointers to the mesh and its record: a new pattern
  // may be given the old one's addresses.
  oriSimMobilityReset(s->mobility);
  applyOptions(s);
  oriSimContactForget(s->contact);
  buildIndex(s);
  // A FOLD file holds one crease pattern: a recording starts again from the new one.
  if (was_recording || s->recording.fold) oriSheetStartFold(s);
  return oriOk();
}

namespace {

ORI_result prepareAndAdopt(ORI_sheet* s, const ORI_result& read, const ORI_loadOptions& load) {
  if (oriFailed(read)) return read;
  const ORI_result prepared = oriSheetPrepare(s, load.triangulate ? 1 : 0);
  return oriFailed(prepared) ? prepared : oriSheetAdopt(s);
}

}  // namespace

ORI_result oriSheetLoad(ORI_sheet* s, const char* path, const ORI_loadOptions& load) {
  return prepareAndAdopt(s, oriSheetRead(s, path, 0, load), load);
}

ORI_result oriSheetOpenNext(ORI_sheet* s, const char* path, const ORI_loadOptions& load) {
  return prepareAndAdopt(s, oriSheetRead(s, path, 1, load), load);
}

// ---- The step ------------------------------------------------------------------

namespace {

using Clock = std::chrono::steady_clock;

// The solver of a step along a mode, for oriFoldStepWith.
struct ModeStep {
  ORISIM_mobilityState* state;
  int mode;
  int refused;  // oriSimMobilityStep's negative answer
  std::string reason;
};

double modeSolve(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats, void* user) {
  ModeStep* m = static_cast<ModeStep*>(user);
  const double delta = oriSimMobilityStep(m->state, osm, om, step, m->mode, stats, nullptr, &m->reason);
  if (delta < 0.0) m->refused = static_cast<int>(delta);
  return delta;
}

// A step along options.mode (sim/mobility.h), with the frames. Returns 0,
// -1 when an OBJ frame could not be written, or -2 with *refused set when
// the step was refused (nothing moved).
int foldAlongMode(ORI_sheet* s, double step, const ORI_frameRecorder* frames, ORISIM_stepStats* stats,
                  double* max_delta, ORI_result* refused) {
  ModeStep m{s->mobility, s->options.mode, 0, std::string()};
  const int result = oriFoldStepWith(s->osm, s->om, step, modeSolve, &m, &s->frame_no, frames, max_delta, stats);
  if (result == -2) *refused = oriFail(m.refused == -2 ? kOriFailArgument : kOriFailSolve, "", m.reason);
  return result;
}

// The solver's step with the OBJ frames and captures (sim/fold_step.h).
// Every way of folding is dispatched here, by its option. Returns 0, -1
// when an OBJ frame could not be written (*failure says which and why), or
// -2 when the step was refused (*refused says why; nothing moved): the
// compliant solver cannot take the pattern, or a mode step was refused.
// r receives the solver's figures.
int foldOnce(ORI_sheet* s, double step, ORI_sheetStep* r, ORI_frameFailure* failure, ORI_result* refused) {
  ORI_frameRecorder frames = s->recording.frames;
  frames.failure = failure;
  const bool recorded = frames.save_model || frames.save_screen;
  if (s->options.solver == kOriSolverCompliant) {
    if (s->compliant == nullptr) {
      ORISIM_compliantOptions options;
      options.stiffness = s->options.stiffness;
      std::string why;
      s->compliant = oriSimCompliantNew(s->om, options, &why);
      if (s->compliant == nullptr) {
        *refused = oriFail(kOriFailArgument, s->source, why);
        return -2;
      }
    }
    s->mobility->direction.clear();
    const int written = oriSimCompliantFoldStep(s->compliant, s->osm, s->om, step, &s->frame_no,
                                                recorded ? &frames : nullptr, &r->record.max_delta, &r->compliant);
    if (r->compliant.status != kOriCompliantConverged) ++s->compliant_kept;
    return written;
  }
  if (s->options.mode > 0) {
    return foldAlongMode(s, step, recorded ? &frames : nullptr, &r->stats, &r->record.max_delta, refused);
  }
  // An ordinary step ends the motion a mode step followed.
  s->mobility->direction.clear();
  if (s->options.contact && s->contact != nullptr) {
    return oriFoldStep(s->osm, s->om, step, "CG", &s->frame_no, recorded ? &frames : nullptr, &r->record.max_delta,
                       &r->stats, s->contact, &r->contact);
  }
  return oriFoldStep(s->osm, s->om, step, "CG", &s->frame_no, recorded ? &frames : nullptr, &r->record.max_delta,
                     &r->stats);
}

// The FOLD frame of the step just taken. Returns 0, or -1 when the shape
// cannot be kept.
int recordStep(ORI_sheet* s) {
  if (!s->recording.fold) return 0;
  if (s->fold == nullptr) oriSheetStartFold(s);
  return s->fold != nullptr ? oriFoldRecordingFrame(s->fold, s->om) : 0;
}

// The figures of the present shape the options and the recording ask for,
// and the first collision.
void measureStep(ORI_sheet* s, ORI_sheetStep* r) {
  const ORI_recordOptions& rec = s->recording;
  if (rec.residual || rec.report) r->record.residual = oriSheetResidual(s);
  if (s->options.collisions) {
    std::vector<std::pair<int, int>> pairs;
    r->record.intersecting_pairs = oriManifoldSelfIntersections(s->om, &pairs);
  }
  if (rec.dof) {
    ORISIM_mobility mobility;
    r->record.dof = oriSimMobilityAnalyse(s->mobility, s->osm, s->om, &mobility) == kOriMobilityOk ? mobility.dof : -1;
  }
  if (rec.report) {
    r->record.worst_vertex_error = oriFoldWorstVertex(s->osm, s->om, &r->record.worst_vertex);
    s->records.push_back(r->record);
  }
  if (r->record.intersecting_pairs > 0 && s->first_collision == 0) {
    s->first_collision = r->record.step;
    r->first_collision = true;
    r->stop = r->stop || s->options.stop_at_collision;
  }
}

}  // namespace

ORI_result oriSheetStepBy(ORI_sheet* s, double step, ORI_sheetStep* out) {
  if (s->om == nullptr || s->osm == nullptr) return oriFail(kOriFailNoPattern, "", "no pattern to fold");
  ORI_sheetStep r;
  const Clock::time_point start = Clock::now();
  ORI_frameFailure failure;
  ORI_result refused;
  const int written = foldOnce(s, step, &r, &failure, &refused);
  if (written == -2) return refused;
  ++s->steps;
  ++s->pattern_steps;
  r.record.step = s->steps;
  r.record.cg_iterations = r.stats.cg_iterations;
  if (s->options.contact) {
    r.record.active_contacts = r.contact.active;
    r.record.locked = r.contact.locked;
    r.contact_changed = r.contact.active != s->held;
    r.stop = r.contact.locked != 0;
    s->held = r.contact.active;
  }
  ORI_result result;
  if (written != 0) {
    // The frame's file and the system's reason ("No space left on device").
    char name[32];
    std::snprintf(name, sizeof name, "/m%05d.obj", failure.frame_no >= 0 ? failure.frame_no : s->frame_no);
    result = oriFail(kOriFailWrite, s->frame_dir + name,
                     std::string("cannot write: ") + std::strerror(failure.error != 0 ? failure.error : EIO));
  } else if (recordStep(s) != 0) {
    result = oriFail(kOriFailRecord, s->fold_path,
                     "step " + std::to_string(s->steps) + " gives a shape that cannot be recorded");
  }
  r.record.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (!oriFailed(result)) measureStep(s, &r);
  s->last = r;
  if (out != nullptr) *out = r;
  return result;
}

ORI_result oriSheetStep(ORI_sheet* s, ORI_sheetStep* out) {
  return oriSheetStepBy(s, oriFoldHeldStep(s->options.fold_step, s->options.unfold ? 1 : 0), out);
}

// ---- Clearing and targets ----------------------------------------------------

void oriSheetClear(ORI_sheet* s) {
  if (s->om == nullptr || s->osm == nullptr) return;
  oriSimClearCrease(s->om, s->osm);
  dropCompliant(s);
  oriSimContactForget(s->contact);
  s->held = 0;
  s->pattern_steps = 0;
  s->mobility->direction.clear();
}

ORI_result oriSheetSetTargets(ORI_sheet* s, const double* targets, size_t count) {
  if (s->om == nullptr) return oriFail(kOriFailNoPattern, "", "no pattern to set targets on");
  const std::vector<ORI_edge*>& creases = s->index.creases;
  if (count != creases.size()) return oriFail(kOriFailArgument, "", "one target per crease");
  for (size_t c = 0; c < count; ++c) {
    if (!std::isfinite(targets[c]) || std::fabs(targets[c]) > M_PI) {
      return oriFail(kOriFailArgument, "", "target " + std::to_string(c) + " is not a finite angle within ±π");
    }
  }
  // The step reads the target of each half-edge it meets: both halves agree.
  for (size_t c = 0; c < count; ++c) {
    creases[c]->target_angle = targets[c];
    creases[c]->pair->target_angle = targets[c];
  }
  if (s->compliant != nullptr) oriSimCompliantSetGoals(s->compliant, s->om);
  // The flat state reads the targets' signs: analysed again when next asked.
  oriFlatStateClear(&s->flat);
  s->flat_valid = false;
  return oriOk();
}

// ---- Recording and saving ----------------------------------------------------

int oriSheetNextFrame(ORI_sheet* s) { return ++s->frame_no; }

void oriSheetStartFold(ORI_sheet* s) {
  oriSheetDropFold(s);
  if (s->om == nullptr) return;
  s->fold = oriFoldRecordingBegin(s->om);
  // The compliant solver's frames carry each edge's strain.
  if (s->options.solver == kOriSolverCompliant) oriFoldRecordingKeepStrain(s->fold);
  s->fold_path = s->recording.fold_path;
}

void oriSheetDropFold(ORI_sheet* s) {
  oriFoldRecordingDelete(s->fold);
  s->fold = nullptr;
  s->fold_path.clear();
}

const char* oriSheetFoldPath(const ORI_sheet* s) { return s->fold_path.c_str(); }

ORI_result oriSheetSaveFold(const ORI_sheet* s, const char* path, int present_when_empty) {
  if (s->om == nullptr) return oriFail(kOriFailNoPattern, path, "no pattern to write");
  int written = -1;
  std::string why = "nothing was recorded";
  if (s->fold != nullptr && (oriFoldRecordingFrameCount(s->fold) > 1 || !present_when_empty)) {
    written = oriFoldRecordingSaveFile(s->fold, path);
    if (written != 0) why = std::strerror(errno);
  } else if (present_when_empty) {
    ORI_fold_recording* present = oriFoldRecordingBegin(s->om);
    if (present != nullptr && oriFoldRecordingFrame(present, s->om) == 0) {
      written = oriFoldRecordingSaveFile(present, path);
      if (written != 0) why = std::strerror(errno);
    } else {
      why = "the present shape cannot be recorded";
    }
    oriFoldRecordingDelete(present);
  }
  return written == 0 ? oriOk() : oriFail(kOriFailWrite, path, "cannot write the FOLD file: " + why);
}

ORI_result oriSheetSaveObj(ORI_sheet* s, const char* path) {
  if (s->om == nullptr) return oriFail(kOriFailNoPattern, path, "no pattern to write");
  if (s->recording.frames.display_frame) oriManifoldUpdateModelMatrix(s->om);
  if (oriManifoldSaveObjFile(s->om, path) != 0) {
    return oriFail(kOriFailWrite, path, std::string("cannot write: ") + std::strerror(errno));
  }
  return oriOk();
}

ORI_result oriSheetSaveReport(const ORI_sheet* s, const char* path) {
  if (oriStepReportSave(s->records, path) != 0) {
    return oriFail(kOriFailWrite, path, std::string("cannot write the report: ") + std::strerror(errno));
  }
  return oriOk();
}

// ---- What the sheet holds ----------------------------------------------------

ORI_sheetCounts oriSheetCounts(const ORI_sheet* s) {
  ORI_sheetCounts c;
  c.steps = s->steps;
  c.pattern_steps = s->pattern_steps;
  c.pattern_exact_kept = s->osm != nullptr ? s->osm->exact_unconverged : 0;
  c.exact_kept = s->exact_kept_before + c.pattern_exact_kept;
  c.pattern_exact_halvings = s->osm != nullptr ? s->osm->exact_halvings : 0;
  c.exact_halvings = s->exact_halvings_before + c.pattern_exact_halvings;
  c.first_collision = s->first_collision;
  c.compliant_kept = s->compliant_kept;
  c.frame_no = s->frame_no;
  c.fold_frames = s->fold != nullptr ? oriFoldRecordingFrameCount(s->fold) - 1 : 0;
  return c;
}

const ORI_sheetStep& oriSheetLastStep(const ORI_sheet* s) { return s->last; }

const std::vector<ORI_stepRecord>& oriSheetStepRecords(const ORI_sheet* s) { return s->records; }

ORI_manifold* oriSheetManifold(const ORI_sheet* s) { return s->om; }

ORISIM_matrix* oriSheetSim(const ORI_sheet* s) { return s->osm; }

double oriSheetPaperSize(const ORI_sheet* s) {
  const ORI_manifold* om = s->pending.om != nullptr ? s->pending.om : s->om;
  return om != nullptr ? om->paper_size : 0.0;
}

const char* oriSheetSource(const ORI_sheet* s) { return s->source.c_str(); }

const ORI_sheetIndex& oriSheetIndex(const ORI_sheet* s) { return s->index; }

double oriSheetResidual(const ORI_sheet* s) {
  if (s->om == nullptr || s->osm == nullptr) return 0.0;
  std::vector<double> g;
  return oriSimSparseResidual(g, s->osm, s->om);
}

// ---- The flat-folded state ------------------------------------------------------

ORI_result oriSheetFlatState(ORI_sheet* s, const ORI_layerOptions& options, const ORI_flatState** out) {
  *out = nullptr;
  if (s->om == nullptr) return oriFail(kOriFailNoPattern, "", "no pattern to analyse");
  if (!(options.time_limit > 0.0) || options.state_cap < 1 || options.state < 1) {
    return oriFail(kOriFailArgument, "", "the layer order needs a time limit above 0 and a state and a cap from 1");
  }
  const ORI_layerOptions& had = s->flat_options;
  // What was analysed serves when it solved at least as much with the same
  // limits; another stacking of the same problem is only chosen.
  const bool same = s->flat_valid && (had.order_layers || !options.order_layers) &&
                    (!options.order_layers || (had.time_limit == options.time_limit &&
                                               had.state_cap == options.state_cap));
  if (!same) {
    s->flat_valid = false;
    const ORI_result r = oriFlatAnalyse(s->om, options, &s->flat);
    if (oriFailed(r)) return r;
    s->flat_valid = true;
    s->flat_options = options;
  } else if (options.order_layers && options.state != s->flat_options.state && s->flat.problem != nullptr &&
             s->flat.layers.n_states > 0) {
    oriFlatChooseState(&s->flat, options.state, options.time_limit);
    s->flat_options.state = options.state;
  }
  *out = &s->flat;
  return oriOk();
}

ORI_result oriSheetMobility(ORI_sheet* s, ORISIM_mobility* out) {
  *out = ORISIM_mobility();
  if (s->om == nullptr || s->osm == nullptr) return oriFail(kOriFailNoPattern, "", "no pattern to analyse");
  if (oriSimMobilityAnalyse(s->mobility, s->osm, s->om, out) != kOriMobilityOk) {
    return oriFail(kOriFailSolve, "", out->reason);
  }
  return oriOk();
}
