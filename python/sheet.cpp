#include "python/sheet.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>

#include "files/fold_animation.h"
#include "files/html_export.h"
#include "files/obj_export.h"
#include "flat/flat_state.h"
#include "geometry/manifold.h"
#include "geometry/message.h"
#include "geometry/self_intersection.h"
#include "sim/compliant.h"
#include "sim/sparse_jacobian.h"

namespace plicata {

// Points the calling thread's core messages at a sheet for as long as it
// lives, then restores what was there. The sheet's lock must be held.
class MessageCapture {
 public:
  explicit MessageCapture(Sheet* sheet) : sheet_(sheet) {
    previous_ = oriMessageSink(&previous_context_);
    oriSetMessageSink(&MessageCapture::receive, sheet);
  }
  ~MessageCapture() {
    oriSetMessageSink(previous_, previous_context_);
    flush(sheet_);
  }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  // Ends a message line that the core left open.
  static void flush(Sheet* sheet) {
    if (!sheet->partial_message_.empty()) addLine(sheet, sheet->partial_message_);
    sheet->partial_message_.clear();
  }

 private:
  // Lines are kept without their surrounding white space; blank ones are
  // dropped (the core spaces its report with them).
  static void addLine(Sheet* sheet, const std::string& line) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return;
    const size_t last = line.find_last_not_of(" \t\r");
    sheet->messages_.push_back(line.substr(first, last - first + 1));
  }

  static void receive(void* context, const char* text, size_t length) {
    Sheet* sheet = static_cast<Sheet*>(context);
    for (size_t k = 0; k < length; ++k) {
      if (text[k] == '\n') {
        addLine(sheet, sheet->partial_message_);
        sheet->partial_message_.clear();
      } else {
        sheet->partial_message_.push_back(text[k]);
      }
    }
  }

  Sheet* sheet_;
  OriMessageSink previous_ = nullptr;
  void* previous_context_ = nullptr;
};

namespace {

// Time between two questions whether a long fold call should stop.
constexpr std::chrono::milliseconds kInterruptPoll(100);

// The system's reason why path cannot be opened for reading, found by
// trying again (the reader's failure carries it only as text); 0 when it
// opens now.
int openError(const std::string& path) {
  errno = 0;
  FILE* fp = std::fopen(path.c_str(), "r");
  if (fp == nullptr) return errno != 0 ? errno : EIO;
  std::fclose(fp);
  return 0;
}

// The core's failure as the exception Python raises: PatternError for a
// pattern that cannot be loaded (carrying the system's error number when
// the file cannot be opened), ValueError for an argument, RuntimeError for
// the rest; the text is the core's one line.
// A pattern too large for the memory left, in the reader's words: Python's
// MemoryError (pybind11 gives every std::bad_alloc as one, with what()).
class OutOfMemory : public std::bad_alloc {
 public:
  explicit OutOfMemory(std::string text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;
};

void raise(const ORI_result& r) {
  if (r.code != kOriOk && r.why.rfind("out of memory", 0) == 0) throw OutOfMemory(oriResultText(r));
  switch (r.code) {
    case kOriOk:
      return;
    case kOriFailRead:
    case kOriFailUnreadable:
      throw PatternFailure(oriResultText(r), openError(r.subject), r.subject);
    case kOriFailUnsupported:
    case kOriFailEmpty:
      throw PatternFailure(oriResultText(r));
    case kOriFailArgument:
      throw std::invalid_argument(oriResultText(r));
    default:
      throw std::runtime_error(oriResultText(r));
  }
}

StepFigures figuresOf(const ORI_sheetStep& s, long steps) {
  StepFigures f;
  f.steps = steps;
  f.cg_iterations = s.stats.cg_iterations;
  f.max_delta = s.record.max_delta;
  f.residual_before = s.stats.residual_before;
  f.milliseconds = s.record.ms;
  f.newton_iterations = s.stats.newton_iterations;
  f.exact_kept = s.stats.exact_kept != 0;
  f.exact_halvings = s.stats.exact_halved;
  // A compliant step has taken at least one Newton iteration, or says why not.
  f.compliant = s.compliant.newton_iterations > 0 || s.compliant.status != kOriCompliantConverged;
  if (f.compliant) {
    f.newton_iterations = s.compliant.newton_iterations;
    f.compliant_kept = s.compliant.status != kOriCompliantConverged;
    f.max_strain = s.compliant.max_strain;
    f.max_bending = s.compliant.max_bending;
  }
  f.active_contacts = s.record.active_contacts > 0 ? s.record.active_contacts : 0;
  f.locked = s.record.locked != 0;
  return f;
}

}  // namespace

Sheet::Sheet() : sheet_(oriSheetNew(nullptr)) {}

Sheet::~Sheet() {
  oriFoldAnimationDelete(page_);
  oriSheetDelete(sheet_);
}

ORI_sheet* Sheet::live() const {
  if (sheet_ == nullptr) throw SheetClosed();
  return sheet_;
}

void Sheet::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  oriFoldAnimationDelete(page_);
  page_ = nullptr;
  oriSheetDelete(sheet_);
  sheet_ = nullptr;
  ++version_;
}

