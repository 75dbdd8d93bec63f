// No key has a command yet; the callbacks are registered so that key
// repeat and key release are handled by the window system as they will be.
#include "app/keyboard.h"

void Keyboard(unsigned char, int, int) {}

void KeyboardUp(unsigned char, int, int) {}

void SpecialFunc(int, int, int) {}

void SpecialUp(int, int, int) {}
