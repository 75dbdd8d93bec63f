// The control panel's controls: the record of the handles that other code
// uses, and the building of the controls onto a panel window. Needs no
// window, so that tests build and operate the panel without one.
#pragma once

#include "app/glui.h"

// Handles of the panel's controls; all null until the panel is built. The
// controls belong to their GLUI; the program never frees one.
struct theGLUIstruct {
  GLUI* glui;                           // the panel window
  GLUI_Rollout* view_rollout;           // "View Mode"
  GLUI_RadioGroup* view_mode_radio;     // Object / Walk / CP
  GLUI_Rollout* orient_rollout;         // "Orientation Edit Mode"
  GLUI_RadioGroup* orient_mode_radio;   // None / XY by Facet / XY by 3 Vert (Axial)
  GLUI_Checkbox* draw_face_check;       // "Draw Face"
  GLUI_Checkbox* draw_edge_check;       // "Draw Edge"
  GLUI_Checkbox* crease_check;          // "Crease"
  GLUI_Spinner* line_width_spinner;     // "line width"
  GLUI_Rollout* fold_rollout;           // "Fold Simulation"
  GLUI_Spinner* fold_step_spinner;      // "fold step"
  GLUI_Panel* step_panel;               // "<<" and ">>"
  GLUI_Checkbox* save_screen_check;     // "Scr"
};

extern theGLUIstruct theGLUI;

// Callback ids of the panel.
constexpr int kMenuStepBack = 0;       // "<<"
constexpr int kMenuStepForward = 1;    // ">>"
constexpr int kMenuClearFold = 2;      // "Clear Fold"
constexpr int kMenuSave = 4;           // "Save"
constexpr int kMenuFileOpen = 5;       // "File Open"
constexpr int kMenuNextFile = 7;       // "Next File"
constexpr int kMenuViewMode = 8;       // the view-mode radio group

// Limits of the spinners.
constexpr int kMenuLineWidthMin = 1, kMenuLineWidthMax = 5;
constexpr int kMenuFoldStepMin = 0, kMenuFoldStepMax = 50;

// Adds the panel's controls to glui, top to bottom: the rollouts "View
// Mode", "Orientation Edit Mode" and "Fold Simulation", the step buttons,
// the save row, "SaveDir", "File Open", "Next File" and "Clear Fold". The
// controls are bound to the fields of the (fold step, recording switches,
// save directory) and theGL (view mode, drawing switches, line width,
// orientation mode); the buttons and the view-mode group report to
// callback with the ids above. Fills theGLUI.
void menuBuild(GLUI* glui, GLUI_Update_CB callback);

// After the view-mode group changed theGL.view_mode: the crease pattern is
// drawn exactly when the top view ("CP") was chosen.
void menuViewModeChanged();
