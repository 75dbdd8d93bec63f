// The folded form: where every point of the sheet lands when each mountain
// and valley folds to ±180° and flat lines stay flat (the "x-ray" of the
// flat-folded model, before any layer order).
//
// Faces are reached from the fixed face breadth first; crossing a fold line
// reflects the next face across that line (in the crease-pattern plane),
// crossing a flat line or a diagonal keeps the map. So every face gets an
// isometry of the plane, a rotation (front side still up, as the fixed face)
// or a reflection (turned over). Where the pattern is not flat-foldable
// locally, faces meeting at a vertex place it at different points: the form
// is still made (each vertex where its first face puts it) and the largest
// disagreement is reported as the gap.
//
// Facets: the pieces of paper between fold lines, faces joined across flat
// lines and diagonals. A facet moves as one rigid flat piece; layers are
// ordered facet against facet.
#pragma once

#include <cstddef>
#include <vector>

struct ORI_manifold;

// A vertex whose places from its faces differ by more than this (CP units:
// the paper's side is 1) tears the folded form. A pattern that passes
// Kawasaki within kOriKawasakiToleranceDeg at every vertex lands within
// about that angle times the paper's size.
constexpr double kOriFoldedGapTolerance = 1e-4;

struct ORI_foldedForm {
  int n_face = 0;
  int n_vert = 0;
  // Per face (ORI_face::index), 6 numbers: the map x' = m0·x + m1·y + m2,
  // y' = m3·x + m4·y + m5 from its crease-pattern points (CP units) to the
  // folded form (CP units, the fixed face in place).
  std::vector<double> face_map;
  std::vector<int> face_facet;          // per face: its facet
  int n_facet = 0;
  std::vector<int> facet_face;          // per facet: the face it was first reached by
  std::vector<signed char> facet_up;    // per facet: +1 front side up (as the fixed face), -1 turned over
  std::vector<double> vertex_xy;        // per vertex (ORI_vert::index): 2 folded coordinates, CP units
  double gap = 0.0;                     // largest distance between two places of one vertex, CP units
  int gap_vertex = -1;                  // where it is (ORI_vert::index), -1 without any
  int fixed_face = -1;                  // the face that stays in place (ORI_face::index)
  int n_unreached = 0;                  // faces not joined to the fixed face: left where they lie
  // True when every vertex lands at one place (gap within tolerance).
  bool closes() const { return gap <= kOriFoldedGapTolerance; }
};

// Builds the folded form of om (a built, numbered mesh: ORI_face::index and
// ORI_vert::index run 0, 1, ... in list order) from its crease-pattern line
// ends and targets; om is not changed. The fixed face is om->center_face
// (the first face when there is none). Returns 0; -1 for a mesh without
// faces or not numbered (form left empty). cost: O(half-edges).
int oriFlatFoldedForm(const ORI_manifold* om, ORI_foldedForm* form);

// The folded place of the crease-pattern point (x, y) on face f (CP units).
inline void oriFlatMapPoint(const ORI_foldedForm& form, int f, double x, double y, double* fx, double* fy) {
  const double* m = &form.face_map[6 * static_cast<size_t>(f)];
  *fx = m[0] * x + m[1] * y + m[2];
  *fy = m[3] * x + m[4] * y + m[5];
}
