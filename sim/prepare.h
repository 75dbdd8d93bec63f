// Preparing a loaded mesh for folding: triangulation, the fixed face, the
// numbering, the first placement and the simulation record. Shared by the
// window program's loader and plicata-fold, so that both fold the same mesh.
#pragma once

struct ORI_manifold;
struct ORI_face;
struct ORISIM_matrix;

// Chooses the fixed face and numbers the records. A fresh pattern
// (carried = 0) starts flat: the fixed face gets the identity transform. A
// pattern opened onto a folded model (carried = 1) keeps the shape its
// vertices were given: the fixed face keeps its carried-over transform, or,
// when tessellation made another face the fixed one, gets the transform
// that carries its corners to their positions (oriFaceFitMatrix); every
// crease angle, diagonals included, is measured from the vertex positions.
// Then every face is placed. Returns 0, or -1 for a mesh without faces.
int oriManifoldPrepare(ORI_manifold* om, int carried);

// Sets f's matrix to the rigid transform that carries its flat corners (CP
// plane) to the present positions of its vertices: the first corner exactly,
// the direction to the next one, and the plane of the corner triple that
// spans the largest area. Exact when the corners sit rigidly (as on one face
// of a folded sheet); otherwise the closest such frame. Returns 0, or -1
// (matrix untouched) when the positions are degenerate (all on a line, or not
// finite).
int oriFaceFitMatrix(ORI_face* f);

// The whole preparation of a freshly loaded mesh, after the triangulation
// question has been answered (triangulate = 1 for yes):
//  - a mesh with faces of more than three sides is tessellated
//    ("\ttriangulating\n") or left as it is ("\tno tess\n"); a mesh of
//    triangles prints neither;
//  - oriManifoldPrepare(om, carried);
//  - "\tinitializing SimMatrix\n", the simulation record is made and loaded
//    with the angles, and its size is reported as
//    "Matrix\n size1: %d\n size2: %d\n" (constraint rows, fold lines).
// *sim receives the new record (null on failure). Returns 0, or -1 for a mesh
// without faces (*sim null).
int oriManifoldPrepareForFolding(ORI_manifold* om, int triangulate, int carried, ORISIM_matrix** sim);
