// The rules of the mouse and of picking, apart from OpenGL: what the
// buttons and drags do to the view state, which hit record of a selection
// pass a pick acts on, and what a face pick and a vertex pick change in the
// mesh.
#pragma once

#include <cstddef>

struct ORI_manifold;
struct theGLstruct;

// Mouse buttons and states (GLUT's values).
constexpr int kOriMouseLeft = 0;
constexpr int kOriMouseMiddle = 1;
constexpr int kOriMouseRight = 2;
constexpr int kOriMouseDown = 0;
constexpr int kOriMouseUp = 1;

// A drag across the whole drawing width turns the model by this, degrees.
constexpr int kOriDragTurn = 90;
// The tilt of the Object camera stays within ±this, degrees (past the
// vertical on purpose).
constexpr double kOriElevationLimit = 100.0;

// Hit categories, the first name of a hit record; the second is the index.
constexpr unsigned kOriPickFace = 1;
constexpr unsigned kOriPickVert = 2;
// Values in the selection buffer of one pick.
constexpr size_t kOriSelectBufferSize = 1024;

// A button pressed or released at (x, y): the middle button starts and
// ends a pan (the release commits the drag to pan_x, pan_y so the picture
// stays where it was left), the right button starts and ends a turn (the
// release keeps the angles as the base of the next drag). Returns true when
// the left button went down: the caller picks at (x, y). Other buttons and
// states change nothing.
bool oriGLMouseButton(theGLstruct* gl, int button, int state, int x, int y);

// The pointer moved to (x, y) with a button held: follows the pan, and the
// turn (azimuth and elevation from the drag, 90 degrees per drawing width,
// elevation kept within ±100).
void oriGLMouseMotion(theGLstruct* gl, int x, int y);

// What a pick acts on.
struct OriPickChoice {
  unsigned category;  // kOriPickFace or kOriPickVert
  unsigned index;     // index of the face or vertex
};

// Walks the first hits records of buf (buf_size values; records that would
// run past the end stop the walk) and chooses, in orient_mode 1, the face
// hit with the smallest minimum depth (unsigned; the first on a tie) among
// the face records from the first one on, and in orient_mode 2 the first
// vertex record. Only records of two names count. False when nothing
// fitting was hit (or hits ≤ 0).
bool oriGLChoosePick(const unsigned* buf, size_t buf_size, int hits, int orient_mode, OriPickChoice* choice);

// Makes the face of the given index the fixed face: every facet is placed
// again from it (it keeps its pose), center becomes its centroid as shown
// now (through model_matrix), and the three axis vertices are cleared so
// that the display frame falls back to the identity. False, nothing
// changed, when no face has that index.
bool oriGLPickFace(ORI_manifold* om, unsigned index);

// Sets the next axis vertex of the three-vertex pick to the vertex of the
// given index and prints the index ("%d\n"): with *axis_pick_count 0 the
// origin (the other two cleared), 1 the x vertex, 2 the plane vertex; the
// count moves on 0 → 1 → 2 → 0 (any other count counts as 0). False,
// nothing changed, when no vertex has that index.
bool oriGLPickVert(ORI_manifold* om, unsigned index, int* axis_pick_count);
