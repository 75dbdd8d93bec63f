// Drawing the diagnosis marks (render/marks.h) and text into the current
// OpenGL context: the closure map on the folded faces and on the crease
// pattern's vertices, the hatch of faces that pass through each other, the
// legend that names the scales, and a box of text over the picture (the
// window's help). Immediate mode, like the rest of the drawing; each call
// leaves the OpenGL state as it found it, but for the current colour.
#pragma once

struct ORI_manifold;
struct OriGLMarks;

// Folded faces at pos (in the display frame the caller set up), coloured by
// the closure map: each corner takes its vertex's place on the closure scale
// and the colour follows the scale across the face (a one-dimensional
// texture of the scale, so that a face between a closed and a torn corner
// passes through the scale's colours, not through grey). Unshaded, the same
// on both sides. Returns 0.
int oriGLDrawFaceClosure(ORI_manifold* om, const OriGLMarks& marks);

// The faces that face_hit marks, hatched in kOriCollisionColor over what is
// already drawn at the same depth: folded at pos, or with cp in the crease
// pattern's plane z = 0. Returns the number of faces hatched.
int oriGLDrawFaceHit(ORI_manifold* om, const OriGLMarks& marks, bool cp);

// Every inner vertex of the crease pattern as a square of its closure colour
// with a black rim, kOriClosureDotSize pixels across. Returns 0.
int oriGLDrawVertClosureCP(ORI_manifold* om, const OriGLMarks& marks);
constexpr float kOriClosureDotSize = 9.0f;

// Every vertex that flat_fail marks, in the crease pattern's plane: a ring
// of kOriFlatFailColor, kOriFlatFailRingSize pixels across, drawn over the
// lines so that it shows whatever else is on. Returns the number marked.
int oriGLDrawVertFlatFailCP(ORI_manifold* om, const OriGLMarks& marks);
constexpr float kOriFlatFailRingSize = 15.0f;
// Magenta: apart from the closure scale, the fold-line ramp, the collision
// red and the paper.
constexpr float kOriFlatFailColor[3] = {0.85f, 0.0f, 0.85f};
// Which sample of the crease colours (the "Colour" view) the legend shows:
// none, the folded model's (valleys thinner) or the crease pattern's
// (valleys dashed).
enum OriLegendCreases {
  kOriLegendNoCreases = 0,
  kOriLegendCreasesFolded = 1,
  kOriLegendCreasesPattern = 2,
};

// The legend in the drawing area's lower left corner (w × h pixels): the
// closure scale with its decades when marks.closure is set, the fold-line
// ramp too when fold_lines is set (the crease-pattern view colours fold
// lines by it), a mountain and a valley line in their colours when creases
// asks for them, and the collision hatch with the number of pairs when
// faces pass through each other. Nothing when none of them is shown.
void oriGLDrawLegend(const OriGLMarks& marks, bool fold_lines, int w, int h,
                     OriLegendCreases creases = kOriLegendNoCreases);

// The legend's place: it lies within the kOriLegendWidth × height pixels at
// kOriLegendMargin from the lower left corner, height as given here for
// the same arguments (0 when nothing is shown), never above
// kOriLegendMaxHeight.
constexpr int kOriLegendMargin = 8;
constexpr int kOriLegendWidth = 232;
constexpr int kOriLegendMaxHeight = 116;
int oriGLLegendHeight(const OriGLMarks& marks, bool fold_lines, OriLegendCreases creases = kOriLegendNoCreases);

// Lines of text (printable ASCII; other characters are shown as '?') in a
// light box centred in the w × h drawing area, over the picture. A tab
// splits a line into two columns: what follows it starts where the widest
// first column ends. Returns 0.
int oriGLDrawTextBox(const char* const* lines, int n, int w, int h);
