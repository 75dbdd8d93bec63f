// The sheet of the Python package: a thin layer over the core's sheet
// (sheet/sheet.h), which loads, prepares, steps, records and counts exactly
// as plicata-fold drives it. This layer adds what Python needs: a lock, so
// that two Python threads using one sheet wait for each other instead of
// racing (separate sheets share nothing); closing, after which every call
// throws SheetClosed; the messages of its calls, captured per sheet; the
// core's failures turned into exceptions; the arrays read off the sheet's
// records; and the recorded folding as a web page. Plain C++ (no Python
// types), so the bindings stay a thin layer over it.
//
// Every method takes the sheet's lock. The bindings call them with the
// interpreter lock released: a fold holds the sheet's lock and asks Python
// about Ctrl-C (taking the interpreter lock) while it runs, so a thread that
// waited for the sheet while holding the interpreter would wait forever.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "sheet/sheet.h"

struct CreasePattern;
struct ORI_fold_animation;
struct ORI_manifold;
struct ORISIM_matrix;

namespace plicata {

// A pattern that cannot be read or built; what() is "FILE: reason", the
// line plicata-fold prints after its own name. A file that could not be
// opened also carries the system's error number (ENOENT, EACCES...) and its
// path, so that Python raises FileNotFoundError or PermissionError.
class PatternFailure : public std::runtime_error {
 public:
  explicit PatternFailure(const std::string& what, int error_number = 0, std::string path = std::string())
      : std::runtime_error(what), error_number(error_number), path(std::move(path)) {}
  int error_number;  // 0 unless the file could not be opened
  std::string path;  // the file, when error_number is set
};

// A call on a sheet that was closed.
class SheetClosed : public std::runtime_error {
 public:
  SheetClosed() : std::runtime_error("the sheet is closed: load or generate another one") {}
};

// Most fold steps one call takes (plicata-fold's limit).
constexpr long kMaxSteps = kOriSheetMaxSteps;

// Crease kinds, as Sheet::fillKinds gives them.
enum CreaseKind : signed char {
  kKindNegative = -1,  // folds to a negative target
  kKindFlat = 0,       // a flat line: target 0
  kKindPositive = 1,   // folds to a positive target
  kKindDiagonal = 2,   // a diagonal added by triangulation
};

// What the last step of a fold or unfold call found.
struct StepFigures {
  long steps = 0;                // steps the call took
  int cg_iterations = 0;         // conjugate-gradient iterations of the last step
  double max_delta = 0.0;        // largest angle change of the last step, radians
  double residual_before = 0.0;  // closure residual Σ|g| before the last step
  double milliseconds = 0.0;     // wall time of the last step
  int newton_iterations = 0;     // exact mode: corrections applied after the last step
  bool exact_kept = false;       // exact mode: the last step's correction failed; the ordinary result stands
  int exact_halvings = 0;        // exact mode: the last step's substeps taken again at half their size
  bool compliant = false;        // the last step was the compliant solver's; newton_iterations are then its
  bool compliant_kept = false;   // compliant: the step did not converge and kept the last shape
  double max_strain = 0.0;       // compliant: largest |relative change of a line's length| after the step
  double max_bending = 0.0;      // compliant: largest bend of a facet after the step, radians
  int active_contacts = 0;       // with contact: pairs of faces the last step held apart
  bool locked = false;           // with contact: the last step could not move without faces passing through
};

// The local checks of every inner vertex (flat/flat_check.h), one entry
// per inner vertex in vertex order.
struct FlatChecks {
  std::vector<long long> vertex;        // vertex index
  std::vector<double> xy;               // 2 per vertex: crease-pattern place, file units
  std::vector<double> kawasaki_deg;     // |alternating sum of the sectors|, degrees; NaN for an odd number of folds
  std::vector<long long> mountains, valleys;
  std::vector<unsigned char> kawasaki_ok, maekawa_ok;
};

// The folded form and the chosen stacking of its layers.
struct LayerOrders {
  std::string status;                   // "found", "none", "not flat", "out of time", "no such state"
  std::string reason;                   // one sentence; a note on the limits when found ("" without one)
  long long states = 0;                 // valid stackings counted (a lower bound unless states_exact)
  bool states_exact = false;
  long long chosen = 0;                 // the stacking below, 1-based; 0 for none
  std::vector<long long> face_orders;   // 3 per overlapping face pair: f, g, s (FOLD faceOrders)
  std::vector<double> folded;           // 2 per vertex: folded-form place, file units
  std::vector<signed char> face_up;     // per face: +1 front side up, -1 turned over
  double gap = 0.0;                     // largest disagreement between a vertex's folded places, file units
  double seconds = 0.0;                 // wall time of ordering the layers
};

class Sheet {
 public:
  // Reads the pattern file path (the reader chosen by its name, as
  // plicata-fold chooses), triangulates facets of more than three sides when
  // triangulate is set, and prepares it flat. Throws PatternFailure.
  static std::unique_ptr<Sheet> load(const std::string& path, bool triangulate);

