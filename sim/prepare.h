// Preparing a loaded mesh for folding: the fixed face, the numbering and the
// first placement. Shared by the window program's loader and plicata-fold.
#pragma once

struct ORI_manifold;

// Chooses the fixed face and numbers the records. A fresh pattern
// (carried = 0) starts flat: the fixed face gets the identity transform. A
// pattern opened onto a folded model (carried = 1) keeps the fixed face's
// carried-over transform and measures every crease angle, diagonals
// included, from the carried vertex positions. Then every face is placed.
// Returns 0, or -1 for a mesh without faces.
int oriManifoldPrepare(ORI_manifold* om, int carried);
