#include "python/sheet.h"

#include <climits>
#include <cstdio>
#include <utility>

#include "files/obj_export.h"
#include "geometry/manifold.h"
#include "geometry/message.h"
#include "geometry/self_intersection.h"
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

// The core's failure as the exception Python raises: PatternError for a
// pattern that cannot be loaded, ValueError for an argument, RuntimeError
// for the rest; the text is the core's one line.
void raise(const ORI_result& r) {
  switch (r.code) {
    case kOriOk:
      return;
    case kOriFailUnreadable:
    case kOriFailUnsupported:
    case kOriFailRead:
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
  f.active_contacts = s.record.active_contacts > 0 ? s.record.active_contacts : 0;
  f.locked = s.record.locked != 0;
  return f;
}

}  // namespace

Sheet::Sheet() : sheet_(oriSheetNew(nullptr)) {}

Sheet::~Sheet() { oriSheetDelete(sheet_); }

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
  raise(oriSheetOpenNext(sheet_, path.c_str(), ORI_loadOptions{triangulate, nullptr}));
}

StepFigures Sheet::fold(long steps, long fold_step, bool unfold, bool record, bool exact, bool contact,
                        const std::function<bool()>& interrupted) {
  if (steps < 0 || steps > kMaxSteps) throw std::invalid_argument("steps must be a whole number from 0 to 100000000");
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  ORI_foldOptions options = oriSheetOptions(sheet_);
  options.fold_step = fold_step < INT_MIN || fold_step > INT_MAX ? -1 : static_cast<int>(fold_step);
  options.unfold = unfold;
  options.exact = exact;
  options.contact = contact;
  raise(oriSheetSetOptions(sheet_, options));
  ORI_recordOptions recording = oriSheetRecording(sheet_);
  recording.fold = record;
  oriSheetSetRecording(sheet_, recording);
  // Exact mode, contact and the recording are asked for by the call; the
  // sheet folds the ordinary way, unrecorded, after it.
  struct ForTheCall {
    ORI_sheet* sheet;
    ~ForTheCall() {
      ORI_foldOptions o = oriSheetOptions(sheet);
      o.exact = false;
      o.contact = false;
      oriSheetSetOptions(sheet, o);
      ORI_recordOptions r = oriSheetRecording(sheet);
      r.fold = false;
      oriSheetSetRecording(sheet, r);
    }
  } for_the_call{sheet_};
  StepFigures figures;
  using Clock = std::chrono::steady_clock;
  Clock::time_point next_poll = Clock::now() + kInterruptPoll;
  for (long k = 0; k < steps; ++k) {
    ORI_sheetStep step;
    const ORI_result r = oriSheetStep(sheet_, &step);
    figures = figuresOf(step, figures.steps + 1);
    last_ = figures;
    raise(r);
    if (step.record.locked) break;  // nothing can move without faces passing through
    if (interrupted && Clock::now() >= next_poll) {
      if (interrupted()) break;
      next_poll = Clock::now() + kInterruptPoll;
    }
  }
  return figures;
}

void Sheet::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  MessageCapture capture(this);
  oriSheetClear(sheet_);
}

std::string Sheet::source() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetSource(sheet_);
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
  return oriSheetCounts(sheet_).steps;
}

int Sheet::vertexCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(oriSheetIndex(sheet_).verts.size());
}

int Sheet::creaseCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(oriSheetIndex(sheet_).creases.size());
}

int Sheet::faceCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(oriSheetIndex(sheet_).faces.size());
}

int Sheet::innerVertexCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(oriSheetIndex(sheet_).inner.size());
}

bool Sheet::triangulated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriManifoldTriangulated(oriSheetManifold(sheet_));
}

void Sheet::fillVertices(double* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const ORI_manifold* om = oriSheetManifold(sheet_);
  for (const ORI_vert* v : oriSheetIndex(sheet_).verts) {
    oriManifoldObjPosition(om, v, out);
    out += 3;
  }
}

void Sheet::fillFlatVertices(double* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const double s = oriSheetManifold(sheet_)->paper_size;
  for (const ORI_vert* v : oriSheetIndex(sheet_).verts) {
    // The crease-pattern point is kept on the half-edges; pos is folded.
    *out++ = v->out[0]->x0 * s;
    *out++ = v->out[0]->y0 * s;
  }
}

void Sheet::fillTriangles(long long* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_face* f : oriSheetIndex(sheet_).faces) {
    const ORI_edge* e = f->first;
    for (int k = 0; k < 3; ++k, e = e->next) *out++ = e->vert->index;
  }
}

std::vector<std::vector<long long>> Sheet::faces() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<ORI_face*>& faces = oriSheetIndex(sheet_).faces;
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

void Sheet::fillCreases(long long* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_edge* e : oriSheetIndex(sheet_).creases) {
    *out++ = e->pair->vert->index;
    *out++ = e->vert->index;
  }
}

void Sheet::fillFoldAngles(double* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_edge* e : oriSheetIndex(sheet_).creases) *out++ = e->angle;
}

void Sheet::fillKinds(signed char* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_edge* e : oriSheetIndex(sheet_).creases) {
    if (e->is_diagonal) {
      *out++ = kKindDiagonal;
    } else {
      *out++ = e->target_angle > 0 ? kKindPositive : e->target_angle < 0 ? kKindNegative : kKindFlat;
    }
  }
}

void Sheet::fillTargets(double* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_edge* e : oriSheetIndex(sheet_).creases) *out++ = e->target_angle;
}

void Sheet::fillInnerVertices(long long* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ORI_vert* v : oriSheetIndex(sheet_).inner) *out++ = v != nullptr ? v->index : -1;
}

void Sheet::setTargets(const double* targets, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  raise(oriSheetSetTargets(sheet_, targets, count));
}

double Sheet::foldTo() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetOptions(sheet_).fold_to;
}

void Sheet::setFoldTo(double share) {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_foldOptions options = oriSheetOptions(sheet_);
  options.fold_to = share;
  raise(oriSheetSetOptions(sheet_, options));
}

double Sheet::thickness() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetOptions(sheet_).thickness;
}

void Sheet::setThickness(double thickness) {
  std::lock_guard<std::mutex> lock(mutex_);
  ORI_foldOptions options = oriSheetOptions(sheet_);
  options.thickness = thickness;
  raise(oriSheetSetOptions(sheet_, options));
}

long Sheet::exactKept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetCounts(sheet_).pattern_exact_kept;
}

std::vector<std::pair<int, int>> Sheet::intersections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<int, int>> pairs;
  oriManifoldSelfIntersections(oriSheetManifold(sheet_), &pairs);
  return pairs;
}

double Sheet::residual() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetResidual(sheet_);
}

double Sheet::vertexClosure(std::vector<double>* per_vertex) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSimVertexClosure(*per_vertex, oriSheetSim(sheet_), oriSheetManifold(sheet_), nullptr);
}

int Sheet::recordedFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriSheetCounts(sheet_).fold_frames;
}

void Sheet::startRecording() {
  std::lock_guard<std::mutex> lock(mutex_);
  oriSheetStartFold(sheet_);
}

int Sheet::saveObj(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriFailed(oriSheetSaveObj(sheet_, path.c_str())) ? -1 : 0;
}

int Sheet::saveFold(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oriFailed(oriSheetSaveFold(sheet_, path.c_str(), 1)) ? -1 : 0;
}

}  // namespace plicata
