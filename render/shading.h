// The program's own shading and line rules, shared by the folded-model and
// the crease-pattern drawing. No OpenGL here: the drawing routines turn these
// values into glColor and glLineStipple calls.
//
// A face is drawn twice: the front pass shows the side its normal points to
// (colour set color_a), the back pass the other side (color_b). Each corner
// gets the colour (K1·s + K2)·v + K3·s + K4 per channel, with s the light
// term of the face and v the corner term of the folds around the corner.
#pragma once

struct ORI_manifold;
struct ORI_face;
struct ORI_edge;

// The value of π the rules use.
constexpr double kOriPi = 3.141592653589793;
// 1 / 2π: a fold of half a turn darkens by one half.
constexpr double kOriInvTwoPi = 0.15915494309189535;
// Most half-edges a walk around one corner visits: the lines and diagonals
// at a vertex, far fewer than this on any sheet worth drawing. The bound
// only keeps a broken mesh from hanging the drawing; a vertex of more lines
// is shaded from the first of them.
constexpr int kOriCornerWalkLimit = 4096;

enum OriPass { kOriFrontPass = 0, kOriBackPass = 1 };

// Brings an angle into (−π, π) by steps of π: while a ≤ −π add π, then while
// a ≥ π subtract π. An angle of exactly ±π becomes 0 (shades as flat).
// Non-finite input is returned as 0.
double oriGLWrapAngle(double a);

// Light term s of face f in pass: the face normal (column 2 of its row-major
// matrix) turned by the rotation part of om->model_matrix (OpenGL column
// order) and dotted with om->light_dir as d; front (d + 1) / 2, back
// (1 − d) / 2. In [0, 1] for unit vectors.
double oriGLLightTerm(const ORI_manifold* om, const ORI_face* f, OriPass pass);

// The nearest creases around the corner at the head of e, skipping
// tessellation diagonals: *out leaves the corner (from e->next turning
// through pair->next), *in arrives at it (from e turning through
// pair->prev). A corner with nothing but diagonals gives the last half-edge
// visited.
void oriGLCornerCreases(const ORI_edge* e, const ORI_edge** out, const ORI_edge** in);

// Corner term v of the folded model for the corner at the head of e:
// 0.7 × the mean of (cos a + 1) / 2 over the two neighbouring creases (angles
// wrapped, only the sign that folds towards this pass counted) + 0.3 × t,
// where t = 1 − max(0, ±sum of the wrapped angles of every half-edge leaving
// the corner) / 2π. 1 for a corner among flat creases.
double oriGLCornerTerm(const ORI_edge* e, OriPass pass);

// Corner term v of the crease-pattern view: 1 − (a_out + a_in) / 2π with the
// unwrapped angles of the two neighbouring creases, only the sign that folds
// towards this pass counted. 1 among flat creases, near 0 between two creases
// folded to π − 0.01.
double oriGLCornerTermCP(const ORI_edge* e, OriPass pass);

// The paper colour rule: rgb[c] = (K[c]·s + K[3 + c])·v + K[6 + c]·s + K[9 + c]
// for the colour set K (color_a or color_b). Not clamped.
void oriGLPaperColor(const double K[12], double s, double v, float rgb[3]);

// Once rule: of the two halves of a line only the one whose crease-pattern
// direction (x1 − x0, y1 − y0) has dx < 0, or dx = 0 and dy ≤ 0, is drawn.
bool oriGLDrawnOnce(const ORI_edge* e);

// How the black pass draws a half-edge.
enum OriWireKind {
  kOriWireHidden = 0,    // diagonal, or flat by target inside the paper
  kOriWireBoundary = 1,  // e or its pair on the outer boundary: solid, full width
  kOriWirePositive = 2,  // target > 0: half width (folded view) or dashed (pattern view)
  kOriWireNegative = 3,  // target < 0: solid, full width
};
OriWireKind oriGLWireKind(const ORI_edge* e);

// The colour of a kind of line in the "Colour" view (three channels in
// [0, 1]): a negative target (a mountain) kOriMountainColor, a positive one
// (a valley) kOriValleyColor, a boundary line black.
const float* oriGLWireColor(OriWireKind kind);

// Whether the grey pass draws e at all: a diagonal or a line flat by target
// (the once rule is applied separately).
bool oriGLGreyLine(const ORI_edge* e);

// Stipple patterns of the lines.
constexpr unsigned short kOriStippleSolid = 0xFFFF;
constexpr unsigned short kOriStippleDashed = 0xAAAA;
