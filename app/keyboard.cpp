#include "app/keyboard.h"

#include <GL/freeglut.h>

#include "app/app_state.h"
#include "app/key_map.h"
#include "app/panel.h"
#include "app/panel_controls.h"
#include "app/program.h"
#include "render/view_state.h"

static_assert(kAppKeyLeft == GLUT_KEY_LEFT && kAppKeyUp == GLUT_KEY_UP && kAppKeyRight == GLUT_KEY_RIGHT &&
                  kAppKeyDown == GLUT_KEY_DOWN,
              "the key map uses GLUT's arrow codes");

namespace {

// The panel shows what a key may have changed (not "Scr": 'S' leaves the
// check box as it was).
void refreshPanel() {
  if (theGLUI.view_mode_radio != nullptr) theGLUI.view_mode_radio->set_int_val(theGL.view_mode);
  if (theGLUI.draw_face_check != nullptr) theGLUI.draw_face_check->set_int_val(theGL.draw_face);
  if (theGLUI.draw_edge_check != nullptr) theGLUI.draw_edge_check->set_int_val(theGL.draw_edge);
  if (theGLUI.crease_check != nullptr) theGLUI.crease_check->set_int_val(theGL.draw_crease);
}

void saveGeometry() {
  theGL.saved_x = glutGet(GLUT_WINDOW_X);
  theGL.saved_y = glutGet(GLUT_WINDOW_Y);
  theGL.saved_w = glutGet(GLUT_WINDOW_WIDTH);
  theGL.saved_h = glutGet(GLUT_WINDOW_HEIGHT);
}

void restoreGeometry() {
  glutPositionWindow(theGL.saved_x, theGL.saved_y);
  glutReshapeWindow(theGL.saved_w, theGL.saved_h);
}

void toggleFullScreen() {
  glutSetWindow(the.main_window);
  if (!theGL.full_screen) {
    saveGeometry();
    glutFullScreen();
    if (theGLUI.glui != nullptr) theGLUI.glui->hide();
    theGL.full_screen = 1;
  } else {
    if (theGLUI.glui != nullptr) theGLUI.glui->show();
    restoreGeometry();
    theGL.full_screen = 0;
  }
  glutSetWindow(the.sub_window);
}

void toggleFitAspect() {
  glutSetWindow(the.main_window);
  int x, y, w, h;
  menuViewportArea(&x, &y, &w, &h);
  if (theGL.full_screen) return;
  if (!theGL.fixed_aspect) {
    saveGeometry();
    glutReshapeWindow(appFitAspectWidth(theGL.saved_w, w, h, theGL.ref_width, theGL.ref_height),
                      static_cast<int>(theGL.ref_height));
    theGL.fixed_aspect = 1;
  } else {
    theGL.fixed_aspect = 0;
    restoreGeometry();
  }
}

}  // namespace

void Keyboard(unsigned char key, int, int) {
  switch (appKeyPressed(key, &the, &theGL)) {
    case kAppKeyFullScreen: toggleFullScreen(); break;
    case kAppKeyFitAspect: toggleFitAspect(); break;
    case kAppKeyFit: appFit(); break;
    case kAppKeyQuit: appQuit(); return;
    case kAppKeyNoCommand: break;
  }
  refreshPanel();
  appPostRedraw();
}

void KeyboardUp(unsigned char key, int, int) {
  appKeyReleased(key, &theGL);
  refreshPanel();
}

void SpecialFunc(int key, int, int) {
  appSpecialKey(key, true, &theGL);
  refreshPanel();
}

void SpecialUp(int key, int, int) {
  appSpecialKey(key, false, &theGL);
  refreshPanel();
}
