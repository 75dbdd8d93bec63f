#include "app/app_state.h"

the_struct the = {
    nullptr,   // manifold
    nullptr,   // sim
    0,         // main_window
    0,         // sub_window
    0,         // file_loaded
    1,         // show_request
    0,         // save_screen
    0,         // save_model
    0,         // use_rk
    1,         // use_cg
    0,         // open_request
    0,         // next_request
    0,         // frame_no
    0,         // axis_pick_count
    10,        // fold_step
    "./save",  // save_dir
    100,       // fold_to
    0,         // exact
    1,         // triangulate
    0,         // show_help
    "",        // file_filter
};
