#include "app/window_display.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "app/file_open.h"
#include "app/fold_readout.h"
#include "app/fold_recording.h"
#include "app/key_map.h"
#include "app/panel.h"
#include "flat/flat_state.h"
#include "app/panel_controls.h"
#include "app/program.h"
#include "render/display.h"
#include "render/draw_folded.h"
#include "render/draw_marks.h"
#include "render/view_rules.h"
#include "render/view_state.h"
#include "sheet/sheet.h"

namespace {

// The "Folded form" view: the sheet's flat state with its first stacking,
// analysed on the first frame of a pattern. Where there is no stacking the
// x-ray is drawn and a box says why.
bool drawFoldedForm() {
  ORI_sheet* sheet = appSheet();
  const ORI_flatState* flat = nullptr;
  const ORI_result r = oriSheetFlatState(sheet, ORI_layerOptions(), &flat);
  if (oriFailed(r)) return oriGLDrawScene(appManifold(), &theReadout.marks);
  if (!oriGLDrawFoldedScene(appManifold(), *flat)) return false;
  const ORI_layerOrder& L = flat->layers;
  if (L.status != kOriLayerFound) {
    const std::string line = (L.status == kOriLayerOutOfTime ? "no valid stacking found: " : "no valid stacking: ") +
                             L.reason;
    const char* lines[] = {line.c_str()};
    oriGLDrawTextBox(lines, 1, theGL.width, theGL.height);
  }
  return true;
}

}  // namespace

bool appDrawFrame() {
  appReadoutRefresh(the.sheet, theGL.draw_closure != 0, theGL.draw_strain != 0);
  const bool status_shown = theGLUI.status_rollout != nullptr && theGLUI.status_rollout->is_open();
  appReadoutMobility(the.sheet, status_shown, theGL.hold_space || theGL.hold_b, false);
  menuShowReadout();
  if (theGL.view_mode == kOriViewFolded) {
    if (!drawFoldedForm()) return false;
  } else if (!oriGLDrawScene(appManifold(), &theReadout.marks)) {
    return false;
  }
  if (the.show_help) oriGLDrawTextBox(kAppHelpLines, kAppHelpLineCount, theGL.width, theGL.height);
  return true;
}

void Display() {
  // A three-vertex pick is abandoned once that orientation mode is left
  // (the panel's change of mode redraws this window).
  if (theGL.orient_mode != 2) the.axis_pick_count = 0;
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
  appPostRedraw();
  return true;
}

void Display_base() {
  glClearColor(0.9f, 0.9f, 0.9f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glutSwapBuffers();
  // The main window is redrawn when something in it changed (the panel's
  // controls redraw it): the drawing too.
  glutPostWindowRedisplay(the.sub_window);

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
  appPostRedraw();
}
