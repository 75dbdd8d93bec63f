#include "python/sheet.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "files/fold_export.h"
#include "files/obj_export.h"
#include "geometry/manifold.h"
#include "geometry/message.h"
#include "geometry/self_intersection.h"
#include "input/pattern_file.h"
#include "input/pattern_gen.h"
#include "input/read_error.h"
#include "sim/fold_step.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
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

template <typename T>
std::vector<T*> listed(const List* top) {
  std::vector<T*> out;
  for (const List* n = top; n != nullptr && n->data != nullptr; n = n->next) out.push_back(static_cast<T*>(n->data));
  return out;
}

// Time between two questions whether a long fold call should stop.
constexpr std::chrono::milliseconds kInterruptPoll(100);

// Frees a half-made pattern when construction or preparation fails.
struct Pending {
  ORI_manifold* om = nullptr;
  ~Pending() { oriManifoldDelete(om); }
  ORI_manifold* release() { return std::exchange(om, nullptr); }
};

}  // namespace

Sheet::~Sheet() {
  oriFoldRecordingDelete(recording_);
  oriSimDelete(osm_);
  oriManifoldDelete(om_);
}

void Sheet::adopt(ORI_manifold* om, bool triangulate, bool carried, const std::string& name) {
  ORISIM_matrix* osm = nullptr;
  if (oriManifoldPrepareForFolding(om, triangulate ? 1 : 0, carried ? 1 : 0, &osm) != 0) {
    throw PatternFailure(name + ": the pattern has no facet to fold");
  }
  // A pattern opened onto the folded one folds to the same share of its targets.
  if (om_ != nullptr) oriSimSetFoldTo(om, om_->fold_to);
  oriFoldRecordingDelete(recording_);
  recording_ = nullptr;
  oriSimDelete(osm_);
  oriManifoldDelete(om_);
  om_ = om;
  osm_ = osm;
  source_ = name;
  index();
}

void Sheet::index() {
  verts_ = listed<ORI_vert>(om_->verts);
  faces_ = listed<ORI_face>(om_->faces);
  // The arrays number vertices by their place in the list; the numbering
  // the preparation gave must agree, as faces and creases are read by it.
  for (size_t k = 0; k < verts_.size(); ++k) {
    if (verts_[k]->index != static_cast<int>(k)) throw std::logic_error("vertex numbering out of list order");
  }
  creases_.assign(static_cast<size_t>(osm_->n), nullptr);
  for (ORI_edge* e : listed<ORI_edge>(om_->edges)) {
    const int c = e->crease_index;
    if (c >= 0 && c < osm_->n && creases_[c] == nullptr) creases_[c] = e;
  }
  for (const ORI_edge* e : creases_) {
    if (e == nullptr) throw std::logic_error("a crease without a half-edge");
  }
  inner_.assign(static_cast<size_t>(osm_->m / 3), nullptr);
  for (ORI_vert* v : verts_) {
    if (v->sim_index >= 0 && v->sim_index < osm_->m / 3) inner_[v->sim_index] = v;
  }
}

std::unique_ptr<Sheet> Sheet::load(const std::string& path, bool triangulate) {
  std::unique_ptr<Sheet> sheet(new Sheet());
  std::lock_guard<std::mutex> lock(sheet->mutex_);
  MessageCapture capture(sheet.get());
  Pending made{oriManifoldNew()};
  if (oriManifoldConstructFromFile(made.om, nullptr, path.c_str()) != kOriOpenOk) {
    throw PatternFailure(path + ": " + oriReadError());
  }
  sheet->adopt(made.om, triangulate, false, path);
  made.release();
  return sheet;
}

