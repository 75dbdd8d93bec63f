// Mouse callbacks of both windows: the left button picks, the middle button
// pans, the right button turns the model (rules in render/pick_rules.h).
#pragma once

// Mouse-button callback; (x, y) is the pointer in the window, y from the top.
void Mouse(int button, int state, int x, int y);

// Motion callback while a button is held.
void Motion(int x, int y);

// One pick at window position (x, y), y from the top, in the current window:
// draws the faces (orientation mode 1) or the vertices (mode 2) of the
// present view in selection mode with a 6 × 6 pixel pick region, then acts
// on the hits: mode 1 makes the nearest face under the pointer the fixed
// face, mode 2 sets the next of the three axis vertices. A face pick that
// hits nothing places the facets again from the fixed face and restarts the
// three-vertex cycle. The drawing window shows a cleared picture until it
// is next drawn. Does nothing without a pattern.
void ProcessSelection(int x, int y);
