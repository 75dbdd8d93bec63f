// The key map, apart from the window system: what each key pressed or
// released changes in the application state and the view state, and the
// window size of the 4:3 fitting. The window-system commands (full screen,
// fitting) are returned for the caller to carry out.
#pragma once

struct the_struct;
struct theGLstruct;

// Special-key codes of the arrows (GLUT's values).
constexpr int kAppKeyLeft = 100;
constexpr int kAppKeyUp = 101;
constexpr int kAppKeyRight = 102;
constexpr int kAppKeyDown = 103;

// The Walk camera's field of view: 'w' widens it while below the upper
// bound, 't' narrows it while above the lower one, by one step; degrees.
constexpr double kAppWalkFovyStep = 5.0;
constexpr double kAppWalkFovyMax = 175.0;
constexpr double kAppWalkFovyMin = 5.0;
// 'u' and 'd' raise and lower the Walk eye by this.
constexpr double kAppWalkEyeStep = 0.0125;

// The Escape key's character.
constexpr unsigned char kAppKeyEscape = 27;

enum AppKeyCommand {
  kAppKeyNoCommand = 0,
  kAppKeyFullScreen = 1,  // 'F': enter or leave full screen
  kAppKeyFitAspect = 2,   // 'M': fit the drawing area to 640 × 480, or undo it
  kAppKeyQuit = 3,        // 'q', Escape: end the program as closing the window does
  kAppKeyFit = 4,         // 'f': frame the model (or the crease pattern) in the view
};

// A character key pressed: space, 'b', '/', '\' raise their hold flags;
// 'o', 'p', 'c' choose the Object, Walk and Top cameras (cp_mode is left as
// it is); 'e' toggles edges; 'w', 't' widen and narrow the Walk view; 'u',
// 'd' raise and lower the Walk eye; 'S' toggles the screen capture of saved
// frames; 'h' shows or hides the help box; 'q' and Escape ask to quit, 'f'
// to fit the view, 'F' and 'M' to change the window. Keys are
// case-sensitive; others change nothing.
AppKeyCommand appKeyPressed(unsigned char key, the_struct* app, theGLstruct* gl);

// A character key released: space, 'b', '/', '\' clear their hold flags.
void appKeyReleased(unsigned char key, theGLstruct* gl);

// An arrow key pressed (down true) or released: its hold flag follows.
// Other special keys change nothing.
void appSpecialKey(int key, bool down, theGLstruct* gl);

// Width of the main window that leaves a ref_width wide drawing area beside
// the panel, from the saved window width and the free area (w × h) beside
// the panel: (saved_w − w′) + ref_width with w′ = min(h / ref_height ×
// ref_width, w), truncated.
int appFitAspectWidth(int saved_w, int w, int h, double ref_width, double ref_height);

// The help box: every key and mouse button and what it does, one line each
// (the key, a tab, what it does), as the rules above and the mouse rules
// (render/pick_rules.h) have them.
extern const char* const kAppHelpLines[];
extern const int kAppHelpLineCount;
