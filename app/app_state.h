// The application state: the sheet the window folds, the window ids and the
// settings the panel and keys change.
#pragma once

#include "sheet/sheet.h"

struct ORI_manifold;
struct ORISIM_matrix;

struct the_struct {
  ORI_sheet* sheet;           // the sheet: the pattern, its folding, its recording and counts (appSheet)
  int main_window;            // top-level window id
  int sub_window;             // drawing sub-window id
  unsigned char file_loaded;  // a loading attempt built a mesh; ends the loading loop
  unsigned char show_request; // the main window is to be shown by the next idle callback
  int save_screen;            // write a BMP capture with every saved frame ("Scr")
  int save_model;             // write an OBJ file with every saved frame ("Mdl")
  unsigned char open_request; // the panel asked to open a new pattern
  unsigned char next_request; // the panel asked to open a pattern onto the folded model
  int axis_pick_count;        // next display-frame vertex to pick, 0 to 2
  int fold_step;              // fold speed, 0 to 50
  char save_dir[1024];        // directory for saved frames
  int fold_to;                // share of every target the fold heads for, percent, 0 to 100 ("fold to %")
  int exact;                  // every step closes the sheet to rounding ("Exact"), kept across file opens
  int contact;                // faces stop where they meet instead of passing through ("Contact")
  int thickness;              // the paper's thickness, thousandths of the paper size, 0 to 250 ("thickness")
  int solver;                 // OriSolver: rigid facets or the compliant bar-and-hinge model ("Rigid" / "Compliant")
  int triangulate;            // the Files rollout cuts larger facets into triangles ("triangulate")
  unsigned char show_help;    // the help box is drawn over the picture ('h', "Help")
  char file_filter[1024];     // the Files rollout lists names containing this ("filter")
  int mode;                   // 0: folding heads for the targets; K: along the K-th fold mode ("mode")
};

extern the_struct the;

// The window's sheet (the.sheet), made on first use with the panel's fold
// options. The frame numbering ("NNNNN frames" in the title, the saved
// frames' names) is the sheet's and outlives every pattern opened.
ORI_sheet* appSheet();

// The present pattern's mesh and simulation record; null before a pattern
// is open.
ORI_manifold* appManifold();
ORISIM_matrix* appSim();

// Frees the window's sheet and all it holds (the end of the program).
void appSheetDelete();

// The sheet's fold options as the panel sets them: "fold step", "fold to
// %", "Exact", "Contact", "thickness" (thousandths of the paper size of
// the pattern being opened, else of the present one; of a 400-unit paper
// without either), "mode" and the solver. "Exact", "Contact" and "mode"
// belong to the rigid solver: with the compliant one chosen they stay set
// but do not apply (the sheet refuses the pairs). A new way of folding adds
// its panel value here.
ORI_foldOptions appFoldOptions();

// Hands the panel's fold options to the sheet (the panel's fold callbacks,
// and every pattern opened: a new model folds as the panel says). Returns
// the sheet's answer: options it refuses (contact with a mode) leave its
// options as they were.
ORI_result appApplyFoldOptions();
