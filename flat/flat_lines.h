// How the flat state reads a line of the mesh: which lines fold and which
// way. Shared by the checks, the folded form and the layer order, so that
// all three agree with the FOLD files' edges_assignment.
#pragma once

#include "geometry/manifold.h"

// True when e or its pair runs along the outer boundary ("B").
inline bool oriFlatLineOnOutline(const ORI_edge* e) {
  return e->on_boundary != 0 || e->pair == nullptr || e->pair->on_boundary != 0;
}

// -1 for a mountain (negative target, "M"), +1 for a valley (positive
// target, "V"), 0 for a line the paper stays flat across: a flat line, a
// tessellation diagonal ("F") or the outline ("B"). Only the sign of the
// target counts: the flat state folds every mountain and valley to ±180°.
inline int oriFlatLineFold(const ORI_edge* e) {
  if (oriFlatLineOnOutline(e) || e->is_diagonal != 0 || e->target_angle == 0.0) return 0;
  return e->target_angle > 0.0 ? 1 : -1;
}
