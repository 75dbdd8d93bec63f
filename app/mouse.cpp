#include "app/mouse.h"

#include <GL/freeglut.h>

#include "app/app_state.h"
#include "app/program.h"
#include "render/pick_rules.h"
#include "render/picking.h"
#include "render/view_state.h"

static_assert(kOriMouseLeft == GLUT_LEFT_BUTTON && kOriMouseMiddle == GLUT_MIDDLE_BUTTON &&
                  kOriMouseRight == GLUT_RIGHT_BUTTON && kOriMouseDown == GLUT_DOWN && kOriMouseUp == GLUT_UP,
              "the mouse rules use GLUT's codes");

void Mouse(int button, int state, int x, int y) {
  // A press or release may start or end a drag, or pick.
  appPostRedraw();
  if (!oriGLMouseButton(&theGL, button, state, x, y)) return;
  ProcessSelection(appManifold(), &the.axis_pick_count, x, y);
  if (appManifold() != nullptr) glutSwapBuffers();
}

void Motion(int x, int y) {
  oriGLMouseMotion(&theGL, x, y);
  appPostRedraw();
}