std::unique_ptr<Sheet> Sheet::generated(CreasePattern* cp, const std::string& name, bool triangulate) {
  std::unique_ptr<Sheet> sheet(new Sheet());
  std::lock_guard<std::mutex> lock(sheet->mutex_);
  MessageCapture capture(sheet.get());
  Pending made{oriManifoldNew()};
  if (oriManifoldConstructFromPattern(made.om, cp) != 0) {
    const std::string why = oriReadError();
    throw PatternFailure(name + ": " + (why.empty() ? "cannot build the pattern" : why));
  }
  sheet->adopt(made.om, triangulate, false, name);
  made.release();
  return sheet;
}

void Sheet::openNext(const std::string& path, bool triangulate) {
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  Pending made{oriManifoldNew()};
  if (oriManifoldConstructFromFile(made.om, om_, path.c_str()) != kOriOpenOk) {
    throw PatternFailure(path + ": " + oriReadError());
  }
  const bool was_recording = recording_ != nullptr;
  adopt(made.om, triangulate, true, path);
  made.release();
  if (was_recording) recording_ = oriFoldRecordingBegin(om_);
}

StepFigures Sheet::fold(long steps, long fold_step, bool unfold, bool record, bool exact,
                        const std::function<bool()>& interrupted) {
  if (steps < 0 || steps > kMaxSteps) throw std::invalid_argument("steps must be a whole number from 0 to 100000000");
  if (fold_step < 0 || fold_step > kOriFoldStepMax) throw std::invalid_argument("fold_step must be from 0 to 50");
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  if (record && recording_ == nullptr) recording_ = oriFoldRecordingBegin(om_);
  const double step = oriFoldHeldStep(static_cast<int>(fold_step), unfold ? 1 : 0);
  // Exact mode is asked for by the call; the sheet folds the ordinary way after it.
  struct ExactFor {
    ORISIM_matrix* osm;
    ~ExactFor() { osm->exact = 0; }
  } exact_for{osm_};
  osm_->exact = exact ? 1 : 0;
  StepFigures figures;
  int frame_no = 0;
  using Clock = std::chrono::steady_clock;
  Clock::time_point next_poll = Clock::now() + kInterruptPoll;
  for (long k = 0; k < steps; ++k) {
    ORISIM_stepStats stats{};
    double max_delta = 0.0;
    const Clock::time_point start = Clock::now();
    oriFoldStep(osm_, om_, step, "CG", &frame_no, nullptr, &max_delta, &stats);
    const Clock::time_point end = Clock::now();
    ++figures.steps;
    ++steps_taken_;
    figures.cg_iterations = stats.cg_iterations;
    figures.max_delta = max_delta;
    figures.residual_before = stats.residual_before;
    figures.milliseconds = std::chrono::duration<double, std::milli>(end - start).count();
    figures.newton_iterations = stats.newton_iterations;
    figures.exact_kept = stats.exact_kept != 0;
    figures.exact_halvings = stats.exact_halved;
    last_ = figures;
    if (record && oriFoldRecordingFrame(recording_, om_) != 0) {
      throw std::runtime_error("step " + std::to_string(steps_taken_) + " gives a shape that cannot be recorded");
    }
    if (interrupted && end >= next_poll) {
      if (interrupted()) break;
      next_poll = Clock::now() + kInterruptPoll;
    }
  }
  return figures;
}

void Sheet::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  oriSimClearCrease(om_, osm_);
}

std::string Sheet::source() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return source_;
}

std::vector<std::string> Sheet::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

StepFigures Sheet::lastStep() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_;
}

long Sheet::stepsTaken() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return steps_taken_;
}

int Sheet::vertexCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(verts_.size());
}

int Sheet::creaseCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(creases_.size());
}

int Sheet::faceCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(faces_.size());
}

int Sheet::innerVertexCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(inner_.size());
}

bool Sheet::triangulated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriManifoldTriangulated(om_);
}

void Sheet::fillVertices(double* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_vert* v : verts_) {
    oriManifoldObjPosition(om_, v, out);
    out += 3;
  }
}

