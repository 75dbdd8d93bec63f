// Keyboard callbacks of both windows: keys pressed and released, ordinary
// and special (arrows). (x, y) is the pointer position in the window.
#pragma once

void Keyboard(unsigned char key, int x, int y);
void KeyboardUp(unsigned char key, int x, int y);
void SpecialFunc(int key, int x, int y);
void SpecialUp(int key, int x, int y);
