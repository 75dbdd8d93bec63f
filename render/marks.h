// What the drawing marks on the sheet besides the paper: how far each inner
// vertex fails to close and each fold line is from its target (the closure
// map), and which faces pass through others (the collision warning). The
// caller fills the record when the model has changed (the window once per
// displayed frame, plicata-fold once per picture) and hands it to
// oriGLDrawScene; the drawing only reads it.
#pragma once

#include <vector>

struct ORI_manifold;
struct ORISIM_matrix;

struct OriGLMarks {
  // Colour the sheet by the closure map (the panel's "Closure").
  bool closure = false;
  // Closure error of every vertex by ORI_vert::index, radians
  // (oriSimVertexClosure); 0 for a vertex without a closure condition (on
  // the boundary).
  std::vector<double> vertex_closure;
  // How far every fold line is from the target it folds to, by crease_index:
  // target_angle × fold_to − angle, radians (signed: positive while a valley
  // still has to fold further); 0 for flat lines and diagonals.
  std::vector<double> crease_to_go;
  // 1 for every face (by its position in om->faces) that passes through
  // another face, else 0; pairs counts the pairs of faces.
  std::vector<unsigned char> face_hit;
  int pairs = 0;
  // Colour the sheet by the strain map instead (plicata-fold --strain): each
  // vertex by the largest |relative change of length| of its lines, by
  // ORI_vert::index; the largest bend of a facet (a diagonal's or flat
  // line's |angle|, radians) for the legend.
  bool strain = false;
  std::vector<double> vertex_strain;
  double largest_bend = 0.0;

  // 1 for every vertex (by ORI_vert::index) that fails Kawasaki or Maekawa
  // with the pattern's mountains and valleys (flat/flat_check.h), else 0;
  // the crease-pattern view rings them. Empty: nothing to mark.
  std::vector<unsigned char> flat_fail;
};

// Fills vertex_closure and crease_to_go from om's present angles. Returns
// the largest vertex closure error (0 without inner vertices); *worst_vertex
// (may be null) receives that vertex's ORI_vert::index, -1 when there is
// none. Cost: O(creases + vertices), one walk of the closure residual.
double oriGLMarksClosure(OriGLMarks* marks, const ORISIM_matrix* osm, const ORI_manifold* om, int* worst_vertex);

// The fold line farthest from its target: returns its distance
// (|crease_to_go|, radians, 0 when there is no fold line). Reads
// crease_to_go as oriGLMarksClosure left it.
double oriGLMarksFarthestCrease(const OriGLMarks& marks);

// Fills vertex_strain and largest_bend from om's present positions and
// angles (sim/compliant.h: oriSimBarStrain, oriSimFacetBending). Returns
// the largest |strain| (0 without lines). Cost: O(half-edges).
double oriGLMarksStrain(OriGLMarks* marks, const ORI_manifold* om);

// Fills face_hit and pairs from om's present placement
// (oriManifoldIntersectingFaces). Returns pairs. Cost: O(n log n) in the
// faces (about 10 ms for 20 000 triangles).
int oriGLMarksCollisions(OriGLMarks* marks, const ORI_manifold* om);
