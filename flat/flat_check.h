// Local flat-foldability of a crease pattern: at every inner vertex, the
// conditions of Kawasaki (the alternating sum of the angles between the fold
// lines is zero) and Maekawa (mountains and valleys differ by two), with the
// pattern's own mountain/valley assignment.
//
// Which lines count: a fold line is a mountain (negative target) or a valley
// (positive target), whatever partial angle its file gives it: the flat state
// folds each to ±180°. Flat lines (target 0) and tessellation diagonals are
// not folds: the paper stays flat across them, so they split no sector and
// count for neither condition. A vertex where only flat lines meet (or a flat
// line passes straight through) is flat and passes both.
#pragma once

#include <vector>

struct ORI_manifold;

// A vertex passes Kawasaki when its alternating sum stays within this many
// degrees of zero: the last decimals of patterns written in file units of a
// few hundred (±1e-6 of 400) move a sector by far less, a crease drawn by
// hand visibly off by far more.
constexpr double kOriKawasakiToleranceDeg = 1e-3;

// One inner vertex's verdict.
struct ORI_flatVertex {
  int vertex = -1;             // ORI_vert::index (the FOLD files' vertex number)
  double x = 0.0, y = 0.0;     // crease-pattern place, file units (CP plane × paper_size, y up as in FOLD)
  int mountains = 0;           // fold lines meeting here of each kind
  int valleys = 0;
  // |Σ (−1)^i θ_i| over the sectors θ_i between consecutive fold lines,
  // degrees; 0 without folds. Undefined for an odd number of folds (no
  // alternating sum closes around the vertex): NaN, and kawasaki_ok false.
  double kawasaki_deg = 0.0;
  bool kawasaki_ok = true;
  bool maekawa_ok = true;      // |mountains − valleys| = 2, or no folds at all
  bool ok() const { return kawasaki_ok && maekawa_ok; }
};

struct ORI_flatCheck {
  std::vector<ORI_flatVertex> vertices;  // every inner vertex, in vertex order
  int n_inner = 0;                       // inner vertices (vertices.size())
  int n_fail = 0;                        // of them, failing either condition
  int first_fail = -1;                   // position in vertices of the first failing one
};

// Checks every inner vertex of om (a built mesh, numbered by
// oriManifoldIndex; a vertex is inner when it and every line leaving it are
// off the outline). Reads the crease-pattern ends of the lines (never the
// folded positions) and their targets; writes *check. Returns the number of
// failing vertices. cost: O(lines · log) for the sorts around each vertex.
int oriFlatCheckVertices(const ORI_manifold* om, ORI_flatCheck* check);
