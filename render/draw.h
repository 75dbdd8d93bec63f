// Drawing the sheet into the current OpenGL context: the folded model
// (positions pos, in the display frame the caller has set up) and the flat
// crease pattern (crease-pattern coordinates in the plane z = 0). Immediate
// mode, no OpenGL lighting: colours come from the rules of render/shading.h.
//
// Every primitive is preceded by glLoadName with the index of its face,
// half-edge or vertex, so that the same calls serve picking in selection
// mode (the caller pushes the category and a placeholder name).
//
// All of them draw into the current context (the drawing sub-window's, or
// an off-screen one) on its thread, and cost one pass over the lists per
// call (the corner term also walks around each corner vertex; the black
// lines take one pass per width or dash).
#pragma once

struct ORI_manifold;
struct OriGLMarks;

// Folded faces, twice: the front pass (back faces culled, color_a) and the
// back pass (front faces culled, color_b); texture coordinates repeat the
// paper texture four times per unit of the pattern. Leaves face culling on.
// Returns 0.
int oriGLDrawFace(ORI_manifold* om);

// Folded lines: with draw_tess, first the flat lines and diagonals in grey;
// then boundary and fold lines in black, positive-target creases at half the
// current line width; with colours, mountains and valleys in
// kOriMountainColor and kOriValleyColor (render/color_scale.h) instead of
// black. Each line once. Leaves the width as found and line stipple off.
// Returns 0.
int oriGLDrawWire(ORI_manifold* om, bool draw_tess, bool colours = false);

// Every vertex as a point at pos; sets neither colour nor size. Returns 0.
int oriGLDrawVert(ORI_manifold* om);

// The crease pattern's faces in z = 0, shaded by the current fold: light
// term of the folded face, corners darkened by the neighbouring creases'
// angles. No texture coordinates. Leaves face culling on. Returns 0.
int oriGLDrawFaceCP(ORI_manifold* om);

// The crease pattern's lines in z = 0: with draw_tess first grey flat lines
// and diagonals; then black, positive-target creases dashed (0xAAAA), the
// others solid, all at the current width; with colours, mountains and
// valleys in kOriMountainColor and kOriValleyColor instead of black. With
// marks showing the closure map, each fold line takes instead the colour of
// the share of its target it still has to go (oriGLToGoColor of
// |crease_to_go| / |target|), colours or not. Leaves line stipple off, so
// that what is drawn next is solid. Returns 0.
int oriGLDrawWireCP(ORI_manifold* om, bool draw_tess, const OriGLMarks* marks = nullptr, bool colours = false);

// Every vertex as a point at its crease-pattern position. Returns 0.
int oriGLDrawVertCP(ORI_manifold* om);

// Loads the paper texture from the BMP file filename into theGL (header
// kept, pixels released after the upload) and uploads it as a mipmapped,
// repeating, modulating 2D texture, then enables texturing. Any 24-bit image
// the BMP loader accepts is used at its own size (GLU rescales it); a file
// that cannot be read leaves texturing off, silently. The fog parameters
// of the Walk view (white, exponential, density 0.4) are set either way.
void LoadTexture(const char* filename);
