// The half-edge mesh of the sheet: the flat crease pattern and the folded
// shape are two views of the same records.
//
// Sections: records (vertex, half-edge, face, manifold) and their invariants;
// creation and deletion; numbering and the fixed face; queries; the
// invariant check.
#pragma once

#include <cstddef>

#include "geometry/list.h"
#include "geometry/vector3d.h"

struct ORI_vert;
struct ORI_edge;
struct ORI_face;

// Fold targets of the two fold types: π − 0.01, never ±π, so that a crease
// folded to its target never lays two faces exactly onto each other.
constexpr double kOriTargetAngle = 3.1315926535897933;

// Line types of a crease pattern, as the crease-pattern editor defines them;
// every reader maps its own marks to these. A mountain folds to
// -kOriTargetAngle, a valley to +kOriTargetAngle; other types are flat.
constexpr int kOriLineTypeMountain = 2;
constexpr int kOriLineTypeValley = 3;
// The auxiliary line type: a drawing guide, flat where it is kept. Every
// format is built by one rule for it: an auxiliary line never splits another
// line; it is dropped whole where it crosses another line or where its own
// end rests on another line's inside; where another line ends on its inside
// it is split there like any line (an outline drawn in a guide colour still
// holds the creases that end on it).
constexpr int kOriLineTypeAux = 0;

// A vertex holds as many lines as end at it: out points at n_out entries of
// a block the manifold owns (one block for all the vertices of a
// construction), so a vertex costs the same whatever its degree. Code that
// enters more lines at a vertex gives it a larger block of its own
// (oriManifoldAllocBlock), copying the entries.
struct ORI_vert {
  vector3d pos;                     // CP-plane point after reading; folded position afterwards
  ORI_edge** out;                   // n_out half-edges leaving this vertex, in reading order; out[0] represents it
  int n_out;                        // entries of out; 0 marks a free construction slot (out then null)
  int sim_index;                    // index among the inner vertices (simulation); -1 otherwise
  int index;                        // position in verts; -1 until numbered; pick name
  int obj_index;                    // number in the OBJ file being written
  unsigned char on_boundary;        // 1 = on the outer boundary of the paper
};

struct ORI_edge {
  ORI_vert* vert;                   // head
  ORI_edge* pair;                   // opposite half of the same line
  ORI_face* face;                   // face on the left; null on the outer boundary
  ORI_edge* next;                   // following half-edge around the face (or the boundary)
  ORI_edge* prev;                   // preceding half-edge
  double turn_cos;                  // cosine of the CP-plane turn into next
  double turn_sin;                  // sine of that turn; positive = left turn
  double x0, y0;                    // CP-plane tail
  double x1, y1;                    // CP-plane head
  double target_angle;              // ±kOriTargetAngle for fold lines, 0 for flat lines and diagonals
  double angle;                     // current fold angle, radians, 0 = flat
  int crease_index;                 // shared by both halves of an inner line; -1 on the boundary
  int index;                        // position in edges; pick name
  int tree_depth;                   // placement traversal level; -1 = not visited
  // The byte-sized marks together, after the wider fields, so that the
  // record packs without holes.
  unsigned char in_face;            // construction mark: given to a face
  unsigned char on_boundary;        // 1 = outer boundary loop (no face)
  unsigned char sim_active;         // takes part in the closure constraints
  unsigned char is_diagonal;        // 1 = added by tessellation
  unsigned char visited;            // scratch mark for walks (OBJ export)
  unsigned char tree_open;          // placement frontier mark
};

struct ORI_face {
  int index;                        // position in faces
  ORI_edge* first;                  // one half-edge of the loop; walks start and stop here
  double matrix[16];                // row-major 4×4: flat (x, y, 0, 1) → folded point; column 2 is the normal
};

struct ORI_storage;  // owns the record blocks of one manifold (see manifold.cpp)