bool Sheet::closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sheet_ == nullptr;
}

long Sheet::version() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return version_;
}

void Sheet::recordPage() {
  const ORI_manifold* om = oriSheetManifold(sheet_);
  if (om == nullptr) return;
  const long step = oriSheetCounts(sheet_).steps;
  if (page_ == nullptr) {
    page_ = oriFoldAnimationBegin(om, step);
  } else {
    // A shape that cannot be kept (not finite) is left out: the FOLD
    // recording reports it, and the page shows the steps before it.
    oriFoldAnimationFrame(page_, om, step);
  }
}

std::unique_ptr<Sheet> Sheet::load(const std::string& path, bool triangulate) {
  std::unique_ptr<Sheet> sheet(new Sheet());
  std::lock_guard<std::mutex> lock(sheet->mutex_);
  MessageCapture capture(sheet.get());
  raise(oriSheetLoad(sheet->sheet_, path.c_str(), ORI_loadOptions{triangulate, nullptr}));
  return sheet;
}

std::unique_ptr<Sheet> Sheet::generated(CreasePattern* cp, const std::string& name, bool triangulate) {
  std::unique_ptr<Sheet> sheet(new Sheet());
  std::lock_guard<std::mutex> lock(sheet->mutex_);
  MessageCapture capture(sheet.get());
  ORI_result r = oriSheetReadPattern(sheet->sheet_, cp, name.c_str(), ORI_loadOptions{triangulate, nullptr});
  if (!oriFailed(r)) r = oriSheetPrepare(sheet->sheet_, triangulate ? 1 : 0);
  if (!oriFailed(r)) r = oriSheetAdopt(sheet->sheet_);
  raise(r);
  return sheet;
}

void Sheet::openNext(const std::string& path, bool triangulate) {
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  raise(oriSheetOpenNext(live(), path.c_str(), ORI_loadOptions{triangulate, nullptr}));
  ++version_;
  // A running recording starts again from the new crease pattern, as the
  // FOLD recording does.
  if (page_ != nullptr) {
    oriFoldAnimationDelete(page_);
    page_ = nullptr;
    recordPage();
  }
}