void Sheet::fillFlatVertices(double* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const double s = om_->paper_size;
  for (const ORI_vert* v : verts_) {
    // The crease-pattern point is kept on the half-edges; pos is folded.
    *out++ = v->out[0]->x0 * s;
    *out++ = v->out[0]->y0 * s;
  }
}

void Sheet::fillTriangles(long long* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_face* f : faces_) {
    const ORI_edge* e = f->first;
    for (int k = 0; k < 3; ++k, e = e->next) *out++ = e->vert->index;
  }
}

std::vector<std::vector<long long>> Sheet::faces() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::vector<long long>> out;
  out.reserve(faces_.size());
  const int bound = om_->n_edge + 1;
  for (const ORI_face* f : faces_) {
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

void Sheet::fillCreases(long long* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_edge* e : creases_) {
    *out++ = e->pair->vert->index;
    *out++ = e->vert->index;
  }
}

void Sheet::fillFoldAngles(double* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_edge* e : creases_) *out++ = e->angle;
}

void Sheet::fillKinds(signed char* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_edge* e : creases_) {
    if (e->is_diagonal) {
      *out++ = kKindDiagonal;
    } else {
      *out++ = e->target_angle > 0 ? kKindPositive : e->target_angle < 0 ? kKindNegative : kKindFlat;
    }
  }
}

void Sheet::fillTargets(double* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_edge* e : creases_) *out++ = e->target_angle;
}

void Sheet::fillInnerVertices(long long* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_vert* v : inner_) *out++ = v != nullptr ? v->index : -1;
}

void Sheet::setTargets(const double* targets, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count != creases_.size()) throw std::invalid_argument("one target per crease");
  for (size_t c = 0; c < count; ++c) {
    if (!std::isfinite(targets[c]) || std::fabs(targets[c]) > M_PI) {
      throw std::invalid_argument("target " + std::to_string(c) + " is not a finite angle within ±π");
    }
  }
  // The step reads the target of each half-edge it meets: both halves agree.
  for (size_t c = 0; c < count; ++c) {
    creases_[c]->target_angle = targets[c];
    creases_[c]->pair->target_angle = targets[c];
  }
}

double Sheet::foldTo() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return om_->fold_to;
}

void Sheet::setFoldTo(double share) {
  if (std::isnan(share)) throw std::invalid_argument("fold_to must be a number from 0 to 1");
  std::lock_guard<std::mutex> lock(mutex_);
  oriSimSetFoldTo(om_, share);
}

long Sheet::exactKept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return osm_->exact_unconverged;
}

std::vector<std::pair<int, int>> Sheet::intersections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<int, int>> pairs;
  oriManifoldSelfIntersections(om_, &pairs);
  return pairs;
}

double Sheet::residual() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<double> g;
  return oriSimSparseResidual(g, osm_, om_);
}

double Sheet::vertexClosure(std::vector<double>* per_vertex) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSimVertexClosure(*per_vertex, osm_, om_, nullptr);
}

int Sheet::recordedFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return recording_ == nullptr ? 0 : oriFoldRecordingFrameCount(recording_) - 1;
}

void Sheet::startRecording() {
  std::lock_guard<std::mutex> lock(mutex_);
  oriFoldRecordingDelete(recording_);
  recording_ = oriFoldRecordingBegin(om_);
}

int Sheet::saveObj(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriManifoldSaveObjFile(om_, path.c_str());
}

int Sheet::saveFold(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (recording_ != nullptr && oriFoldRecordingFrameCount(recording_) > 1) {
    return oriFoldRecordingSaveFile(recording_, path.c_str());
  }
  ORI_fold_recording* present = oriFoldRecordingBegin(om_);
  int result = -1;
  if (present != nullptr && oriFoldRecordingFrame(present, om_) == 0) {
    result = oriFoldRecordingSaveFile(present, path.c_str());
  }
  oriFoldRecordingDelete(present);
  return result;
}

}  // namespace plicata
