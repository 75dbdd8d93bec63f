#include "app/panel.h"

#include <GL/freeglut.h>

#include <initializer_list>
#include <string>

#include "app/app_state.h"
#include "app/file_open.h"
#include "app/fold_readout.h"
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
#include "input/examples_dir.h"
#include "geometry/message.h"
#include "sheet/sheet.h"

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
  if ((!the.save_screen && !the.save_model) || appManifold() == nullptr) return;
  const int frame_no = oriSheetNextFrame(the.sheet);
  appSaveFrame(appManifold(), the.save_dir, frame_no, the.save_model, the.save_screen, ScreenSaveBMP);
}

// A file chosen in the Files rollout: opened flat on a click of its name,
// onto the folded model by its "Next" button; a file that cannot be opened
// leaves the model as it was and says why under the lists.
void openChosenFile(const GLUI_FileBrowser* browser) {
  if (browser == nullptr) return;
  std::string reason;
  const int onto = browser->get_action() == GLUI_FILEBROWSER_SECOND ? 1 : 0;
  const bool opened = appOpenPatternFile(browser->get_file(), onto, the.triangulate, &reason) == 0;
  if (theGLUI.files_message != nullptr) theGLUI.files_message->set_text(reason.c_str());
  if (opened) glutPostRedisplay();
}

}  // namespace

void menuInit() {
  GLUI* glui = GLUI_Master.create_glui_subwindow(the.main_window, GLUI_SUBWINDOW_RIGHT);
  glui->set_main_gfx_window(the.main_window);
  menuBuild(glui, menuCallback, oriExamplesDir().c_str());
}

void menuCallback(int ID) {
  switch (ID) {
    case kMenuStepBack:
      Step(appButtonStep(the.fold_step, false));
      break;
    case kMenuStepForward:
      Step(appButtonStep(the.fold_step, true));
      break;
    case kMenuClearFold:
      oriSheetClear(appSheet());
      appReadoutReset();
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
    case kMenuFoldTo:
    case kMenuExact:
    case kMenuContact:
    case kMenuThickness:
    case kMenuSolver:
    case kMenuMode: {
      const ORI_result r = appApplyFoldOptions();
      if (oriFailed(r)) {
        // Refused (contact with a mode): said, and the panel shows the
        // sheet's options again.
        oriMessage("%s\n", oriResultText(r).c_str());
        const ORI_foldOptions kept = oriSheetOptions(appSheet());
        the.contact = kept.contact ? 1 : 0;
        the.mode = kept.mode;
        if (theGLUI.contact_check != nullptr) theGLUI.contact_check->set_int_val(the.contact);
        if (theGLUI.mode_spinner != nullptr) theGLUI.mode_spinner->set_int_val(the.mode);
      }
      appReadoutChanged();  // the Status rollout says whether contact is on, and which solver folds
      break;
    }
    case kMenuCountDof:
      appReadoutMobility(appSheet(), true, false, true);
      menuShowReadout();
      break;
    case kMenuHelp:
      the.show_help = the.show_help ? 0 : 1;
      break;
    case kMenuFit:
      appFit();
      break;
    case kMenuQuit:
      appQuit();
      break;
    case kMenuFileFilter:
      for (GLUI_FileBrowser* b : {theGLUI.examples_browser, theGLUI.folder_browser}) {
        if (b != nullptr) b->set_name_filter(the.file_filter);
      }
      break;
    case kMenuExampleChosen:
      openChosenFile(theGLUI.examples_browser);
      break;
    case kMenuFolderChosen:
      openChosenFile(theGLUI.folder_browser);
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

void menuShowReadout() {
  std::string lines[kAppReadoutLines];
  appReadoutLines(theReadout, lines);
  for (int i = 0; i < kAppReadoutLines; ++i) {
    if (theGLUI.status_text[i] != nullptr) theGLUI.status_text[i]->set_text(lines[i].c_str());
  }
}