// Invariants of a built mesh, checked by oriManifoldValidate:
//  - e.pair.pair is e; e.pair.vert is the tail of e; (x0, y0) of e equal
//    (x1, y1) of e.pair and the reverse.
//  - following next from a half-edge with a face returns to it; every
//    half-edge of the loop has that face and face.first is one of them;
//    prev is the inverse of next.
//  - outer boundary half-edges have on_boundary 1 and no face, and are
//    linked among themselves.
//  - a vertex has at least one entry in out and every entry leaves that
//    vertex; there is no bound on their number but memory (every line
//    ending there has one, diagonals none).
//  - after oriManifoldIndex, the index fields run 0, 1, 2, … in list order.
struct ORI_manifold {
  double paper_size;                // paper side in file units (400 by default)
  int moment_factor;                // factor on the moments of wrongly folded creases; 0
  double fold_to;                   // share of every target the fold heads for, 0 to 1 (1: whole targets)
  ORI_face* center_face;            // the fixed face
  ORI_vert* axis_origin;            // display frame: origin vertex
  ORI_vert* axis_x;                 // display frame: x-axis vertex
  ORI_vert* axis_xy;                // display frame: a vertex in the xy plane
  vector3d center;                  // display pivot
  double model_matrix[16];          // display matrix, OpenGL column order
  List* verts;
  List* edges;
  List* faces;
  int n_vert;
  int n_edge;                       // half-edges: twice the lines and diagonals
  int n_face;
  vector3d light_dir;
  double color_a[12];               // front side paper colours
  double color_b[12];               // back side paper colours
  ORI_storage* storage;             // record storage, released by oriManifoldDelete
};

// An empty manifold (counts 0, empty lists, identity model_matrix, light
// direction set) with the built-in paper colours; reads no file (a program
// that draws the paper hands its colours in: geometry/paper_color.h).
ORI_manifold* oriManifoldNew();

// Frees the lists, every record the manifold owns, and the manifold. Null is
// allowed. Returns 0.
int oriManifoldDelete(ORI_manifold* om);

// Finds or makes a vertex in a construction vertex table. vertlist is the
// first slot; slots are scanned while used (n_out != 0). Returns the first
// used slot strictly inside the box of half-width threshold around (x, y, z),
// else the first free slot with pos set (its n_out stays 0 until the caller
// enters a half-edge). The table must end with a free slot.
// warning: O(table size).
ORI_vert* oriAddVert(ORI_vert* vertlist, double x, double y, double z, double threshold);

// Numbers faces, vertices and half-edges in list order and gives both halves
// of every inner line the next crease number (boundary lines keep -1).
void oriManifoldIndex(ORI_manifold* om);

// Chooses center_face: the face whose corners have the smallest mean squared
// distance from the CP origin (the earliest on a tie). Returns 0.
int oriManifoldCenterFace(ORI_manifold* om);

// The face containing the CP-plane point (x, y), found by walking across
// edges from the first face. A point outside the paper gives the face whose
// boundary edge the walk reached. Where the walk meets the outline but the
// point lies on the paper all the same (an outline that is not convex), and
// where the walk circles (it can on non-convex faces), every face is tested
// instead. Null on a mesh without faces.
ORI_face* oriManifoldSelectFace(ORI_manifold* om, double x, double y);

// An index of a mesh's faces by their boxes in the CP plane, for many
// lookups on a mesh whose faces do not change meanwhile (opening a pattern
// onto a folded model looks up every new vertex).
struct ORI_face_index;

// Builds the index of om's faces. O(faces); the caller deletes it.
ORI_face_index* oriFaceIndexNew(const ORI_manifold* om);
void oriFaceIndexDelete(ORI_face_index* index);

// oriManifoldSelectFace(om, x, y), the same face in every case, with the
// test of every face replaced by a test of the faces whose box holds the
// point, taken in list order. index must have been built from om; null
// tests every face.
ORI_face* oriManifoldSelectFaceIndexed(ORI_manifold* om, const ORI_face_index* index, double x, double y);

// True when every face has exactly three half-edges (false on a mesh
// without faces).
bool oriManifoldTriangulated(ORI_manifold* om);

// Makes a new half-edge pair and face owned by om (tessellation). The records
// are zeroed except index fields, which are -1.
ORI_edge* oriManifoldNewEdge(ORI_manifold* om);
ORI_face* oriManifoldNewFace(ORI_manifold* om);

// A zeroed block of count records of size bytes, owned by om and released
// with it. Null when memory runs out.
void* oriManifoldAllocBlock(ORI_manifold* om, size_t count, size_t size);

// Enters count records into top (one of om's empty lists, verts, edges or
// faces) in order, the first in its head node and the others in nodes cut
// from one block that om owns (oriManifoldDelete releases them with it; a
// construction fills lists of hundreds of thousands of records). Nodes
// added later (listAppend) are ordinary. Returns 0, or -1 when memory runs
// out (top then holds nothing).
int oriManifoldFillList(ORI_manifold* om, List* top, void* const* records, size_t count);

// Checks the invariants listed above. Returns 0 when they hold; otherwise
// non-zero with a sentence naming the broken invariant in why (when given).
int oriManifoldValidate(const ORI_manifold* om, char* why, size_t why_size);

// Sets a 4×4 matrix to the identity.
void oriMatrixIdentity(double m[16]);
