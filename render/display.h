// The scene: the cameras of the three view modes, the display frame of the
// folded model, and the drawing of the present view into the current OpenGL
// context (a window's or an off-screen one). The view is theGL
// (render/view_state.h); the model is passed in. Thread of the current
// context only.
#pragma once

struct ORI_manifold;
struct OriGLMarks;

// Draws the present view of om into the current context's draw buffer
// without swapping: clears to white, sets the camera of theGL.view_mode for
// theGL.width × theGL.height pixels and draws either the crease pattern
// (cp_mode) or the folded model, as the switches draw_face, draw_edge,
// draw_crease and draw_colour (mountains and valleys in two colours, with
// their legend) say, with the axis markers in the three-vertex orientation
// mode. With marks (may be null: the paper alone), faces that pass through
// others are hatched in the warning colour, and when marks->closure is set
// the folded faces, or the pattern's vertices and fold lines, show the
// closure map (or, when marks->strain is set, the strain map in its
// place); the crease pattern rings the vertices marks->flat_fail marks; a
// legend names what is shown. Returns false, having touched
// nothing, when om is null.
// cost: one pass over the faces and one over the lines.
bool oriGLDrawScene(ORI_manifold* om, const OriGLMarks* marks = nullptr);

// Sets the viewport and multiplies the projection of theGL.view_mode onto
// the current projection matrix (normally the identity), then leaves
// GL_MODELVIEW current with the camera loaded. Object and Walk also switch
// the depth test on with GL_LEQUAL.
void MultMode();

// MultMode restricted to a 6 × 6 pixel pick region around window position
// (x, y), y counted from the top.
void MultModeSelect(int x, int y);

// Recomputes the display frame of om from its axis vertices
// (render/view_rules.h) and multiplies it onto the current matrix. Does
// nothing when om is null.
void MultXYZ(ORI_manifold* om);
