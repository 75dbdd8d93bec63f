// The mouse does nothing yet; the callbacks hold their places.
#include "render/picking.h"

void Mouse(int, int, int, int) {}

void Motion(int, int) {}
