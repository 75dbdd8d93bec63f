// Until the panel is built the main window holds the drawing alone.
#include "app/panel.h"

#include <GL/freeglut.h>

void menuInit() {}

void menuCallback(int) {}

void menuForwardCallbacks() {}

void menuViewportArea(int* x, int* y, int* w, int* h) {
  *x = 0;
  *y = 0;
  *w = glutGet(GLUT_WINDOW_WIDTH);
  *h = glutGet(GLUT_WINDOW_HEIGHT);
}