StepFigures Sheet::fold(long steps, long fold_step, bool unfold, bool record, bool exact, bool contact, long mode,
                        const std::function<bool()>& interrupted) {
  if (steps < 0 || steps > kMaxSteps) throw std::invalid_argument("steps must be a whole number from 0 to 100000000");
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  live();
  ORI_foldOptions options = oriSheetOptions(sheet_);
  options.fold_step = fold_step < INT_MIN || fold_step > INT_MAX ? -1 : static_cast<int>(fold_step);
  options.unfold = unfold;
  options.exact = exact;
  options.contact = contact;
  options.mode = mode < 0 || mode > INT_MAX ? -1 : static_cast<int>(mode);
  raise(oriSheetSetOptions(sheet_, options));
  ORI_recordOptions recording = oriSheetRecording(sheet_);
  recording.fold = record;
  oriSheetSetRecording(sheet_, recording);
  // Exact mode, contact, the mode and the recording are asked for by the
  // call; the sheet folds the ordinary way, unrecorded, after it (a motion
  // followed along the mode goes on in the next call that asks for the same
  // mode).
  struct ForTheCall {
    ORI_sheet* sheet;
    ~ForTheCall() {
      ORI_foldOptions o = oriSheetOptions(sheet);
      o.exact = false;
      o.contact = false;
      o.mode = 0;
      oriSheetSetOptions(sheet, o);
      ORI_recordOptions r = oriSheetRecording(sheet);
      r.fold = false;
      oriSheetSetRecording(sheet, r);
    }
  } for_the_call{sheet_};
  StepFigures figures;
  using Clock = std::chrono::steady_clock;
  Clock::time_point next_poll = Clock::now() + kInterruptPoll;
  if (steps > 0) ++version_;
  if (record && page_ == nullptr) recordPage();
  for (long k = 0; k < steps; ++k) {
    ORI_sheetStep step;
    const long taken = oriSheetCounts(sheet_).steps;
    const ORI_result r = oriSheetStep(sheet_, &step);
    // A step along a mode may be refused: nothing was taken.
    if (oriSheetCounts(sheet_).steps == taken) raise(r);
    figures = figuresOf(step, figures.steps + 1);
    last_ = figures;
    raise(r);
    if (record) recordPage();
    if (step.record.locked) break;  // nothing can move without faces passing through
    if (interrupted && Clock::now() >= next_poll) {
      if (interrupted()) break;
      next_poll = Clock::now() + kInterruptPoll;
    }
  }
  return figures;
}

ORISIM_mobility Sheet::mobility(bool diagonals) {
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  ORI_foldOptions options = oriSheetOptions(live());
  const bool before = options.mobility_diagonals;
  options.mobility_diagonals = diagonals;
  oriSheetSetOptions(sheet_, options);
  ORISIM_mobility m;
  const ORI_result r = oriSheetMobility(sheet_, &m);
  options.mobility_diagonals = before;
  oriSheetSetOptions(sheet_, options);
  raise(r);
  return m;
}

void Sheet::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  oriSheetClear(live());
  ++version_;
}

std::string Sheet::source() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetSource(live());
}

std::vector<std::string> Sheet::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  live();
  return messages_;
}

StepFigures Sheet::lastStep() const {
  std::lock_guard<std::mutex> lock(mutex_);
  live();
  return last_;
}

long Sheet::stepsTaken() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetCounts(live()).steps;
}

int Sheet::vertexCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(oriSheetIndex(live()).verts.size());
}

int Sheet::creaseCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(oriSheetIndex(live()).creases.size());
}

int Sheet::faceCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(oriSheetIndex(live()).faces.size());
}

int Sheet::innerVertexCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(oriSheetIndex(live()).inner.size());
}

bool Sheet::triangulated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriManifoldTriangulated(oriSheetManifold(live()));
}

bool Sheet::fillVertices(double* out, size_t vertices) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_vert*>& verts = oriSheetIndex(live()).verts;
  if (verts.size() != vertices) return false;
  // oriManifoldObjPosition's arithmetic, in its order (the same bits as the
  // OBJ files), with the matrix held in locals: through the call, every
  // vertex would load it again, the output possibly aliasing it.
  const ORI_manifold* om = oriSheetManifold(sheet_);
  const double* M = om->model_matrix;
  const double m0 = M[0], m1 = M[1], m2 = M[2], m4 = M[4], m5 = M[5], m6 = M[6];
  const double m8 = M[8], m9 = M[9], m10 = M[10], m12 = M[12], m13 = M[13], m14 = M[14];
  const double s = om->paper_size;
  for (const ORI_vert* v : verts) {
    const double x = v->pos.x, y = v->pos.y, z = v->pos.z;
    out[0] = ((m8 * z + x * m0) + m4 * y + m12) * s;
    out[1] = ((m9 * z + x * m1) + m5 * y + m13) * s;
    out[2] = ((m10 * z + x * m2) + m6 * y + m14) * s;
    out += 3;
  }
  return true;
}

