// Mouse callbacks of both windows: the left button picks, the middle button
// pans, the right button turns the model.
#pragma once

void Mouse(int button, int state, int x, int y);
void Motion(int x, int y);
