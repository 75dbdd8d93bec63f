#include "app/program.h"

#include <GL/freeglut.h>

#include "app/app_state.h"
#include "app/glui.h"
#include "app/keyboard.h"
#include "app/mouse.h"
#include "app/panel.h"
#include "app/timer.h"
#include "app/window_display.h"
#include "render/draw.h"
#include "render/view_rules.h"
#include "render/view_state.h"

namespace {

constexpr int kMainWidth = 710, kMainHeight = 500;
constexpr int kMainX = 100, kMainY = 100;
// Periods of the three ticks, milliseconds; each tick's value is its period.
constexpr int kWalkTick = 10, kFoldTick = 50, kSlowTick = 1000;

// Both windows take the same callbacks but for drawing.
void registerWindowCallbacks(void (*display)()) {
  glutDisplayFunc(display);
  glutIdleFunc(Idle);
  glutReshapeFunc(Reshape);
  glutKeyboardFunc(Keyboard);
  glutSpecialFunc(SpecialFunc);
  glutMouseFunc(Mouse);
  glutKeyboardUpFunc(KeyboardUp);
  glutSpecialUpFunc(SpecialUp);
  glutMotionFunc(Motion);
}

}  // namespace

void OpenWindows(int* argc, char** argv) {
  glutInit(argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(kMainWidth, kMainHeight);
  glutInitWindowPosition(kMainX, kMainY);
  // Closing the window ends the main loop, so that the model is freed.
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);

  the.main_window = glutCreateWindow("Plicata");
  registerWindowCallbacks(Display_base);
  menuForwardCallbacks();
  menuInit();
  glutIgnoreKeyRepeat(1);

  the.sub_window = glutCreateSubWindow(the.main_window, 0, 0, theGL.width, theGL.height);
  glutIgnoreKeyRepeat(1);
  registerWindowCallbacks(Display);

  glutTimerFunc(kWalkTick, TimerFunc, kWalkTick);
  glutTimerFunc(kFoldTick, TimerFunc, kFoldTick);
  glutTimerFunc(kSlowTick, TimerFunc, kSlowTick);
  the.show_request = 1;
  // Texture and fog belong to the drawing window's context.
  LoadTexture(theGL.texture_file);

  glutSetWindow(the.main_window);
  glutHideWindow();
}

void Idle() {
  glutSetWindow(the.main_window);
  if (the.show_request) {
    glutShowWindow();
    the.show_request = 0;
  }
  appPostRedraw();
  glutSetWindow(the.sub_window);
  // From now on the windows are redrawn when something changes: an idle
  // callback would keep the main loop spinning on a processor.
  GLUI_Master.set_glutIdleFunc(nullptr);
}

void appPostRedraw() {
  if (the.main_window > 0) glutPostWindowRedisplay(the.main_window);
  if (the.sub_window > 0) glutPostWindowRedisplay(the.sub_window);
}

void appQuit() { glutLeaveMainLoop(); }

void appFit() {
  if (oriGLFitView(&theGL, appManifold())) appPostRedraw();
}
