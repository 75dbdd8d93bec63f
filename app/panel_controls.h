// The control panel's controls: the record of the handles that other code
// uses, and the building of the controls onto a panel window. Needs no
// window, so that tests build and operate the panel without one.
#pragma once

#include "app/fold_readout.h"
#include "app/glui.h"

// Handles of the panel's controls; all null until the panel is built. The
// controls belong to their GLUI; the program never frees one.
struct theGLUIstruct {
  GLUI* glui;                           // the panel window
  GLUI_Rollout* view_rollout;           // "View Mode"
  GLUI_RadioGroup* view_mode_radio;     // Object / Walk / CP / Folded form
  GLUI_Rollout* orient_rollout;         // "Orientation Edit Mode"
  GLUI_RadioGroup* orient_mode_radio;   // None / XY by Facet / XY by 3 Vert (Axial)
  GLUI_Checkbox* draw_face_check;       // "Draw Face"
  GLUI_Checkbox* draw_edge_check;       // "Draw Edge"
  GLUI_Checkbox* crease_check;          // "Crease"
  GLUI_Checkbox* closure_check;         // "Closure"
  GLUI_Checkbox* strain_check;          // "Strain"
  GLUI_Checkbox* colour_check;          // "Colour": mountains and valleys in two colours
  GLUI_Spinner* line_width_spinner;     // "line width"
  GLUI_Rollout* fold_rollout;           // "Fold Simulation"
  GLUI_Spinner* fold_step_spinner;      // "fold step"
  GLUI_Spinner* fold_to_spinner;        // "fold to %"
  GLUI_Checkbox* exact_check;           // "Exact"
  GLUI_Checkbox* contact_check;         // "Contact", below "Exact"
  GLUI_RadioGroup* solver_radio;        // "Rigid" / "Compliant", beside "Exact" and "Contact"
  GLUI_Spinner* thickness_spinner;      // "thickness /1000" (thousandths of the paper size)
  GLUI_Spinner* mode_spinner;           // "mode"
  GLUI_Panel* step_panel;               // "<<" and ">>"
  GLUI_Checkbox* save_screen_check;     // "Scr"
  GLUI_Rollout* status_rollout;         // "Status"
  GLUI_StaticText* status_text[kAppReadoutLines];  // its lines (fold_readout.h)
  GLUI_Rollout* files_rollout;          // "Files"
  GLUI_FileBrowser* examples_browser;   // the bundled examples
  GLUI_FileBrowser* folder_browser;     // the crease patterns of a folder
  GLUI_StaticText* files_message;       // why the last file chosen could not be opened
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
constexpr int kMenuFoldTo = 9;         // "fold to %"
constexpr int kMenuExact = 10;         // "Exact"
constexpr int kMenuHelp = 11;          // "Help"
constexpr int kMenuFileFilter = 12;    // the Files rollout's "filter"
constexpr int kMenuExampleChosen = 13; // a file chosen among the examples
constexpr int kMenuFolderChosen = 14;  // a file chosen in the folder
constexpr int kMenuMode = 15;          // "mode"
constexpr int kMenuCountDof = 16;      // the Status rollout's "Count"
constexpr int kMenuContact = 17;       // "Contact"
constexpr int kMenuThickness = 18;     // "thickness"
constexpr int kMenuFit = 19;           // "Fit"
constexpr int kMenuQuit = 20;          // "Quit"
constexpr int kMenuSolver = 21;        // the solver radio group

// Limits of the spinners.
constexpr int kMenuLineWidthMin = 1, kMenuLineWidthMax = 5;
constexpr int kMenuFoldStepMin = 0, kMenuFoldStepMax = 50;
constexpr int kMenuFoldToMin = 0, kMenuFoldToMax = 100;
// Thousandths of the paper size: up to a quarter of it.
constexpr int kMenuThicknessMin = 0, kMenuThicknessMax = 250;
constexpr int kMenuModeMin = 0, kMenuModeMax = 99;

// The label of a file's second button in the Files rollout: it opens the
// file onto the folded model, as "Next File" does.
constexpr const char* kMenuNextLabel = "Next";

// Adds the panel's controls to glui, top to bottom: the rollouts "View
// Mode" (with "Closure" and "Strain", "Colour" under the cameras, and the
// "Fit" button beside "line width"), "Orientation Edit Mode" and "Fold
// Simulation" (with "fold to %", "Exact" and "Contact" beside the solver:
// "Rigid" or "Compliant", "thickness" and "mode"), the step buttons, the
// save row, "SaveDir", "File Open", "Next File" and "Clear Fold", then the
// rollouts "Status" (with "Count") and "Files" (closed), "Help" and "Quit".
// The controls are bound to the fields of the
// (fold step, fold amount, exact mode, recording switches, save directory,
// the Files rollout's switches) and theGL (view mode, drawing switches,
// line width, orientation mode); the buttons, the view-mode group, "fold to
// %", "Exact", "Contact", "thickness", "mode", the solver group, the filter
// and the file browsers report to callback with the ids above. The examples
// browser lists examples_dir (none when it is
// ""), the folder browser the current directory; both list only the
// formats appIsPatternName accepts. Fills theGLUI.
void menuBuild(GLUI* glui, GLUI_Update_CB callback, const char* examples_dir = "");

// After the view-mode group changed theGL.view_mode: the crease pattern is
// drawn exactly when the top view ("CP") was chosen.
void menuViewModeChanged();
