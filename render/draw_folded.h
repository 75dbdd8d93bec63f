// Drawing the flat-folded form (flat/flat_state.h) into the current OpenGL
// context, seen from above (+z, the side the fixed face's front looks to):
// the chosen stacking's view from above (ORI_layerOrder::view_*), the parts
// of faces and lines that nothing above covers, so that wherever layers
// stack the top one shows, as the folded model looks lying on the table,
// cyclic stackings (a pinwheel) included. Without a stacking (a pattern
// that does not fold flat, or none chosen), the faces are drawn translucent
// over each other: the x-ray of the folded form.
#pragma once

struct ORI_manifold;
struct ORI_flatState;

// Colour of a facet showing its back side, as a factor on the paper colour
// of the back (the default paper is alike on both sides).
constexpr float kOriFoldedBackTint[3] = {0.78f, 0.85f, 0.96f};
// Opacity and darkening of each face in the x-ray drawing.
constexpr float kOriFoldedXrayAlpha = 0.3f;
constexpr float kOriFoldedXrayShade = 0.6f;

// Draws the whole picture: clears to white, sets an orthographic camera from
// above that fits the folded form's box to the theGL.width × theGL.height
// drawing area as the framed pictures fit theirs (kOriFitFill of it, then
// enlarged by theGL.zoom), then the faces (front side in the
// front paper colour, back side tinted) and, with theGL.draw_edge, the
// outline and fold lines in black where they show. Returns false, having
// touched nothing, when om is null or fs holds no folded form of om.
// cost: one pass over the faces and one over the lines.
bool oriGLDrawFoldedScene(ORI_manifold* om, const ORI_flatState& fs);