bool Sheet::fillFlatVertices(double* out, size_t vertices) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_vert*>& verts = oriSheetIndex(live()).verts;
  if (verts.size() != vertices) return false;
  const double s = oriSheetManifold(sheet_)->paper_size;
  for (const ORI_vert* v : verts) {
    // The crease-pattern point is kept on the half-edges; pos is folded.
    *out++ = v->out[0]->x0 * s;
    *out++ = v->out[0]->y0 * s;
  }
  return true;
}

bool Sheet::fillTriangles(long long* out, size_t faces) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_face*>& all = oriSheetIndex(live()).faces;
  if (!oriManifoldTriangulated(oriSheetManifold(sheet_))) {
    throw std::invalid_argument("the sheet has facets of more than three sides: use faces");
  }
  if (all.size() != faces) return false;
  for (const ORI_face* f : all) {
    const ORI_edge* e = f->first;
    for (int k = 0; k < 3; ++k, e = e->next) *out++ = e->vert->index;
  }
  return true;
}

std::vector<std::vector<long long>> Sheet::faces() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_face*>& faces = oriSheetIndex(live()).faces;
  std::vector<std::vector<long long>> out;
  out.reserve(faces.size());
  const int bound = oriSheetManifold(sheet_)->n_edge + 1;
  for (const ORI_face* f : faces) {
    std::vector<long long> loop;
    const ORI_edge* e = f->first;
    int walked = 0;
    do {
      loop.push_back(e->vert->index);
      e = e->next;
    } while (e != f->first && ++walked < bound);
    out.push_back(std::move(loop));
  }
  return out;
}

bool Sheet::fillCreases(long long* out, size_t creases) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_edge*>& all = oriSheetIndex(live()).creases;
  if (all.size() != creases) return false;
  for (const ORI_edge* e : all) {
    *out++ = e->pair->vert->index;
    *out++ = e->vert->index;
  }
  return true;
}

bool Sheet::fillFoldAngles(double* out, size_t creases) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_edge*>& all = oriSheetIndex(live()).creases;
  if (all.size() != creases) return false;
  for (const ORI_edge* e : all) *out++ = e->angle;
  return true;
}

bool Sheet::fillKinds(signed char* out, size_t creases) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_edge*>& all = oriSheetIndex(live()).creases;
  if (all.size() != creases) return false;
  for (const ORI_edge* e : all) {
    if (e->is_diagonal) {
      *out++ = kKindDiagonal;
    } else {
      *out++ = e->target_angle > 0 ? kKindPositive : e->target_angle < 0 ? kKindNegative : kKindFlat;
    }
  }
  return true;
}

bool Sheet::fillTargets(double* out, size_t creases) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_edge*>& all = oriSheetIndex(live()).creases;
  if (all.size() != creases) return false;
  for (const ORI_edge* e : all) *out++ = e->target_angle;
  return true;
}

bool Sheet::fillInnerVertices(long long* out, size_t inner) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_vert*>& all = oriSheetIndex(live()).inner;
  if (all.size() != inner) return false;
  for (const ORI_vert* v : all) *out++ = v != nullptr ? v->index : -1;
  return true;
}

void Sheet::setTargets(const double* targets, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  raise(oriSheetSetTargets(live(), targets, count));
}

double Sheet::foldTo() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetOptions(live()).fold_to;
}

void Sheet::setFoldTo(double share) {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_foldOptions options = oriSheetOptions(live());
  options.fold_to = share;
  raise(oriSheetSetOptions(sheet_, options));
}

double Sheet::thickness() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetOptions(live()).thickness;
}

void Sheet::setThickness(double thickness) {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_foldOptions options = oriSheetOptions(live());
  options.thickness = thickness;
  raise(oriSheetSetOptions(sheet_, options));
}

long Sheet::exactKept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetCounts(live()).pattern_exact_kept;
}

