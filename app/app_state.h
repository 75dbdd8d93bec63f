// The application state: the current model, its simulation record, the
// window ids and the settings the panel and keys change.
#pragma once

struct ORI_manifold;
struct ORISIM_matrix;

struct the_struct {
  ORI_manifold* manifold;     // the current mesh
  ORISIM_matrix* sim;         // its simulation record
  int main_window;            // top-level window id
  int sub_window;             // drawing sub-window id
  unsigned char file_loaded;  // a loading attempt built a mesh; ends the loading loop
  unsigned char show_request; // the main window is to be shown by the next idle callback
  int save_screen;            // write a BMP capture with every saved frame ("Scr")
  int save_model;             // write an OBJ file with every saved frame ("Mdl")
  int use_rk;                 // "RK" variant of the fold step; not changed at run time
  int use_cg;                 // "CG" variant of the fold step; not changed at run time
  unsigned char open_request; // the panel asked to open a new pattern
  unsigned char next_request; // the panel asked to open a pattern onto the folded model
  int frame_no;               // number of the last saved frame
  int axis_pick_count;        // next display-frame vertex to pick, 0 to 2
  int fold_step;              // fold speed, 0 to 50
  char save_dir[1024];        // directory for saved frames
  int fold_to;                // share of every target the fold heads for, percent, 0 to 100 ("fold to %")
  int exact;                  // every step closes the sheet to rounding ("Exact"), kept across file opens
  int triangulate;            // the Files rollout cuts larger facets into triangles ("triangulate")
  unsigned char show_help;    // the help box is drawn over the picture ('h', "Help")
  char file_filter[1024];     // the Files rollout lists names containing this ("filter")
};

extern the_struct the;
