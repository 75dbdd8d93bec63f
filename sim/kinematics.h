// Fold kinematics: crease angles to facet poses, and back.
//
// Sign of a fold angle: for a half-edge running tail to head, a positive
// angle rotates the face on its left (its face) about the directed line tail
// → head, right-handed, relative to the face across the crease.
#pragma once

#include <vector>

struct ORI_manifold;
struct ORI_face;
struct ORI_edge;

// Fold angles are clamped to ±(π − 0.01) when faces are placed.
constexpr double kOriFoldAngleLimit = 3.1315926535897933;

// Places every face reachable from start (whose matrix is read, never
// changed), breadth first across creases, rotating each face about the
// crease it is reached through by that crease's angle, and writes every
// reached vertex's pos. Within a level the first open half-edge in edges order
// decides from which neighbour a face is placed. Returns 0.
// Each level's waiting half-edges are kept in a frontier, so an update costs
// O(half-edges · log) whatever the depth of the traversal. The frontier order
// needs the numbering of oriManifoldIndex; before it, the walk below is used.
int oriManifoldUpdate(ORI_manifold* om, ORI_face* start);

// The order in which oriManifoldUpdate places the faces of a mesh from its
// fixed face: it depends on the links alone, not on the angles, so a sheet
// folded step after step can replay it. fold lists the half-edges that
// faces were placed across, in order; vert the half-edges whose heads were
// placed (the fixed face's first, then each placed face's), vert_start[k]
// where face k's begin (vert_start[0] ends the fixed face's); a vertex the
// recording placed more than once is listed only where it was placed last.
//
// Each face is placed from the one across its crease alone, so the faces
// form a tree that a large sheet replays in parts: the folds order[0] to
// order[top − 1] (the tree's trunk, in recorded order) first, then whole
// branches, chunk c holding order[chunk_start[c]] to order[chunk_start[c +
// 1] − 1] in recorded order, shared among the calling thread's helpers
// (sim/parallel_chunks). Every face and vertex gets the same bits as in
// one pass. chunk_start is empty when the sheet is replayed in one pass.
struct ORI_placement {
  const ORI_manifold* mesh = nullptr;
  const ORI_face* start = nullptr;
  int n_edge = -1;
  int n_face = -1;
  std::vector<ORI_edge*> fold;
  std::vector<const ORI_edge*> vert;
  std::vector<int> vert_start;
  int top = 0;
  std::vector<int> order;
  std::vector<int> chunk_start;
};

// oriManifoldUpdate(om, om->center_face) with the order kept in plan: the
// first call for a mesh, fixed face and counts records it while placing,
// later ones replay it (no marks, no sorting, no search), placing every face
// and vertex exactly as the recording did, a large sheet's branches by
// several threads. A mesh whose links change under the same counts needs a
// fresh plan. Returns 0 (nothing done without a fixed face).
int oriManifoldUpdatePlanned(ORI_manifold* om, ORI_placement* plan);

// The same placement by walking the whole half-edge list once per level and
// calling oriManifoldFold on every waiting half-edge of that level as the walk
// reaches it: the reference that oriManifoldUpdate must match.
// warning: O((levels + 1) · half-edges).
int oriManifoldUpdateByWalk(ORI_manifold* om, ORI_face* start);

// Places the face of edge_to relative to the (placed) face of its pair and
// opens the traversal across its other half-edges at tree_depth + 1.
// Only oriManifoldUpdate calls it. Returns 0.
int oriManifoldFold(ORI_edge* edge_to, int tree_depth);

// Measures every half-edge's angle from the vertex positions (0 on the
// boundary), in (−π, π]. Returns 0.
int oriManifoldCalcCreaseFromVertPos(ORI_manifold* om);