int Sheet::solver() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetOptions(live()).solver;
}

void Sheet::setSolver(int solver) {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_foldOptions options = oriSheetOptions(live());
  options.solver = solver;
  raise(oriSheetSetOptions(sheet_, options));
}

ORISIM_stiffness Sheet::stiffness() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetOptions(live()).stiffness;
}

void Sheet::setStiffness(const ORISIM_stiffness& stiffness) {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_foldOptions options = oriSheetOptions(live());
  options.stiffness = stiffness;
  raise(oriSheetSetOptions(sheet_, options));
}

long Sheet::compliantKept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetCounts(live()).compliant_kept;
}

namespace {

// The outline's lines, one half-edge each (the one without a face), in
// list order.
std::vector<const ORI_edge*> outlineLines(const ORI_manifold* om) {
  std::vector<const ORI_edge*> out;
  if (om == nullptr) return out;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->on_boundary && e->pair != nullptr) out.push_back(e);
  }
  return out;
}

}  // namespace

int Sheet::barCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_sheet* sheet = live();
  return static_cast<int>(oriSheetIndex(sheet).creases.size() + outlineLines(oriSheetManifold(sheet)).size());
}

bool Sheet::fillBars(long long* out, size_t bars) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_edge*>& creases = oriSheetIndex(live()).creases;
  const std::vector<const ORI_edge*> outline = outlineLines(oriSheetManifold(sheet_));
  if (creases.size() + outline.size() != bars) return false;
  for (const ORI_edge* e : creases) {
    *out++ = e->pair->vert->index;
    *out++ = e->vert->index;
  }
  for (const ORI_edge* e : outline) {
    *out++ = e->pair->vert->index;
    *out++ = e->vert->index;
  }
  return true;
}

bool Sheet::fillBarStrain(double* out, size_t bars) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_edge*>& creases = oriSheetIndex(live()).creases;
  const ORI_manifold* om = oriSheetManifold(sheet_);
  const std::vector<const ORI_edge*> outline = outlineLines(om);
  if (creases.size() + outline.size() != bars) return false;
  std::vector<double> by_edge;
  if (om != nullptr) oriSimBarStrain(om, &by_edge);
  const auto of = [&](const ORI_edge* e) {
    return e->index >= 0 && static_cast<size_t>(e->index) < by_edge.size() ? by_edge[e->index] : 0.0;
  };
  for (const ORI_edge* e : creases) *out++ = of(e);
  for (const ORI_edge* e : outline) *out++ = of(e);
  return true;
}

bool Sheet::fillFacetBending(double* out, size_t creases) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_edge*>& all = oriSheetIndex(live()).creases;
  if (all.size() != creases) return false;
  const ORI_manifold* om = oriSheetManifold(sheet_);
  std::vector<double> by_edge;
  if (om != nullptr) oriSimFacetBending(om, &by_edge);
  for (const ORI_edge* e : all) {
    *out++ = e->index >= 0 && static_cast<size_t>(e->index) < by_edge.size() ? by_edge[e->index] : 0.0;
  }
  return true;
}

bool Sheet::collisions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetOptions(live()).collisions;
}

void Sheet::setCollisions(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_foldOptions options = oriSheetOptions(live());
  options.collisions = on;
  raise(oriSheetSetOptions(sheet_, options));
}

long Sheet::firstCollision() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetCounts(live()).first_collision;
}

std::vector<std::pair<int, int>> Sheet::intersections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<int, int>> pairs;
  oriManifoldSelfIntersections(oriSheetManifold(live()), &pairs);
  return pairs;
}

double Sheet::residual() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetResidual(live());
}

double Sheet::vertexClosure(std::vector<double>* per_vertex) const {
  std::lock_guard<std::mutex> lock(mutex_);
  // live() first: arguments are evaluated in no set order, and a closed
  // sheet's null must never reach the core.
  ORI_sheet* sheet = live();
  return oriSimVertexClosure(*per_vertex, oriSheetSim(sheet), oriSheetManifold(sheet), nullptr);
}