  // Builds the generated pattern cp (not consumed) as from its XML file;
  // name labels it in messages.
  static std::unique_ptr<Sheet> generated(CreasePattern* cp, const std::string& name, bool triangulate);

  ~Sheet();
  Sheet(const Sheet&) = delete;
  Sheet& operator=(const Sheet&) = delete;

  // Frees the pattern and everything it holds, once a call running in
  // another thread has finished; every later call throws SheetClosed.
  // Closing twice is allowed.
  void close();
  bool closed() const;

  // Counts the changes of the shape and the pattern (steps, clear, open
  // next): arrays read at one value describe the sheet for as long as it
  // stays.
  long version() const;

  // Opens path onto the folded model, keeping its shape ("Next File"). On
  // failure (PatternFailure) the sheet is unchanged. A running recording
  // starts again from the new crease pattern: a FOLD file holds one.
  void openNext(const std::string& path, bool triangulate);

  // Takes steps held-key steps at fold step setting fold_step (0 to 50),
  // towards the targets or, with unfold, towards flat; with record each
  // step's shape is added to the recording (started when none runs).
  // interrupted (may be empty) is asked about ten times a second and ends
  // the call early when it returns true. With exact, each step is followed
  // by Newton corrections that close every vertex to rounding (exact mode,
  // for this call only). With contact, faces stop where they meet, kept the
  // paper's thickness apart (sim/contact.h), for this call only; the call
  // ends early at a step where the fold locks. With mode K from 1, the
  // steps fold along the K-th fold mode and follow the motion started
  // (sheet/sheet.h, oriSheetStep), also across calls, until an ordinary
  // step, clear() or another pattern. Throws std::invalid_argument for a
  // step count outside 0..kMaxSteps, a setting outside 0..50, a mode outside
  // 0..kOriSheetMaxMode, contact with a mode above 0, or a mode the state
  // does not have ("mode K does not exist: the state has D modes"),
  // std::runtime_error when a recorded step's shape cannot be kept (not
  // finite), the mobility analysis failed or the motion followed ends; the
  // steps taken before stay taken.
  StepFigures fold(long steps, long fold_step, bool unfold, bool record, bool exact, bool contact, long mode,
                   const std::function<bool()>& interrupted);

  // What the present state can do (oriSheetMobility), the triangulation's
  // diagonals held flat or, with diagonals, counted as hinges. Throws
  // std::runtime_error when the analysis fails. Cost: one analysis, none
  // when the angles did not change since the last.
  ORISIM_mobility mobility(bool diagonals);

  // Flattens the sheet, as "Clear Fold" does.
  void clear();

  std::string source() const;
  std::vector<std::string> messages() const;
  StepFigures lastStep() const;
  long stepsTaken() const;

  int vertexCount() const;
  int creaseCount() const;
  int faceCount() const;
  int innerVertexCount() const;
  bool triangulated() const;

  // Array fills. Each takes the entries out has room for (the count read
  // before) and returns false, writing nothing, when the sheet no longer
  // has that many (another thread opened a pattern in between): the caller
  // reads the count again.
  bool fillVertices(double* out, size_t vertices) const;       // 3 per vertex: OBJ positions
  bool fillFlatVertices(double* out, size_t vertices) const;   // 2 per vertex: the crease pattern, file units
  bool fillTriangles(long long* out, size_t faces) const;      // 3 per face; std::invalid_argument unless triangulated
  std::vector<std::vector<long long>> faces() const;
  bool fillCreases(long long* out, size_t creases) const;      // 2 per crease: tail and head vertex
  bool fillFoldAngles(double* out, size_t creases) const;      // 1 per crease, radians
  bool fillKinds(signed char* out, size_t creases) const;      // 1 per crease, a CreaseKind
  bool fillTargets(double* out, size_t creases) const;         // 1 per crease, radians
  bool fillInnerVertices(long long* out, size_t inner) const;  // 1 per inner vertex: its vertex index

  // Sets every crease's target (creaseCount() entries, radians). Throws
  // std::invalid_argument, changing nothing, when one is not finite or
  // beyond ±π.
  void setTargets(const double* targets, size_t count);

