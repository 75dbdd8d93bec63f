// The sheet of the Python package: a thin layer over the core's sheet
// (sheet/sheet.h), which loads, prepares, steps, records and counts exactly
// as plicata-fold drives it. This layer adds what Python needs: a lock, so
// that two Python threads using one sheet wait for each other instead of
// racing (separate sheets share nothing); the messages of its calls,
// captured per sheet; the core's failures turned into exceptions; and the
// arrays read off the sheet's records. Plain C++ (no Python types), so the
// bindings stay a thin layer over it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "sheet/sheet.h"

struct CreasePattern;

namespace plicata {

// A pattern that cannot be read or built; what() is "FILE: reason", the
// line plicata-fold prints after its own name.
class PatternFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
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
  int active_contacts = 0;       // with contact: pairs of faces the last step held apart
  bool locked = false;           // with contact: the last step could not move without faces passing through
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
  // ends early at a step where the fold locks. Throws std::invalid_argument
  // for a step count outside 0..kMaxSteps or a setting outside 0..50,
  // std::runtime_error when a recorded step's shape cannot be kept (not
  // finite).
  StepFigures fold(long steps, long fold_step, bool unfold, bool record, bool exact, bool contact,
                   const std::function<bool()>& interrupted);

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

  // Array fills; each out has room for the documented number of entries.
  void fillVertices(double* out) const;         // 3 per vertex: OBJ positions
  void fillFlatVertices(double* out) const;     // 2 per vertex: the crease pattern, file units
  void fillTriangles(long long* out) const;     // 3 per face (triangulated sheets only)
  std::vector<std::vector<long long>> faces() const;
  void fillCreases(long long* out) const;       // 2 per crease: tail and head vertex
  void fillFoldAngles(double* out) const;       // 1 per crease, radians
  void fillKinds(signed char* out) const;       // 1 per crease, a CreaseKind
  void fillTargets(double* out) const;          // 1 per crease, radians
  void fillInnerVertices(long long* out) const; // 1 per inner vertex: its vertex index

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

  // Pairs of faces (indices as faces() numbers them, lower first, sorted)
  // that pass through each other in the present shape.
  std::vector<std::pair<int, int>> intersections() const;

  // The closure residual Σ|g| of the present angles (plicata-fold's report).
  double residual() const;
  // Each inner vertex's closure error, radians; returns the largest.
  double vertexClosure(std::vector<double>* per_vertex) const;

  // Folded frames recorded so far (0 when no recording runs).
  int recordedFrames() const;
  // Drops the recording and starts a new one from the crease pattern.
  void startRecording();
  // Writes the present shape as OBJ to path. Returns 0 or -1.
  int saveObj(const std::string& path) const;
  // Writes a FOLD file to path: the crease pattern as frame 0, then the
  // recorded frames, or the present shape alone when none were recorded.
  // Returns 0 or -1.
  int saveFold(const std::string& path) const;

 private:
  Sheet();

  mutable std::mutex mutex_;
  ORI_sheet* sheet_ = nullptr;
  std::vector<std::string> messages_;
  std::string partial_message_;  // text of a message line not yet ended
  StepFigures last_;

  friend class MessageCapture;
};

}  // namespace plicata