FlatChecks Sheet::flatChecks() {
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  ORI_layerOptions options;
  options.order_layers = false;
  const ORI_flatState* st = nullptr;
  raise(oriSheetFlatState(live(), options, &st));
  FlatChecks c;
  for (const ORI_flatVertex& v : st->check.vertices) {
    c.vertex.push_back(v.vertex);
    c.xy.push_back(v.x);
    c.xy.push_back(v.y);
    c.kawasaki_deg.push_back(v.kawasaki_deg);
    c.mountains.push_back(v.mountains);
    c.valleys.push_back(v.valleys);
    c.kawasaki_ok.push_back(v.kawasaki_ok ? 1 : 0);
    c.maekawa_ok.push_back(v.maekawa_ok ? 1 : 0);
  }
  return c;
}

LayerOrders Sheet::layerOrders(long long state, double time_limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  ORI_layerOptions options;
  options.state = state;
  options.time_limit = time_limit;
  const ORI_flatState* st = nullptr;
  raise(oriSheetFlatState(live(), options, &st));
  const ORI_layerOrder& L = st->layers;
  LayerOrders out;
  switch (L.status) {
    case kOriLayerFound: out.status = "found"; break;
    case kOriLayerNone: out.status = "none"; break;
    case kOriLayerOutOfTime: out.status = "out of time"; break;
    case kOriLayerNoSuchState: out.status = "no such state"; break;
    default: out.status = "not flat"; break;
  }
  out.reason = L.reason;
  out.states = L.n_states;
  out.states_exact = L.n_states_exact;
  out.chosen = L.chosen;
  out.face_orders.assign(L.face_orders.begin(), L.face_orders.end());
  const double size = oriSheetManifold(sheet_)->paper_size;
  out.folded.reserve(st->form.vertex_xy.size());
  for (double c : st->form.vertex_xy) out.folded.push_back(c * size);
  for (int f = 0; f < st->form.n_face; ++f) out.face_up.push_back(st->form.facet_up[st->form.face_facet[f]]);
  out.gap = st->form.gap * size;
  out.seconds = st->layer_seconds;
  return out;
}

int Sheet::recordedFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetCounts(live()).fold_frames;
}

void Sheet::startRecording() {
  std::lock_guard<std::mutex> lock(mutex_);
  oriSheetStartFold(live());
  oriFoldAnimationDelete(page_);
  page_ = nullptr;
  recordPage();
}

std::string Sheet::page(const std::string& title) const {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_fold_animation* present = nullptr;
  const ORI_fold_animation* anim = page_;
  if (anim == nullptr || oriFoldAnimationFrameCount(anim) < 2) {
    ORI_sheet* sheet = live();
    anim = present = oriFoldAnimationBegin(oriSheetManifold(sheet), oriSheetCounts(sheet).steps);
  }
  std::string why = "the sheet has no faces to show";
  char* text = nullptr;
  size_t length = 0;
  int written = -1;
  if (anim != nullptr) {
    FILE* fp = open_memstream(&text, &length);
    if (fp == nullptr) {
      why = "out of memory";
    } else {
      ORI_htmlOptions options;
      options.title = title;
      written = oriHtmlSave(anim, options, fp, &why);
      if (std::fclose(fp) != 0) written = -1;
    }
  }
  oriFoldAnimationDelete(present);
  std::string html = written == 0 && text != nullptr ? std::string(text, length) : std::string();
  std::free(text);
  if (written != 0) throw std::runtime_error(why);
  return html;
}

void Sheet::withPattern(const std::function<void(ORI_manifold*, const ORISIM_matrix*)>& read) const {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_sheet* sheet = live();
  read(oriSheetManifold(sheet), oriSheetSim(sheet));
}

int Sheet::saveObj(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriFailed(oriSheetSaveObj(live(), path.c_str())) ? -1 : 0;
}

int Sheet::saveFold(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriFailed(oriSheetSaveFold(live(), path.c_str(), 1)) ? -1 : 0;
}

}  // namespace plicata
