#include "app/key_map.h"

#include "app/app_state.h"
#include "render/view_state.h"

const char* const kAppHelpLines[] = {
    "space (held)\tfold towards the targets",
    "b (held)\tunfold towards flat",
    "o, p, c\tObject, Walk or top camera",
    "e\tlines on or off",
    "up, down (held)\tzoom in, out; Walk: speed up, slow down",
    "left, right (held)\tWalk: turn",
    "/, \\ (held)\tWalk: step left, right",
    "w, t\tWalk: wider, narrower view",
    "u, d\tWalk: eye up, down",
    "S\tsaved frames also as pictures",
    "F\tfull screen on or off",
    "M\tdrawing area 640 x 480, or back",
    "f\tfit: frame the model (or pattern) in the view",
    "h\tthis help on or off",
    "q, Esc\tquit (the recording is written)",
    "left button\tpick the fixed facet (XY by Facet)",
    "\tor an axis vertex (XY by 3 Vert)",
    "middle drag\tmove the picture",
    "right drag\tturn the model (Object camera)",
};
const int kAppHelpLineCount = static_cast<int>(sizeof kAppHelpLines / sizeof kAppHelpLines[0]);

AppKeyCommand appKeyPressed(unsigned char key, the_struct* app, theGLstruct* gl) {
  switch (key) {
    case ' ': gl->hold_space = 1; break;
    case 'b': gl->hold_b = 1; break;
    case '/': gl->hold_slash = 1; break;
    case '\\': gl->hold_backslash = 1; break;
    case 'o': gl->view_mode = 0; break;
    case 'p': gl->view_mode = 1; break;
    case 'c': gl->view_mode = 2; break;
    case 'e': gl->draw_edge = gl->draw_edge == 0 ? 1 : 0; break;
    case 'w':
      if (gl->walk_fovy < kAppWalkFovyMax) gl->walk_fovy += kAppWalkFovyStep;
      break;
    case 't':
      if (gl->walk_fovy > kAppWalkFovyMin) gl->walk_fovy -= kAppWalkFovyStep;
      break;
    case 'u': gl->walk_pos.z += kAppWalkEyeStep; break;
    case 'd': gl->walk_pos.z -= kAppWalkEyeStep; break;
    case 'S': app->save_screen = app->save_screen == 0 ? 1 : 0; break;
    case 'h': app->show_help = app->show_help == 0 ? 1 : 0; break;
    case 'F': return kAppKeyFullScreen;
    case 'M': return kAppKeyFitAspect;
    case 'f': return kAppKeyFit;
    case 'q':
    case kAppKeyEscape: return kAppKeyQuit;
    default: break;
  }
  return kAppKeyNoCommand;
}

void appKeyReleased(unsigned char key, theGLstruct* gl) {
  switch (key) {
    case ' ': gl->hold_space = 0; break;
    case 'b': gl->hold_b = 0; break;
    case '/': gl->hold_slash = 0; break;
    case '\\': gl->hold_backslash = 0; break;
    default: break;
  }
}

void appSpecialKey(int key, bool down, theGLstruct* gl) {
  const unsigned char v = down ? 1 : 0;
  switch (key) {
    case kAppKeyLeft: gl->hold_left = v; break;
    case kAppKeyUp: gl->hold_up = v; break;
    case kAppKeyRight: gl->hold_right = v; break;
    case kAppKeyDown: gl->hold_down = v; break;
    default: break;
  }
}

int appFitAspectWidth(int saved_w, int w, int h, double ref_width, double ref_height) {
  const double fitted = h / ref_height * ref_width;
  const int w_prime = static_cast<int>(fitted < w ? fitted : w);
  return static_cast<int>((saved_w - w_prime) + ref_width);
}
