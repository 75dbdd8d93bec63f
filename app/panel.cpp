#include "app/panel.h"

#include <GL/freeglut.h>

#include "app/app_state.h"
#include "app/frame_files.h"
#include "app/glui.h"
#include "app/keyboard.h"
#include "app/motion.h"
#include "app/mouse.h"
#include "app/panel_controls.h"
#include "app/program.h"
#include "app/timer.h"
#include "app/window_capture.h"
#include "app/window_display.h"
#include "sim/sim_step.h"

namespace {

// The open request is carried out this long after the main window was
// hidden, so that the terminal dialogue runs with the window gone.
constexpr unsigned kOpenRequestDelayMs = 20;

// A hidden window is not redrawn, so its display callback cannot be relied
// on to find the request.
void serveOpenRequest(int) { appServeOpenRequest(); }

// "Save": one frame under the next number, in the same sequence as the
// recorded steps.
void saveFrame() {
  if (!the.save_screen && !the.save_model) return;
  ++the.frame_no;
  appSaveFrame(the.manifold, the.save_dir, the.frame_no, the.save_model, the.save_screen, ScreenSaveBMP);
}

}  // namespace

void menuInit() {
  GLUI* glui = GLUI_Master.create_glui_subwindow(the.main_window, GLUI_SUBWINDOW_RIGHT);
  glui->set_main_gfx_window(the.main_window);
  menuBuild(glui, menuCallback);
}

void menuCallback(int ID) {
  switch (ID) {
    case kMenuStepBack:
      Step(appButtonStep(the.fold_step, false), appStepOption(the.use_cg, the.use_rk));
      break;
    case kMenuStepForward:
      Step(appButtonStep(the.fold_step, true), appStepOption(the.use_cg, the.use_rk));
      break;
    case kMenuClearFold:
      if (the.manifold != nullptr && the.sim != nullptr) oriSimClearCrease(the.manifold, the.sim);
      break;
    case kMenuSave:
      saveFrame();
      break;
    case kMenuFileOpen:
      the.open_request = 1;
      glutHideWindow();
      glutTimerFunc(kOpenRequestDelayMs, serveOpenRequest, 0);
      break;
    case kMenuNextFile:
      the.next_request = 1;
      glutHideWindow();
      glutTimerFunc(kOpenRequestDelayMs, serveOpenRequest, 0);
      break;
    case kMenuViewMode:
      menuViewModeChanged();
      break;
    default:
      break;
  }
}

void menuForwardCallbacks() {
  GLUI_Master.set_glutIdleFunc(Idle);
  GLUI_Master.set_glutReshapeFunc(Reshape);
  GLUI_Master.set_glutKeyboardFunc(Keyboard);
  GLUI_Master.set_glutMouseFunc(Mouse);
  GLUI_Master.set_glutSpecialFunc(SpecialFunc);
  // Releases too, so that a key released over the panel ends its action.
  GLUI_Master.set_glutKeyboardUpFunc(KeyboardUp);
  GLUI_Master.set_glutSpecialUpFunc(SpecialUp);
}

void menuViewportArea(int* x, int* y, int* w, int* h) { GLUI_Master.get_viewport_area(x, y, w, h); }
