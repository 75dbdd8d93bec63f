#include "app/window_display.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cstdlib>

#include "app/app_state.h"
#include "app/file_open.h"
#include "app/fold_readout.h"
#include "app/fold_recording.h"
#include "app/key_map.h"
#include "app/panel.h"
#include "app/panel_controls.h"
#include "render/display.h"
#include "render/draw_marks.h"
#include "render/view_rules.h"
#include "render/view_state.h"
#include "sheet/sheet.h"

bool appDrawFrame() {
  appReadoutRefresh(the.sheet, theGL.draw_closure != 0);
  const bool status_shown = theGLUI.status_rollout != nullptr && theGLUI.status_rollout->is_open();
  appReadoutMobility(the.sheet, status_shown, theGL.hold_space || theGL.hold_b, false);
  menuShowReadout();
  if (!oriGLDrawScene(appManifold(), &theReadout.marks)) return false;
  if (the.show_help) oriGLDrawTextBox(kAppHelpLines, kAppHelpLineCount, theGL.width, theGL.height);
  return true;
}

void Display() {
  if (appDrawFrame()) glutSwapBuffers();
}

bool appServeOpenRequest() {
  if (!the.next_request && !the.open_request) return false;
  // The folding recorded so far belongs to the model about to be replaced.
  appFoldRecordingStop();
  if (the.next_request) {
    FileNextOpen(nullptr);
    the.next_request = 0;
  } else {
    if (FileOpen(nullptr) != kFileOpenLoaded) {
      // The window was closed for the dialogue and input has ended: there
      // is no one left to show the model to.
      std::exit(1);
    }
    the.open_request = 0;
  }
  glutSetWindow(the.main_window);
  glutShowWindow();
  return true;
}

void Display_base() {
  glClearColor(0.9f, 0.9f, 0.9f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glutSwapBuffers();

  appServeOpenRequest();

  char title[128];
  oriGLWindowTitle(title, sizeof title, theGL.width, theGL.height, oriSheetCounts(appSheet()).frame_no);
  glutSetWindowTitle(title);
}

void Reshape(int w, int h) {
  glutSetWindow(the.main_window);
  int W = w, H = h;
  if (!theGL.full_screen) {
    int x, y;
    menuViewportArea(&x, &y, &W, &H);
  }
  oriGLFitDrawingArea(&theGL, W, H);
  glutSetWindow(the.sub_window);
  glutPositionWindow(0, 0);
  glutReshapeWindow(theGL.width, theGL.height);
}
