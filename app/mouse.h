// Mouse callbacks of both windows: the left button picks, the middle button
// pans, the right button turns the model (rules in render/pick_rules.h).
// (x, y) is the pointer in the window, y from the top.
#pragma once

// Mouse-button callback: a left press picks on the current model
// (ProcessSelection) and shows the cleared picture until the next redraw.
void Mouse(int button, int state, int x, int y);

// Motion callback while a button is held.
void Motion(int x, int y);