  // The share of every target the creases fold to (0 to 1; 1 when made).
  double foldTo() const;
  // Sets it (clamped to 0..1). Throws std::invalid_argument for NaN.
  void setFoldTo(double share);
  // The paper's thickness, file units (0 when made): with contact, faces
  // that share no corner keep their middles this far apart. Kept by
  // patterns opened with openNext.
  double thickness() const;
  // Sets it. Throws std::invalid_argument, changing nothing, for a negative
  // or non-finite thickness or one above a quarter of the paper size.
  void setThickness(double thickness);
  // Steps of exact mode whose correction failed and kept the ordinary result.
  long exactKept() const;

  // The solver of the steps from now on: kOriSolverRigid or
  // kOriSolverCompliant (sim/compliant.h).
  int solver() const;
  // Sets it. Throws std::invalid_argument for another value.
  void setSolver(int solver);
  // The compliant model's constants (sim/compliant.h: fold, facet, axial).
  ORISIM_stiffness stiffness() const;
  // Sets them. Throws std::invalid_argument, naming the bad ones, unless
  // each is positive and finite; nothing changes then.
  void setStiffness(const ORISIM_stiffness& stiffness);
  // Compliant steps that did not converge and kept the last shape, since the
  // sheet was made.
  long compliantKept() const;

  // The bars of the bar-and-hinge model: every line of the sheet, the
  // creases first in crease order (fillCreases), then the outline's lines.
  // The fills work as the array fills above.
  int barCount() const;
  bool fillBars(long long* out, size_t bars) const;  // 2 per bar: its two vertex indices
  // Each bar's relative change of length, folded over flat less one.
  bool fillBarStrain(double* out, size_t bars) const;  // 1 per bar, dimensionless
  // Each crease's bend as a facet: |fold angle| of diagonals and flat
  // lines, 0 for fold lines.
  bool fillFacetBending(double* out, size_t creases) const;  // 1 per crease, radians
  // Whether every step from now on looks for faces passing through each
  // other (plicata-fold --collisions; false when made), and the first step
  // of the sheet's life (as stepsTaken counts) that found some, 0 for none.
  bool collisions() const;
  void setCollisions(bool on);
  long firstCollision() const;

  // Pairs of faces (indices as faces() numbers them, lower first, sorted)
  // that pass through each other in the present shape.
  std::vector<std::pair<int, int>> intersections() const;

  // The closure residual Σ|g| of the present angles (plicata-fold's report).
  double residual() const;
  // Each inner vertex's closure error, radians; returns the largest.
  double vertexClosure(std::vector<double>* per_vertex) const;

  // The flat-folded state of the pattern (the sheet's, analysed once per
  // pattern and targets; sheet/sheet.h oriSheetFlatState): the checks, and
  // the folded form with stacking `state` (1-based) of its layers, ordered
  // within time_limit seconds. Throw std::invalid_argument for a time limit
  // not above 0 or a state below 1.
  FlatChecks flatChecks();
  LayerOrders layerOrders(long long state, double time_limit);

  // Folded frames recorded so far (0 when no recording runs).
  int recordedFrames() const;
  // Drops the recording and starts a new one from the crease pattern.
  void startRecording();
  // The recorded folding (every step recorded since the recording started,
  // as plicata-fold --html keeps them: at most 512 evenly spread, the last
  // always), or the present shape alone when none is recorded, as one
  // self-contained web page (files/html_export.h) titled title. Throws
  // std::runtime_error with the writer's reason (three.js missing).
  std::string page(const std::string& title) const;

  // Calls read with the present pattern's mesh and simulation record under
  // the sheet's lock (the pictures draw them). read may change the mesh's
  // display matrix but must put it back.
  void withPattern(const std::function<void(ORI_manifold*, const ORISIM_matrix*)>& read) const;

  // Writes the present shape as OBJ to path. Returns 0 or -1.
  int saveObj(const std::string& path) const;
  // Writes a FOLD file to path: the crease pattern as frame 0, then the
  // recorded frames, or the present shape alone when none were recorded.
  // Returns 0 or -1.
  int saveFold(const std::string& path) const;

 private:
  Sheet();

  // The core's sheet, once the lock is held; throws SheetClosed after close().
  ORI_sheet* live() const;
  // Adds the present shape to the page's recording, starting one when none runs.
  void recordPage();

  mutable std::mutex mutex_;
  ORI_sheet* sheet_ = nullptr;
  ORI_fold_animation* page_ = nullptr;  // the folding recorded for page(); null when none runs
  long version_ = 0;
  std::vector<std::string> messages_;
  std::string partial_message_;  // text of a message line not yet ended
  StepFigures last_;

  friend class MessageCapture;
};

}  // namespace plicata
