// Picking: the faces or vertices of the present view drawn in selection
// mode around the pointer, and the pick acted on (rules in
// render/pick_rules.h).
#pragma once

struct ORI_manifold;

// One pick at window position (x, y), y from the top, in the current
// context: clears it, draws the faces (orientation mode 1) or the vertices
// (mode 2) of the present view of om in selection mode with a 6 × 6 pixel
// pick region, then acts on the hits: mode 1 makes the nearest face under
// the pointer the fixed face, mode 2 sets the next of the three axis
// vertices (*axis_pick_count says which, and moves on). A face pick that
// hits nothing places the facets again from the fixed face and restarts the
// three-vertex cycle. Leaves the cleared picture in the draw buffer for the
// caller to show or redraw. Does nothing when om is null.
void ProcessSelection(ORI_manifold* om, int* axis_pick_count, int x, int y);
